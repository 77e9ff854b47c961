#include "database/Merge.h"
#include "platform/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

namespace {

const FileTime second = fileTimeSecond, hour = 3600 * second, day = fileTimeDay;
const FileTime day1 = *toFileTime({.year = 2026, .month = 3, .day = 1}), day2 = day1 + day, day3 = day2 + day;
const FileTime boot = day1 + 10 * hour, reboot = day2 + 3 * hour;

// Merges one reading as a run without a run state does; returns the merge's log lines.
std::string merge(TrafficDatabase& database, FileTime bootTime, FileTime now, std::vector<AdapterReading> adapters,
                  CounterWidth width = CounterWidth::bits64)
{
    DiagnosticLog log;
    log.stream = std::make_unique<std::ostringstream>();
    MergeSession session;
    mergeOpening(database, openingRecord(bootTime, now));
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        adapters[i].width = width;
        mergeAdapter(database, session, i, adapters[i], log);
    }
    return static_cast<std::ostringstream&>(*log).str();
}

// One adapter's readings, each merged into one database: the boot, the clock and the raw
// counters, then the records after it, the last one's counts and the merge's log.
struct Step { FileTime boot, now; std::uint64_t sent, received; std::size_t records; AdapterCounters last; const char* log; };

void runSteps(CounterWidth width, const std::vector<Step>& steps)
{
    TrafficDatabase database;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("reading " + std::to_string(i + 1));
        const Step& step = steps[i];
        EXPECT_EQ(merge(database, step.boot, step.now, {{"eth", 0, width, step.sent, step.received}}, width), step.log);
        ASSERT_EQ(database.records.size(), step.records);
        EXPECT_EQ(database.counts(database.records.back(), 0), step.last);
    }
}

// Each day of a boot session counts from the previous reading. A 32-bit counter that goes
// down wrapped; a 64-bit one was made anew, and its new value is all its new traffic. A
// reboot opens a record at the new boot; a boot time that moves by up to 15 s is the same boot.
TEST(Merge, FollowsBootSessionsAcrossDaysWrapsRestartsAndReboots)
{
    runSteps(CounterWidth::bits32, {
        {boot, day1 + 12 * hour, 1000, 2000, 1, {1000, 2000}, ""},
        {boot, day1 + 18 * hour, 5000, 9000, 1, {5000, 9000}, "sent total: 5000\nrecv total: 9000\n"},
        {boot, day1 + 19 * hour, 5000, 9000, 1, {5000, 9000}, "sent total: 5000\nrecv total: 9000\n"}, // no traffic, no wrap
        {boot, day1 + 20 * hour, 300, 9500, 1, {4294967596, 9500}, "sent corrected, now 4294967596\nrecv total: 9500\n"},
        {boot, day2 + 1 * hour, 900, 9800, 2, {600, 300}, "corrected to: 300/600\n"},
        {boot, day2 + 23 * hour, 3000, 12000, 2, {2700, 2500}, "corrected to: 2500/2700\nsent total: 2700\nrecv total: 2500\n"},
        {boot, day3 + 1 * hour, 3100, 12100, 3, {100, 100}, "corrected to: 100/100\n"},
        {boot, day3 + 2 * hour, 3000, 12200, 3, {4294967296, 200},
         "corrected to: 200/0\nsent corrected, now 4294967296\nrecv total: 200\n"},
    });
    const std::uint64_t big = 5'000'000'000;
    runSteps(CounterWidth::bits64, {
        {boot, day1 + 12 * hour, big, 2000, 1, {big, 2000}, ""},
        // Made anew.
        {boot, day1 + 13 * hour, 700, 2500, 1, {big + 700, 2500}, "sent corrected, now 5000000700\nrecv total: 2500\n"},
        {boot, day2 + 1 * hour, big + 1000, 3000, 2, {300, 500}, "corrected to: 500/300\n"},
        {boot, day2 + 2 * hour, big + 1500, 100, 2, {800, 600},
         "corrected to: 100/800\nsent total: 800\nrecv corrected, now 600\n"},
        // A reboot, then boot times 15 s off either way, then 16 s off: another boot.
        {reboot, day2 + 4 * hour, 30, 40, 3, {30, 40}, ""},
        {reboot - 15 * second, day2 + 5 * hour, 50, 60, 3, {50, 60}, "sent total: 50\nrecv total: 60\n"},
        {reboot + 15 * second, day2 + 5 * hour, 50, 60, 3, {50, 60}, "sent total: 50\nrecv total: 60\n"},
        {reboot + 16 * second, day2 + 6 * hour, 1, 2, 4, {1, 2}, ""},
        {reboot + 18 * second, day3 + 1 * hour, 6, 12, 5, {5, 10}, "corrected to: 10/5\n"}, // the next day goes on from it
    });
}

