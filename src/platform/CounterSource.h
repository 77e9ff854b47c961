#pragma once

#include "base/FileTime.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// How wide the source's raw counters are: 32-bit counters wrap around, 64-bit ones
// only ever start again from zero when their interface is created anew.
enum class CounterWidth { bits32, bits64 };

// One adapter's raw counters since boot, as read; a counter that could not be read is
// absent. Name and index together tell one interface from another, also one deleted
// and made anew under the same name.
struct AdapterReading {
    std::string name;
    std::uint32_t index = 0; // the system's number for the interface; 0 where it has none
    std::optional<std::uint64_t> sent;
    std::optional<std::uint64_t> received;
};

// What tells one boot of the measured computer from another: an identity the system
// gives each boot, or, where it gives none, the boot time in UTC, which can move by a
// few seconds between readings.
struct BootIdentity {
    std::string id;
    FileTime utcBootTime = 0;
};

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

    // The identity of the measured computer's running boot, unmoved by clock steps and
    // time zones.
    BootIdentity readBootIdentity();

    CounterWidth counterWidth() const;

    // Calls visit for every adapter that counts, in numbering order (adapter 0 first),
    // the loopback adapter left out. Where the environment variable BRIMLET_ADAPTERS is
    // set, its space-separated name patterns choose them. Without withCounters only the
    // names and indexes are filled in.
    void forEachAdapter(bool withCounters, const std::function<void(const AdapterReading&)>& visit);

    // Gives up the connection and whatever the platform set up for it. Called once,
    // at the end of every run, whether or not connect was called.
    void close();

private:
    struct State;
    std::unique_ptr<State> state;
};

} // namespace platform
