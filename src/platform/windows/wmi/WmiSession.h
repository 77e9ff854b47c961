#pragma once

#include "platform/windows/wmi/ComCalls.h"

#include <wbemcli.h>

#include <string>

// The WMI connection of one run: the locator and the services object bound to the
// namespace root\CIMV2 of the measured computer. Each interface it holds is released
// exactly once, by whoever gives it up on a failure path (clearing the field) or by
// release().
struct WmiSession {
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    const ComCalls* com = &systemComCalls();
    // Set once this run's own call has set the process-wide COM security.
    bool securitySet = false;

    WmiSession() = default;
    explicit WmiSession(const ComCalls& calls) : com(&calls) {}
    WmiSession(const WmiSession&) = delete;
    WmiSession& operator=(const WmiSession&) = delete;
    ~WmiSession() { release(); }

    // Initialises COM for the thread, sets the process security, and connects to the
    // local computer (server empty) or the named one, with the user name and password
    // only when both are given. A connection held from earlier in the run is given up
    // first. Raises a ProgramError with the failed step's message.
    void connect(const std::string& server, const std::string& user, const std::string& password);

    // Releases services, then locator, where set, and clears both.
    void release();
};

// The namespace path: root\CIMV2, or \\server\root\CIMV2 for a named server.
std::string namespacePath(const std::string& server);