TEST(Merge, SessionHistoryOlderThanTheCutOffStillCounts)
{
    // A computer up for more than a year: its session's first records have aged out.
    const FileTime today = day1 + 400 * day;
    TrafficDatabase database;
    database.appendRecord(day1 - 3 * day, {{1, 1}}); // an earlier session
    database.appendRecord(day1 + 2 * hour, {{100, 1000}}); // this session's first record
    database.appendRecord(day1 + day, {{50, 500}});
    database.appendRecord(today - day, {{5, 50}});
    database.indexRecords(today - retentionSpan);
    EXPECT_EQ(merge(database, day1 + 2 * hour, today + hour, {{"eth", 0, CounterWidth::bits64, 165, 1560}}), "corrected to: 10/10\n");
    EXPECT_EQ(database.counts(database.records.back(), 0), (AdapterCounters{10, 10}));
    EXPECT_EQ(database.agedRecords.size(), 2u); // only the session's own stay, for the next reading
    // After a reboot no aged record is needed any more.
    merge(database, today + 3 * hour, today + 4 * hour, {{"eth", 0, CounterWidth::bits64, 1, 1}});
    EXPECT_TRUE(database.agedRecords.empty());
}

TEST(Merge, LeavesCountsThatCouldNotBeReadAndAppendsNewAdapters)
{
    TrafficDatabase database;
    merge(database, boot, day1 + 11 * hour, {{"eth", 0, CounterWidth::bits64, 10, 20}});
    EXPECT_EQ(merge(database, boot, day1 + 12 * hour, {{"eth", 0, CounterWidth::bits64, {}, 25}, {"wlan", 0, CounterWidth::bits64, 7, {}}}), "recv total: 25\n");
    EXPECT_EQ(database.counts(database.records.back(), 0), (AdapterCounters{10, 25}));
    EXPECT_EQ(database.counts(database.records.back(), 1), (AdapterCounters{7, 0}));
}

