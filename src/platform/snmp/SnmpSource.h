#pragma once

#include "platform/CounterSource.h"

#include <memory>
#include <string>

namespace platform {

// A remote host's SNMP agent as a counter source: its uptime and interface table. user
// and password both given: SNMPv3 with authentication and privacy (SHA, AES-128, the
// password for both); password alone: SNMPv2c with it as the community; neither:
// SNMPv2c, community "public". Connecting and reading raise a ProgramError when the
// agent does not answer or refuses the credentials.
std::unique_ptr<CounterSource> connectSnmp(const std::string& host, const std::string& user,
                                           const std::string& password);

} // namespace platform
