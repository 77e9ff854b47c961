#pragma once

#include "base/FileTime.h"
#include "platform/CounterSource.h"

#include <string>
#include <vector>

namespace platform {

// Everything one run takes from a remote host's SNMP agent, read at once.
struct RemoteReading {
    FileTime bootTime = 0;    // on the local clock; 0 when the agent tells no uptime
    FileTime utcBootTime = 0; // the same in UTC
    CounterWidth width = CounterWidth::bits64;
    std::vector<AdapterReading> adapters; // by ifIndex, the loopback left out
};

// Reads the host's uptime and interface table. user and password both given: SNMPv3
// with authentication and privacy (SHA, AES-128, the password for both); password
// alone: SNMPv2c with it as the community; neither: SNMPv2c, community "public".
// Raises a ProgramError when the agent does not answer or refuses the credentials.
RemoteReading readRemote(const std::string& host, const std::string& user, const std::string& password);

// Gives up what reading a remote host set up in this process.
void closeRemote();

} // namespace platform
