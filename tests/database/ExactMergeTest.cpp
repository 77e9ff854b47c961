#include "database/Merge.h"
#include "pattern/PeriodTotals.h"
#include "platform/DiagnosticLog.h"

#include <gtest/gtest.h>

namespace {

const FileTime day = fileTimeDay;
const FileTime now = *toFileTime({.year = 2026, .month = 12, .day = 10, .hour = 12});

TEST(CounterDifference, TellsAWrapFromARestartByTheTimeBetweenReadings)
{
    struct Case {
        CounterWidth width;
        std::uint64_t previous, raw;
        FileTime elapsed;
        std::uint64_t expected;
    };
    const std::uint64_t gap = (std::uint64_t{1} << 32) - 3'000'000'000 + 1000; // 1,294,968,296 bytes
    const Case cases[] = {
        {CounterWidth::bits64, 100, 150, 0, 50},
        {CounterWidth::bits64, 150, 100, 10 * day, 100}, // made anew: never a wrap
        {CounterWidth::bits32, 100, 100, 0, 0},
        {CounterWidth::bits32, 4'294'967'000, 500, fileTimeSecond, 796},
        {CounterWidth::bits32, 3'000'000'000, 1000, fileTimeSecond, 1000}, // 10 Gbit/s moves 1.25e9 bytes a second
        {CounterWidth::bits32, 3'000'000'000, 1000, 2 * fileTimeSecond, gap},
        {CounterWidth::bits32, 3'000'000'000, 1000, (gap + 124) / 125, gap}, // just within 10 Gbit/s
        {CounterWidth::bits32, 3'000'000'000, 1000, (gap + 124) / 125 - 1, 1000},
        {CounterWidth::bits32, 4'294'967'295, 0, 0, 0}, // the clock went back: no time, no wrap
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.previous) + " -> " + std::to_string(c.raw) + " in " + std::to_string(c.elapsed));
        EXPECT_EQ(counterDifference(c.width, c.previous, c.raw, c.elapsed), c.expected);
    }
}

TEST(DateRules, AClockAheadAgesNothingAndCountsInNoPeriodUntilItsTimeComes)
{
    struct Case {
        const char* what;
        std::vector<FileTime> starts;
        FileTime clock;
        std::size_t aged;
    };
    const Case cases[] = {
        {"365 days back to the unit", {now - 365 * day - 1, now - 365 * day, now - day / 2}, now, 1},
        {"no run for a month: the year ends a day after the newest record",
         {now - 395 * day, now - 380 * day, now - 30 * day}, now, 1},
        {"a clock 300 days ahead ages nothing", {now - 360 * day, now}, now + 300 * day, 0},
        {"the year before the newest record not in the future", {now - 366 * day, now, now + 400 * day},
         now + 300 * day, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrafficDatabase database;
        for (const FileTime start : c.starts)
            database.appendRecord(start, {{1, 2}});
        database.indexRecords(c.clock - retentionSpan);
        EXPECT_EQ(database.agedRecords.size(), c.aged);
    }

    // A record that begins after the clock counts in no day or month, but in all time.
    TrafficDatabase database;
    database.appendRecord(now - day / 2, {{1, 10}});
    database.appendRecord(now + 100 * day, {{100, 1000}});
    database.appendRecord(now - day / 4, {{2, 20}, {3, 30}});
    EXPECT_EQ(periodTotal(database, 'u', startOfDay(now - day), -1, now), 6u);
    EXPECT_EQ(periodTotal(database, 'u', 0, -1), 106u);
    // A record without the adapter adds nothing to its total; a number no record has means all.
    EXPECT_EQ(periodTotal(database, 'd', 0, 1), 30u);
    EXPECT_EQ(periodTotal(database, 'd', 0, 2), 1060u);
}

TEST(RunState, BelongsToTheDatabaseItWasWrittenFor)
{
    const RunState before{"id-1", 0, now, now - day, {{"eth0", 2, 500, 600, 0}}};
    RunState after = before;
    after.adapters.push_back({std::string(300, 'w'), 7, 1, 2, 1}); // names longer than 255 bytes are cut
    const std::string file = encodeRunStates(after, 22, &before, 11);
    RunState cut = after;
    cut.adapters[1].name.resize(255);
    EXPECT_EQ(decodeRunState(file, 22), cut);
    EXPECT_NE(cut.find(std::string(300, 'w'), 7), nullptr);
    EXPECT_EQ(decodeRunState(file, 11), before);
    EXPECT_EQ(decodeRunState(file, 33), std::nullopt);
    for (std::size_t size = 0; size < file.size(); ++size)
        EXPECT_EQ(decodeRunState(file.substr(0, size), 11), std::nullopt) << size;
    EXPECT_NE(databaseFingerprint("\1\0\0\0"), databaseFingerprint(std::string(4, '\0')));
    EXPECT_EQ(databaseFingerprint(""), databaseFingerprint(std::string(4, '\0')));
    // Windows names no boot: its boot time in UTC stands for it, within 15 seconds.
    const RunState windows{"", now, 0, 0, {}};
    EXPECT_TRUE(windows.sameBoot({"", now + 15 * fileTimeSecond, 0, 0, {}}));
    EXPECT_FALSE(windows.sameBoot({"", now - 16 * fileTimeSecond, 0, 0, {}}));
    // A remote host's uptime wraps after 2^32 hundredths of a second: the same boot.
    const FileTime wrap = (FileTime{1} << 32) * (fileTimeSecond / 100);
    EXPECT_TRUE(windows.sameBoot({"", now + 2 * wrap - 10 * fileTimeSecond, 0, 0, {}}));
    EXPECT_FALSE(windows.sameBoot({"", now + wrap / 2, 0, 0, {}}));
    EXPECT_FALSE(before.sameBoot({"id-2", 0, 0, 0, {}}));

    // A boot of no identity trusts no state: the counts go on from the records.
    TrafficDatabase database;
    database.appendRecord(startOfDay(now), {{500, 600}}, now - day);
    database.runState = RunState{"", 0, now - 1, now - day, {{"eth0", 2, 100, 100, 0}}};
    openReading(database, {}, now - day, now, now);
    mergeAdapter(database, 0, {"eth0", 2, 700, 900}, CounterWidth::bits64, DiagnosticLog{});
    EXPECT_EQ(database.counts(database.records.back(), 0), (AdapterCounters{700, 900}));
}

} // namespace
