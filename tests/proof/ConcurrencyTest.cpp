// Fifty runs started at once on one database while frames flow through the adapters:
// each waits for the lock and completes, the runs take their readings one after another,
// and after a final run the database holds exactly what the kernel counted.

#include "DatabaseFile.h"
#include "Figures.h"
#include "Harness.h"
#include "LockHolder.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <thread>

namespace proof {
namespace {

using namespace e2e;
using std::chrono::hours;
namespace fs = std::filesystem;

constexpr int runsAtOnce = 50;

// How many processes wait in the kernel for the lock on the file: lines of waiters in
// /proc/locks read "1: -> FLOCK  ADVISORY  WRITE <pid> <major>:<minor>:<inode> 0 EOF".
int waitingFor(const fs::path& lockFile)
{
    struct stat status {};
    if (stat(lockFile.c_str(), &status) != 0)
        return 0;
    const std::string inode = std::string(":") + std::to_string(status.st_ino) + " ";
    std::ifstream locks("/proc/locks");
    int waiting = 0;
    for (std::string line; std::getline(locks, line);)
        waiting += line.find("-> FLOCK") != std::string::npos && line.find(inode) != std::string::npos;
    return waiting;
}

// The raw readings of the two adapters, one block of the diagnostic log per run. Throws
// unless each block is whole: its start line, its boot line, then each adapter's lines in
// order (the merge's own lines, as many as it writes), with no line of another run between.
std::vector<std::vector<KernelCounters>> loggedReadings(const std::string& log)
{
    const auto adapter = [](const std::string& i) {
        return "Interface " + i + ": lan" + i + R"(\n Received: (\d+) \(unsigned \d+\)\n Sent: (\d+) \(unsigned \d+\)\n)"
               + R"((?:(?:corrected to|sent total|recv total): [\d/]+\n)*)";
    };
    const std::regex block("Application start: [^\n]+\n\nboot @ [^\n]+\n" + adapter("0") + adapter("1") + "\n");
    std::vector<std::vector<KernelCounters>> readings;
    std::size_t end = 0;
    for (std::sregex_iterator it(log.begin(), log.end(), block), last; it != last && std::size_t(it->position()) == end; ++it) {
        end += static_cast<std::size_t>(it->length());
        const auto number = [&](int i) { return std::stoull((*it)[i].str()); };
        readings.push_back({{number(1), number(2)}, {number(3), number(4)}});
    }
    if (end != log.size())
        throw std::runtime_error("not a whole block of the log at byte " + std::to_string(end) + ": " + log.substr(end, 300));
    return readings;
}

TEST(Concurrency, FiftyRunsAtOnceWaitTheirTurnAndLoseNoUpdate)
{
    TestFolder folder;
    TrafficRig rig(2);
    rig.send({0, 3, 700, 2, 90});
    rig.send({1, 1, 100, 4, 1514});
    // Yesterday's reading: the first of the fifty opens today's record, the others update it.
    ASSERT_EQ(folder.run(patternRun(rig.networkNamespace(), dayAfterBoot(1) + hours(20))).out, "ok");
    const fs::path working = folder.root() / "working";
    fs::create_directory(working);

    // Held while the runs start, so that all of them meet at the lock.
    LockHolder holder(folder.lockFile());
    const auto inbound = rig.flow(0, true, 1000, std::chrono::microseconds(200));
    const auto outbound = rig.flow(1, false, 300, std::chrono::microseconds(300));
    std::vector<std::unique_ptr<Process>> runs;
    const auto firstStarted = Clock::now();
    RunOptions options = patternRun(rig.networkNamespace(), dayAfterBoot(2) + hours(12), {"log", "ok"});
    options.workingFolder = working;
    for (int i = 0; i < runsAtOnce; ++i)
        runs.push_back(folder.start(options));
    int waiting = 0;
    for (const auto until = Clock::now() + std::chrono::seconds(3); waiting < runsAtOnce && Clock::now() < until;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        waiting = waitingFor(folder.lockFile());
    }
    reportFigure("runsWaitingAtOnce", waiting);
    EXPECT_EQ(waiting, runsAtOnce);
    const KernelCounters released[] = {rig.kernel(0), rig.kernel(1)};
    holder.kill();

    int completed = 0;
    for (auto& run : runs) {
        const RunResult result = run->wait();
        EXPECT_EQ(result.exitStatus, 0) << "a run gave up waiting for the lock";
        EXPECT_EQ(result.out, "ok") << result.err;
        completed += result.exitStatus == 0 && result.out == "ok";
    }
    reportFigure("runsCompleted", completed);
    // Each run waits 5000 ms at most.
    reportFigure("millisecondsFromFirstStartToLastEnd",
                 std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - firstStarted).count());
    EXPECT_TRUE(inbound->stop()) << "the inbound flow ended on its own";
    EXPECT_TRUE(outbound->stop()) << "the outbound flow ended on its own";

    // The runs read the counters one after another, while they kept growing.
    const auto readings = loggedReadings(readBytes(working / "traffic.log"));
    ASSERT_EQ(readings.size(), static_cast<std::size_t>(runsAtOnce));
    for (std::size_t i = 1; i < readings.size(); ++i)
        for (int pair = 0; pair < 2; ++pair) {
            EXPECT_GE(readings[i][pair].received, readings[i - 1][pair].received);
            EXPECT_GE(readings[i][pair].sent, readings[i - 1][pair].sent);
        }
    EXPECT_GT(readings.back()[0].received, released[0].received) << "no traffic came in during the runs";
    EXPECT_GT(readings.back()[1].sent, released[1].sent) << "no traffic went out during the runs";
    reportFigure("bytesFlowedDuringTheRuns", static_cast<std::int64_t>(readings.back()[0].received - released[0].received
                                                                       + readings.back()[1].sent - released[1].sent));

    // After a final run, the day records add up to exactly what the kernel counted.
    ASSERT_EQ(folder.run(patternRun(rig.networkNamespace(), dayAfterBoot(2) + hours(13))).out, "ok");
    const std::vector<StoredRecord> records = decodeDatabase(readBytes(folder.database()));
    ASSERT_EQ(records.size(), 2u);
    std::int64_t bytesLost = 0;
    for (int pair = 0; pair < 2; ++pair) {
        KernelCounters stored;
        for (const StoredRecord& record : records)
            stored = {stored.received + static_cast<std::uint64_t>(record.entries.at(pair).received),
                      stored.sent + static_cast<std::uint64_t>(record.entries.at(pair).sent)};
        EXPECT_EQ(stored, rig.kernel(pair)) << TrafficRig::innerName(pair);
        bytesLost += static_cast<std::int64_t>(rig.kernel(pair).sent - stored.sent + rig.kernel(pair).received - stored.received);
    }
    reportFigure("bytesLost", bytesLost);
}

} // namespace
} // namespace proof