TEST(CounterDifference, TellsAWrapFromARestartByTheTimeBetweenReadings)
{
    const std::uint64_t gap = (std::uint64_t{1} << 32) - 3'000'000'000 + 1000; // 1,294,968,296 bytes
    // The counter's width, its previous and its new raw value, the time between, the bytes that flowed.
    const std::tuple<CounterWidth, std::uint64_t, std::uint64_t, FileTime, std::uint64_t> cases[] = {
        {CounterWidth::bits64, 150, 100, 10 * day, 100},                           // made anew: never a wrap
        {CounterWidth::bits32, 3'000'000'000, 1000, (gap + 124) / 125, gap},      // 10 Gbit/s moves 125 bytes in 100 ns
        {CounterWidth::bits32, 3'000'000'000, 1000, (gap + 124) / 125 - 1, 1000}, // too fast: it started again
        {CounterWidth::bits32, 4'294'967'295, 0, 0, 0},                            // the clock went back: no time, no wrap
    };
    for (const auto& [width, previous, raw, elapsed, expected] : cases)
        EXPECT_EQ(counterDifference(width, previous, raw, elapsed), expected) << previous << " -> " << raw << " in " << elapsed;
}

TEST(RunState, BelongsToTheDatabaseAndTheBootItWasWrittenFor)
{
    const RunState before{"id-1", 0, day1, day1 - day, 77, true, true, 5, {{2, 9, CounterWidth::bits64, 500, 600}}};
    RunState after = before;
    after.adapters.push_back({0, nameHash("Wireless"), CounterWidth::bits32, 1ull << 40, 2});
    const platform::UserNumbers numbers{7, {",", "\u202f", "\3"}};
    const std::string file = encodeRunStates(after, 22, &before, 11, numbers);
    platform::UserNumbers handedOn;
    EXPECT_EQ(decodeRunState(file, 33, &handedOn), std::nullopt);
    EXPECT_EQ(handedOn, numbers); // whichever database the state finds
    EXPECT_EQ(decodeRunState(file, 22), after);
    EXPECT_EQ(after.find({.name = "wlan0"}), nullptr); // where the system numbers no interface, the name tells
    EXPECT_EQ(after.find({.name = "Wireless"}), &after.adapters[1]);
    EXPECT_EQ(after.find({.name = "renamed", .index = 2}), &after.adapters[0]); // else the index, whatever the name
    EXPECT_EQ(decodeRunState(file, 11), before);
    EXPECT_EQ(decodeRunState(file, 33), std::nullopt);
    for (std::size_t size = 0; size < file.size(); ++size)
        EXPECT_EQ(decodeRunState(file.substr(0, size), 11), std::nullopt) << size;
    EXPECT_EQ(decodeRunState("\2" + file.substr(1), 11), std::nullopt); // another format
    // A state of format 0xB2 holds no number settings.
    const std::string older = "\xB2" + encodeRunStates(before, 11, nullptr, 0, {0, {"", "", ""}}).substr(1 + 8 + 3);
    EXPECT_EQ(decodeRunState(older, 11, &handedOn), before);
    EXPECT_EQ(handedOn, platform::UserNumbers{});
    EXPECT_NE(databaseFingerprint("\1\0\0\0"), databaseFingerprint(std::string(4, '\0')));
    // Windows names no boot: its boot time in UTC stands for it, within 15 seconds.
    const RunState windows{"", day1, 0, 0, 0, false, false, 0, {}};
    const FileTime wrap = (FileTime{1} << 32) * (second / 100);
    EXPECT_TRUE(windows.sameBoot({"", day1 + 15 * second, 0, 0, 0, false, false, 0, {}}));
    EXPECT_FALSE(windows.sameBoot({"", day1 - 16 * second, 0, 0, 0, false, false, 0, {}}));
    EXPECT_FALSE(before.sameBoot({"id-2", 0, 0, 0, 0, false, false, 0, {}}));
    // A remote host's boot is new only on evidence: whatever its boot time in UTC (the poller's clock
    // less the uptime), a host uptime that went down other than by a wrap, or an agent boot count
    // that changed. The agent's own uptime proves nothing.
    const RunState remote{"", day1, day1, 0, wrap - hour, true, false, 3, {}};
    const std::tuple<FileTime, FileTime, bool, std::uint32_t, bool> later[] = { // reading time, uptime, agent's, boots
        {day1 + hour + 2 * 60 * second, wrap - 10 * second, false, 3, true}, // the poller's clock 2 minutes ahead
        {day1 + 2 * hour, hour - 2 * 60 * second, false, 3, true},          // the uptime wrapped
        {day1 + 2 * hour, 10 * hour, false, 0, false},                      // went down: a reboot
        {day1 + 2 * hour, 10 * second, true, 0, true},                      // the agent restarted
        {day1 + 2 * hour, wrap - 10 * second, false, 4, false},             // the agent's boot count moved
    };
    for (const auto& [at, uptime, agents, boots, same] : later)
        EXPECT_EQ(remote.sameBoot({"", at + day, at, 0, uptime, true, agents, boots, {}}), same) << uptime;
}

} // namespace
