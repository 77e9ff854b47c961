#pragma once

#include "database/FileTime.h"
#include "wmi/CounterSample.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

// The connection to the computer whose adapters are measured.
class CounterSource {
public:
    CounterSource();
    CounterSource(const CounterSource&) = delete;
    CounterSource& operator=(const CounterSource&) = delete;
    ~CounterSource();

    // Opens the connection: to the local computer when server is empty. Raises a
    // ProgramError with the platform's message when that fails.
    void connect(const std::string& server, const std::string& user, const std::string& password);

    // The measured computer's last start on the local wall clock; 0 when the platform
    // reports no valid date.
    FileTime readBootTime();

    CounterWidth counterWidth() const;

    // Calls visit for every adapter in numbering order (adapter 0 first), the loopback
    // adapter left out. Without withCounters only the names are filled in.
    void forEachAdapter(bool withCounters, const std::function<void(const AdapterReading&)>& visit);

    // Gives up the connection and whatever the platform set up for it. Called once,
    // at the end of every run, whether or not connect was called.
    void close();

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace platform
