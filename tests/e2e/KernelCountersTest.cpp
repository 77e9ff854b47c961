#include "DatabaseFile.h"
#include "Harness.h"
#include "NetworkRig.h"
#include "TestClock.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace e2e {
namespace {

using std::chrono::days;
using std::chrono::hours;
using std::chrono::minutes;

StoredCounts storedFrom(const KernelCounters& counters)
{
    return {static_cast<std::int64_t>(counters.sent), static_cast<std::int64_t>(counters.received)};
}

KernelCounters operator-(const KernelCounters& a, const KernelCounters& b)
{
    return {a.received - b.received, a.sent - b.sent};
}

// Midnight of the local day that lies the given number of days after the boot's.
WallClock dayAfterBoot(int day) { return midnightOf(wallClockAt(bootEpoch())) + days(day); }

// One pattern-mode run inside the rig at the given local time. The pattern "ok" holds no
// conversion: what the run leaves behind is its database.
::testing::AssertionResult readingTaken(const TestFolder& folder, const TrafficRig& rig, WallClock at,
                                        RunOptions options = {})
{
    if (options.arguments.empty())
        options.arguments = {"ok"};
    options.networkNamespace = rig.networkNamespace();
    options.frozenClock = epochSeconds(at);
    const RunResult result = folder.run(options);
    if (result.exitStatus != 0 || result.out != "ok")
        return ::testing::AssertionFailure() << "exit status " << result.exitStatus << ", output \"" << result.out
                                             << "\", errors \"" << result.err << "\"";
    return ::testing::AssertionSuccess();
}

std::vector<StoredRecord> storedRecords(const TestFolder& folder) { return decodeDatabase(readBytes(folder.database())); }

TEST(KernelCounters, DatabaseAgreesWithTheKernelAfterEveryRun)
{
    const std::vector<std::vector<Exchange>> rounds = {
        {{0, 3, 100, 2, 1000}},
        {}, // a run with no traffic since the last one changes nothing
        {{1, 5, 1514, 1, 60}, {0, 7, 64, 0, 0}},
        {{0, 0, 0, 1, 1514}, {1, 2, 200, 0, 0}},
    };
    TestFolder folder;
    TrafficRig rig(2);
    const WallClock day = dayAfterBoot(2);
    for (std::size_t round = 0; round < rounds.size(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (const Exchange& exchange : rounds[round])
            rig.send(exchange);
        ASSERT_TRUE(readingTaken(folder, rig, day + hours(12) + minutes(10 * round)));

        const StoredRecord expected{fileTime(day), {storedFrom(rig.kernel(0)), storedFrom(rig.kernel(1))}};
        EXPECT_EQ(storedRecords(folder), std::vector<StoredRecord>{expected});
    }
}

// The clock moves on over the following days of one boot session: each local midnight
// opens a record, and each record holds what the kernel counted between the last reading
// of the day before and the last reading of its own day.
TEST(KernelCounters, EachLocalMidnightOpensARecordWithThatDaysTraffic)
{
    struct Reading {
        int day;
        int hour;
        std::vector<Exchange> trafficBefore;
    };
    const Reading readings[] = {
        {1, 6, {{0, 4, 500, 1, 100}}},
        {1, 18, {{1, 2, 1000, 3, 300}}},
        {2, 12, {{0, 1, 1514, 0, 0}}},
        {3, 12, {}}, // a quiet day
        {4, 0, {{1, 1, 14, 0, 0}}}, // on the stroke of midnight
        {4, 12, {{0, 10, 60, 10, 60}}},
        {5, 23, {{1, 0, 0, 6, 700}}},
    };
    TestFolder folder;
    TrafficRig rig(2);
    std::vector<StoredRecord> expected;
    std::vector<KernelCounters> lastReading(2), endOfDayBefore(2);
    for (const Reading& reading : readings) {
        SCOPED_TRACE("day " + std::to_string(reading.day) + ", " + std::to_string(reading.hour) + ":00");
        for (const Exchange& exchange : reading.trafficBefore)
            rig.send(exchange);
        ASSERT_TRUE(readingTaken(folder, rig, dayAfterBoot(reading.day) + hours(reading.hour)));

        if (expected.empty() || expected.back().start != fileTime(dayAfterBoot(reading.day))) {
            expected.push_back({fileTime(dayAfterBoot(reading.day)), {}});
            endOfDayBefore = lastReading;
        }
        expected.back().entries.clear();
        for (int pair = 0; pair < 2; ++pair) {
            lastReading[pair] = rig.kernel(pair);
            expected.back().entries.push_back(storedFrom(lastReading[pair] - endOfDayBefore[pair]));
        }
        EXPECT_EQ(storedRecords(folder), expected);
    }
}

// An interface deleted and made anew starts its counters from zero: its records go on
// adding exactly the traffic it carries, no less and no more.
struct RecreationStep {
    const char* what;
    bool recreateBefore;
    int day;
    Exchange traffic;
};

void expectOnlyTrafficCounted(const std::vector<RecreationStep>& steps)
{
    TestFolder folder;
    TrafficRig rig(1);
    std::vector<StoredRecord> expected;
    for (const RecreationStep& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.recreateBefore)
            rig.recreate(0);
        rig.send(step.traffic);
        const WallClock day = dayAfterBoot(step.day);
        ASSERT_TRUE(readingTaken(folder, rig, day + hours(12)));

        if (expected.empty() || expected.back().start != fileTime(day))
            expected.push_back({fileTime(day), {{0, 0}}});
        expected.back().entries[0].sent += step.traffic.framesOut * step.traffic.sizeOut;
        expected.back().entries[0].received += step.traffic.framesIn * step.traffic.sizeIn;
        EXPECT_EQ(storedRecords(folder), expected);
    }
}

const RecreationStep firstReading = {"first reading", false, 2, {0, 20, 1000, 10, 500}};
const RecreationStep recreatedWithTraffic = {"re-created, with traffic", true, 2, {0, 3, 100, 2, 200}};

TEST(KernelCounters, RecreatedInterfaceAddsExactlyItsNewTraffic)
{
    expectOnlyTrafficCounted({firstReading, recreatedWithTraffic});
}

TEST(KernelCounters, RecreatedInterfaceIsNotCountedAgainLater)
{
    expectOnlyTrafficCounted({
        firstReading,
        recreatedWithTraffic,
        {"more traffic on the new interface", false, 2, {0, 1, 60, 0, 0}},
        {"no traffic", false, 2, {}},
        {"the next day", false, 3, {0, 2, 100, 1, 100}},
    });
}

// Two logged runs on the second day of a boot session: the first opens the day's record,
// the second updates it.
TEST(KernelCounters, LogShowsTheReadingAndTheMergeLineByLine)
{
    TestFolder folder;
    TrafficRig rig(2);
    rig.send({0, 4, 100, 2, 300});
    rig.send({1, 1, 1000, 0, 0});
    ASSERT_TRUE(readingTaken(folder, rig, dayAfterBoot(1) + hours(20)));
    const KernelCounters dayBefore[] = {rig.kernel(0), rig.kernel(1)};

    // The log lies in the working folder, not beside the program.
    const std::filesystem::path working = folder.root() / "working";
    std::filesystem::create_directory(working);
    RunOptions logged;
    logged.environment = {{"LC_ALL", "de_DE.UTF-8"}};
    logged.workingFolder = working;
    const WallClock day = dayAfterBoot(2);

    std::string expected;
    const auto expectRun = [&](WallClock at, bool recordExists) {
        expected += "Application start: " + germanTimeStamp(at) + "\n\nboot @ " + germanTimeStamp(day) + "\n";
        for (int pair = 0; pair < 2; ++pair) {
            const KernelCounters now = rig.kernel(pair);
            const KernelCounters today = now - dayBefore[pair];
            expected += "Interface " + std::to_string(pair) + ": " + TrafficRig::innerName(pair) + "\n";
            expected += " Received: " + std::to_string(now.received) + " (unsigned " + std::to_string(now.received) + ")\n";
            expected += " Sent: " + std::to_string(now.sent) + " (unsigned " + std::to_string(now.sent) + ")\n";
            expected += "corrected to: " + std::to_string(today.received) + "/" + std::to_string(today.sent) + "\n";
            if (recordExists)
                expected += "sent total: " + std::to_string(today.sent) + "\nrecv total: " + std::to_string(today.received) + "\n";
        }
        expected += "\n";
    };

    rig.send({0, 2, 1514, 5, 70});
    logged.arguments = {"log", "ok"};
    ASSERT_TRUE(readingTaken(folder, rig, day + hours(12), logged));
    expectRun(day + hours(12), false);

    rig.send({1, 3, 90, 1, 1000});
    logged.arguments = {"ok", "log"};
    ASSERT_TRUE(readingTaken(folder, rig, day + hours(13) + minutes(5), logged));
    expectRun(day + hours(13) + minutes(5), true);

    EXPECT_EQ(readBytes(working / "traffic.log"), expected);
    EXPECT_EQ(folder.programFolderEntries(), (std::vector<std::string>{".traffic.state", "brimlet", "traffic"}));
}

} // namespace
} // namespace e2e
