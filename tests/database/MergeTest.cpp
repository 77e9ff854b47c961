#include "database/Merge.h"

#include "platform/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const FileTime hour = 3600 * fileTimeSecond;
const FileTime day1 = *toFileTime({.year = 2026, .month = 3, .day = 1});
const FileTime bootAt10 = day1 + 10 * hour;

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

} // namespace
