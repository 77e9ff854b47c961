#include "database/Merge.h"
#include "pattern/PeriodTotals.h"
#include "platform/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const FileTime hour = 3600 * fileTimeSecond;
const FileTime day1 = *toFileTime({.year = 2026, .month = 3, .day = 1});
const FileTime bootAt10 = day1 + 10 * hour;
const FileTime day = fileTimeDay;
const FileTime now = *toFileTime({.year = 2026, .month = 12, .day = 10, .hour = 12});

struct Reading {
    FileTime boot;
    FileTime now;
    std::vector<AdapterReading> adapters;
};

AdapterReading raw(std::uint64_t sent, std::uint64_t received) { return {"eth", 0, sent, received}; }

// Merges one reading the way a run does and returns the merge's log lines.
std::string merge(TrafficDatabase& database, const Reading& reading, CounterWidth width)
{
    DiagnosticLog log;
    auto text = std::make_unique<std::ostringstream>();
    auto* lines = text.get();
    log.stream = std::move(text);
    mergeOpening(database, openingRecord(reading.boot, reading.now));
    for (std::size_t i = 0; i < reading.adapters.size(); ++i)
        mergeAdapter(database, i, reading.adapters[i], width, log);
    return lines->str();
}

AdapterCounters countsOf(const TrafficDatabase& database, std::size_t record, std::size_t adapter = 0)
{
    return database.counts(database.records.at(record), adapter);
}

// The database as the next run loads it from the file this one saves.
TrafficDatabase reloaded(const TrafficDatabase& saved)
{
    TrafficDatabase database;
    database.fileContent = saved.fileContent;
    database.indexRecords(0);
    return database;
}

struct Step {
    Reading reading;
    std::size_t records;
    AdapterCounters last;
    std::string log;
};

void runSteps(const std::vector<Step>& steps, CounterWidth width, TrafficDatabase database = {})
{
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("reading " + std::to_string(i + 1));
        const Step& step = steps[i];
        EXPECT_EQ(merge(database, step.reading, width), step.log);
        ASSERT_EQ(database.records.size(), step.records);
        ASSERT_NE(database.records.back().entryCount, 0u);
        EXPECT_EQ(countsOf(database, step.records - 1), step.last);
        EXPECT_EQ(database.records.back().bootTime, step.reading.boot);
    }
}

TEST(Merge, CountsEachDayOfABootSessionFromThePreviousReading)
{
    const FileTime day2 = day1 + fileTimeDay;
    const FileTime day3 = day2 + fileTimeDay;
    runSteps({
                 {{bootAt10, day1 + 12 * hour, {raw(1000, 2000)}}, 1, {1000, 2000}, ""},
                 {{bootAt10, day1 + 18 * hour, {raw(5000, 9000)}}, 1, {5000, 9000}, "sent total: 5000\nrecv total: 9000\n"},
                 // No traffic since: no wrap-around either.
                 {{bootAt10, day1 + 19 * hour, {raw(5000, 9000)}}, 1, {5000, 9000}, "sent total: 5000\nrecv total: 9000\n"},
                 {{bootAt10, day1 + 20 * hour, {raw(300, 9500)}}, 1, {4294967596, 9500},
                  "sent corrected, now 4294967596\nrecv total: 9500\n"},
                 {{bootAt10, day2 + 1 * hour, {raw(900, 9800)}}, 2, {600, 300}, "corrected to: 300/600\n"},
                 {{bootAt10, day2 + 23 * hour, {raw(3000, 12000)}}, 2, {2700, 2500},
                  "corrected to: 2500/2700\nsent total: 2700\nrecv total: 2500\n"},
                 {{bootAt10, day3 + 1 * hour, {raw(3100, 12100)}}, 3, {100, 100}, "corrected to: 100/100\n"},
                 {{bootAt10, day3 + 2 * hour, {raw(3000, 12200)}}, 3, {4294967296, 200},
                  "corrected to: 200/0\nsent corrected, now 4294967296\nrecv total: 200\n"},
             },
             CounterWidth::bits32);
}

