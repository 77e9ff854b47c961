#pragma once

#include "base/FileTime.h"
#include "platform/Platform.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// How wide a raw counter is: a 32-bit counter wraps around, a 64-bit one only ever
// starts again from zero when its interface is created anew.
enum class CounterWidth { bits32, bits64 };

// One adapter as the system reports it: its raw counters since boot (a counter that
// could not be read is absent), and the facts that decide whether it counts. Name and
// index together tell one interface from another, also one deleted and made anew under
// the same name.
struct AdapterReading {
    std::string name;
    std::uint32_t index = 0; // the system's number for the interface; 0 where it has none
    CounterWidth width = CounterWidth::bits64;
    std::optional<std::uint64_t> sent = {};
    std::optional<std::uint64_t> received = {};
    bool loopback = false;
    bool isVirtual = false; // a software device (tunnel, bridge, veth) whose bytes a physical one counts too
};

// What tells one boot of the measured computer from another: an identity the system
// gives each boot, or, where it gives none, the boot time in UTC, which can move by a
// few seconds between readings; and the boot time on the local wall clock (0 where the
// system reports no valid date).
struct BootReading {
    std::string id;
    FileTime utcBootTime = 0;
    FileTime localBootTime = 0;
    // The time since the boot on a clock that clock steps and time zones do not move, in
    // 100-nanosecond units; absent where the source tells none.
    std::optional<FileTime> uptime = {};
    // A remote agent that does not tell the host's uptime tells its own: it starts again
    // when the agent restarts, which is no boot of the host.
    bool uptimeIsAgents = false;
    // Boots told apart by evidence alone (a remote host): a new boot only where the
    // host's uptime went down or the agent's boot count changed, never a clock's step.
    bool byEvidence = false;
    // The agent's count of its own restarts (SNMPv3 snmpEngineBoots); absent where the
    // source tells none.
    std::optional<std::uint32_t> engineBoots = {};
};

// One reading of the measured computer: its boot and every adapter it reports, in the
// system's order.
struct Reading {
    BootReading boot;
    std::vector<AdapterReading> adapters;
};

namespace platform {

// Where readings come from: the local computer, or a remote one over the network.
class CounterSource {
public:
    virtual ~CounterSource() = default;
    // Takes one reading; clock is the run's one reading of the clocks, for a source that
    // tells the boot by an uptime. Raises a ProgramError when the system can not be read.
    virtual Reading read(const ClockReading& clock) = 0;
};

// Opens the connection to the local computer (server empty) or the named one. Raises a
// ProgramError with the platform's message when that fails. Whatever the platform set
// up for it is given up with the source.
std::unique_ptr<CounterSource> connect(const std::string& server, const std::string& user,
                                       const std::string& password);

} // namespace platform
