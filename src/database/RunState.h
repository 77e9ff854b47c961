#pragma once

#include "base/FileTime.h"
#include "platform/CounterSource.h"
#include "platform/Platform.h"

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

// One adapter of the boot: its identity and its raw counters as they stood when its
// traffic was last accounted for.
struct AdapterState {
    std::uint32_t index = 0;    // the system's number for the interface, which a rename keeps
    std::uint32_t nameHash = 0; // the identity where the system numbers no interface
    CounterWidth width = CounterWidth::bits64;
    std::uint64_t sent = 0;
    std::uint64_t received = 0;

    bool operator==(const AdapterState&) const = default;
};

// The most adapters a state remembers, the most recently read first.
constexpr std::size_t maxRememberedAdapters = 1024;

// A short mark of an adapter's name.
std::uint32_t nameHash(std::string_view name);

// What a run leaves for the next one beside the database: which boot it read, when,
// and every adapter the boot has shown with its raw counters, so that the next run
// takes each adapter's difference against its own last known counters.
struct RunState {
    std::string bootId;          // where the system names its boots
    FileTime utcBootTime = 0;    // else the boot time in UTC
    FileTime readingTime = 0;    // UTC
    FileTime sessionBootTime = 0; // the local boot time the session's records were written with
    FileTime uptime = 0;         // the boot's uptime at the reading; 0 where unknown
    bool byEvidence = false;     // boots told apart by the uptime and the boot count (a remote host)
    bool uptimeIsAgents = false; // the uptime is a remote agent's own, not its host's
    std::uint32_t engineBoots = 0; // the agent's boot count; 0 where it tells none
    std::vector<AdapterState> adapters;

    bool operator==(const RunState&) const = default;

    // Whether next was read in the boot this state was: the same boot id, else for a remote
    // host no evidence of a new boot (its host's uptime went down other than by a wrap,
    // its agent's boot count changed), else a boot time in UTC within the tolerance.
    bool sameBoot(const RunState& next) const;
    // The adapter of this identity: the same interface index where the system numbers
    // interfaces (renamed or not), else the same name.
    const AdapterState* find(std::uint32_t index, std::uint32_t nameHash) const;
    const AdapterState* find(const AdapterReading& adapter) const { return find(adapter.index, nameHash(adapter.name)); }
};

// A short mark of a database file's content, to tell which database a state belongs
// to: a run changes the last record or appends one, or drops old ones from the front.
std::uint64_t databaseFingerprint(std::string_view content);

// The state file: the state after the run, and the one the run started from (where it
// had one), each with the fingerprint of the database it belongs to. It is written
// before the database, so whichever of the two databases is found beside it, one of
// the two states matches it. It also hands the user's number settings on to the next
// run, whichever database that finds.
std::string encodeRunStates(const RunState& after, std::uint64_t afterFingerprint, const RunState* before,
                            std::uint64_t beforeFingerprint, const platform::UserNumbers& numbers = {});
// The state of the file's content that belongs to the database with this fingerprint;
// nothing when none does or the content is not whole. Where numbers is given and the
// content is whole, it receives the number settings the file hands on (of mark 0 from a
// file of format 0xB2, which holds none).
std::optional<RunState> decodeRunState(std::string_view content, std::uint64_t fingerprint,
                                       platform::UserNumbers* numbers = nullptr);
