#include "DatabaseFile.h"
#include "Harness.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

using std::chrono::hours;
using std::chrono::minutes;

StoredCounts operator-(const KernelCounters& a, const KernelCounters& b)
{
    return {static_cast<std::int64_t>(a.sent - b.sent), static_cast<std::int64_t>(a.received - b.received)};
}

// A pattern-mode run inside the rig at the given local time, which must succeed.
void readingTaken(const TestFolder& folder, const TrafficRig& rig, WallClock at, RunOptions options = {})
{
    RunOptions run = patternRun(rig.networkNamespace(), at, options.arguments.empty() ? std::vector<std::string>{"ok"} : options.arguments);
    run.environment = options.environment;
    run.workingFolder = options.workingFolder;
    const RunResult result = folder.run(run);
    ASSERT_EQ(result.exitStatus, 0);
    ASSERT_EQ(result.out, "ok") << result.err;
}

std::vector<StoredRecord> storedRecords(const TestFolder& folder) { return decodeDatabase(readBytes(folder.database())); }

// The clock moves on over the following days of one boot session: each local midnight
// opens a record, and each record holds what the kernel counted between the last reading
// of the day before and the last reading of its own day, after every run.
TEST(KernelCounters, EachLocalMidnightOpensARecordWithThatDaysTraffic)
{
    struct Reading {
        int day;
        int hour;
        std::vector<Exchange> trafficBefore;
    };
    const Reading readings[] = {
        {1, 6, {{0, 4, 500, 1, 100}}}, {1, 18, {{1, 2, 1000, 3, 300}, {0, 7, 64, 0, 0}}},
        {1, 19, {}}, // no traffic since the last run: nothing changes
        {2, 12, {{0, 1, 1514, 0, 0}}}, {3, 12, {}}, // a quiet day
        {4, 0, {{1, 1, 14, 0, 0}}}, // on the stroke of midnight
        {4, 12, {{0, 10, 60, 10, 60}}}, {5, 23, {{1, 0, 0, 6, 700}, {0, 0, 0, 1, 1514}}},
    };
    TestFolder folder;
    TrafficRig rig(2);
    std::vector<StoredRecord> expected;
    std::vector<KernelCounters> lastReading(2), endOfDayBefore(2);
    for (const Reading& reading : readings) {
        SCOPED_TRACE("day " + std::to_string(reading.day) + ", " + std::to_string(reading.hour) + ":00");
        for (const Exchange& exchange : reading.trafficBefore)
            rig.send(exchange);
        ASSERT_NO_FATAL_FAILURE(readingTaken(folder, rig, dayAfterBoot(reading.day) + hours(reading.hour)));

        if (expected.empty() || expected.back().start != fileTime(dayAfterBoot(reading.day))) {
            expected.push_back({fileTime(dayAfterBoot(reading.day)), {}});
            endOfDayBefore = lastReading;
        }
        expected.back().entries.clear();
        for (int pair = 0; pair < 2; ++pair) {
            lastReading[pair] = rig.kernel(pair);
            expected.back().entries.push_back(lastReading[pair] - endOfDayBefore[pair]);
        }
        EXPECT_EQ(storedRecords(folder), expected);
    }
}

// Two logged runs on the second day of a boot session, in the working folder under a
// German locale: the first opens the day's record, the second updates it.
TEST(KernelCounters, LogShowsTheReadingAndTheMergeLineByLine)
{
    TestFolder folder;
    TrafficRig rig(2);
    rig.send({0, 4, 100, 2, 300});
    rig.send({1, 1, 1000, 0, 0});
    ASSERT_NO_FATAL_FAILURE(readingTaken(folder, rig, dayAfterBoot(1) + hours(20)));
    const KernelCounters dayBefore[] = {rig.kernel(0), rig.kernel(1)};
    const std::filesystem::path working = folder.root() / "working";
    std::filesystem::create_directory(working);
    const WallClock day = dayAfterBoot(2);

    std::string expected;
    const auto logged = [&](WallClock at, std::vector<std::string> arguments, bool recordExists) {
        RunOptions options;
        options.arguments = arguments;
        options.environment = {{"LC_ALL", "de_DE.UTF-8"}};
        options.workingFolder = working;
        readingTaken(folder, rig, at, options);
        expected += "Application start: " + germanTimeStamp(at) + "\n\nboot @ " + germanTimeStamp(day) + "\n";
        for (int pair = 0; pair < 2; ++pair) {
            const KernelCounters now = rig.kernel(pair);
            const StoredCounts today = now - dayBefore[pair];
            const std::string received = std::to_string(now.received), sent = std::to_string(now.sent);
            expected += "Interface " + std::to_string(pair) + ": " + TrafficRig::innerName(pair) + "\n Received: " + received
                        + " (unsigned " + received + ")\n Sent: " + sent + " (unsigned " + sent + ")\ncorrected to: "
                        + std::to_string(today.received) + "/" + std::to_string(today.sent) + "\n";
            if (recordExists)
                expected += "sent total: " + std::to_string(today.sent) + "\nrecv total: " + std::to_string(today.received) + "\n";
        }
        expected += "\n";
    };
    rig.send({0, 2, 1514, 5, 70});
    logged(day + hours(12), {"log", "ok"}, false);
    rig.send({1, 3, 90, 1, 1000});
    logged(day + hours(13) + minutes(5), {"ok", "log"}, true);

    EXPECT_EQ(readBytes(working / "traffic.log"), expected);
    EXPECT_EQ(folder.programFolderEntries(), (std::vector<std::string>{".traffic.state", "brimlet", "traffic"}));
}

} // namespace
} // namespace e2e