TEST(Merge, SixtyFourBitCountersNeverWrapAndRestartFromZero)
{
    const FileTime day2 = day1 + fileTimeDay;
    const std::uint64_t big = 5'000'000'000;
    runSteps({
                 {{bootAt10, day1 + 12 * hour, {raw(big, 2000)}}, 1, {5'000'000'000, 2000}, ""},
                 // The interface was created anew: its new counter is all its new traffic.
                 {{bootAt10, day1 + 13 * hour, {raw(700, 2500)}}, 1, {5'000'000'700, 2500},
                  "sent corrected, now 5000000700\nrecv total: 2500\n"},
                 {{bootAt10, day2 + 1 * hour, {raw(5'000'001'000, 3000)}}, 2, {300, 500}, "corrected to: 500/300\n"},
                 // No traffic since: not made anew.
                 {{bootAt10, day2 + 1 * hour, {raw(5'000'001'000, 3000)}}, 2, {300, 500},
                  "corrected to: 500/300\nsent total: 300\nrecv total: 500\n"},
                 {{bootAt10, day2 + 2 * hour, {raw(5'000'001'500, 100)}}, 2, {800, 600},
                  "corrected to: 100/800\nsent total: 800\nrecv corrected, now 600\n"},
             },
             CounterWidth::bits64);
}

TEST(Merge, OpensRecordsAtBootsAndMidnights)
{
    TrafficDatabase database;
    merge(database, {bootAt10, day1 + 12 * hour, {raw(10, 20)}}, CounterWidth::bits64);
    // A reboot the same day opens a record at the new boot, counted from zero.
    const FileTime reboot = day1 + 15 * hour;
    EXPECT_EQ(merge(database, {reboot, day1 + 16 * hour, {raw(30, 40)}}, CounterWidth::bits64), "");
    ASSERT_EQ(database.records.size(), 2u);
    EXPECT_EQ(database.records[1].intervalStart, reboot);
    EXPECT_EQ(countsOf(database, 1), (AdapterCounters{30, 40}));

    // The kernel's boot time moves a little with clock adjustments: same boot, same record.
    for (const FileTime wander : {reboot + fileTimeSecond, reboot - 15 * fileTimeSecond, reboot + 15 * fileTimeSecond}) {
        SCOPED_TRACE(static_cast<std::int64_t>(wander - reboot));
        merge(database, {wander, day1 + 17 * hour, {raw(50, 60)}}, CounterWidth::bits64);
        ASSERT_EQ(database.records.size(), 2u);
        EXPECT_EQ(database.records[1].intervalStart, reboot);
        EXPECT_EQ(countsOf(database, 1), (AdapterCounters{50, 60}));
    }
    // ... and the next day's record still continues from it.
    merge(database, {reboot + 2 * fileTimeSecond, day1 + fileTimeDay + hour, {raw(55, 70)}}, CounterWidth::bits64);
    ASSERT_EQ(database.records.size(), 3u);
    EXPECT_EQ(countsOf(database, 2), (AdapterCounters{5, 10}));

    // Sixteen seconds apart is another boot.
    merge(database, {reboot + 16 * fileTimeSecond, day1 + 17 * hour, {raw(1, 2)}}, CounterWidth::bits64);
    EXPECT_EQ(database.records.size(), 4u);
}

TEST(Merge, SessionHistoryOlderThanTheCutOffStillCounts)
{
    // A computer up for more than a year: its session's first records have aged out.
    const FileTime boot = day1;
    const FileTime today = day1 + 400 * fileTimeDay;
    TrafficDatabase database;
    database.appendRecord(boot - 3 * fileTimeDay, {{1, 1}}); // an earlier session
    database.appendRecord(boot + 2 * hour, {{100, 1000}});     // this session's first record
    database.appendRecord(boot + fileTimeDay, {{50, 500}});
    database.appendRecord(today - fileTimeDay, {{5, 50}});
    database.indexRecords(today - retentionSpan);
    ASSERT_EQ(database.agedRecords.size(), 3u);
    EXPECT_EQ(merge(database, {boot + 2 * hour, today + hour, {raw(165, 1560)}}, CounterWidth::bits64),
              "corrected to: 10/10\n");
    ASSERT_EQ(database.records.size(), 2u);
    EXPECT_EQ(countsOf(database, 1), (AdapterCounters{10, 10}));
    // Only the session's own aged records stay, for the next reading.
    ASSERT_EQ(database.agedRecords.size(), 2u);
    EXPECT_EQ(database.agedRecords[0].intervalStart, boot + 2 * hour);
    EXPECT_EQ(database.counts(database.agedRecords[1], 0), (AdapterCounters{50, 500}));
    EXPECT_EQ(reloaded(database).fileContent, database.fileContent); // the file holds exactly these

    // After a reboot no aged record is needed any more.
    merge(database, {today + 3 * hour, today + 4 * hour, {raw(1, 1)}}, CounterWidth::bits64);
    EXPECT_TRUE(database.agedRecords.empty());
}

TEST(Merge, LeavesCountsThatCouldNotBeReadAndAppendsNewAdapters)
{
    TrafficDatabase database;
    merge(database, {bootAt10, day1 + 11 * hour, {raw(10, 20)}}, CounterWidth::bits32);
    const std::string log = merge(database,
                                  {bootAt10, day1 + 12 * hour, {{"eth", 0, std::nullopt, 25}, {"wlan", 0, 7, std::nullopt}}},
                                  CounterWidth::bits32);
    EXPECT_EQ(log, "recv total: 25\n");
    ASSERT_EQ(database.records.back().entryCount, 2u);
    EXPECT_EQ(countsOf(database, 0, 0), (AdapterCounters{10, 25}));
    EXPECT_EQ(countsOf(database, 0, 1), (AdapterCounters{7, 0}));

    // The file holds at most 255 entries a record.
    std::vector<AdapterReading> many(300, raw(1, 1));
    merge(database, {bootAt10, day1 + 13 * hour, many}, CounterWidth::bits32);
    EXPECT_EQ(database.records.back().entryCount, TrafficRecord::maxAdapters);
    EXPECT_EQ(reloaded(database).records.back().entryCount, TrafficRecord::maxAdapters);
}

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
