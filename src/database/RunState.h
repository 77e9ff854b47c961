#pragma once

#include "base/FileTime.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Readings whose boot time lies this close belong to the same boot: the system's idea
// of the boot time moves when the clock is adjusted.
constexpr FileTime bootTimeTolerance = 15 * fileTimeSecond;

// Whether two boot times, both local or both UTC, show the same boot: within the
// tolerance, or apart by whole wraps of an uptime counted in 32 bits of hundredths of a
// second (a remote host's boot time is the clock less that uptime, which on a host that
// outlives it moves by 497 days).
bool sameBootTime(FileTime a, FileTime b);

// One adapter as the last reading found it.
struct AdapterState {
    std::string name;
    std::uint32_t index = 0;
    std::uint64_t sent = 0; // raw counters
    std::uint64_t received = 0;
    std::size_t position = 0; // its adapter number: the entry its counts went to

    bool operator==(const AdapterState&) const = default;
};

// What a run leaves for the next one beside the database: which boot it read, when,
// and every adapter's raw counters, so that the next run takes each adapter's
// difference against its own previous reading.
struct RunState {
    std::string bootId;          // where the system names its boots
    FileTime utcBootTime = 0;    // else the boot time in UTC
    FileTime readingTime = 0;    // UTC
    FileTime sessionBootTime = 0; // the local boot time the session's records were written with
    FileTime uptime = 0;         // the boot's uptime at the reading; 0 where unknown
    std::vector<AdapterState> adapters;

    bool operator==(const RunState&) const = default;

    bool sameBoot(const RunState& other) const;
    const AdapterState* find(std::string_view name, std::uint32_t index) const;
};

// A short mark of a database file's content, to tell which database a state belongs
// to: a run changes the last record or appends one, or drops old ones from the front.
std::uint64_t databaseFingerprint(std::string_view content);

// The state file: the state after the run, and the one the run started from (where it
// had one), each with the fingerprint of the database it belongs to. It is written
// before the database, so whichever of the two databases is found beside it, one of
// the two states matches it.
std::string encodeRunStates(const RunState& after, std::uint64_t afterFingerprint, const RunState* before,
                            std::uint64_t beforeFingerprint);
// The state of the file's content that belongs to the database with this fingerprint;
// nothing when none does or the content is not whole.
std::optional<RunState> decodeRunState(std::string_view content, std::uint64_t fingerprint);
