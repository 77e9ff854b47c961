#include "Harness.h"
#include "LockHolder.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

#include <thread>

namespace e2e {
namespace {

// A run meets the lock held by another: it waits the five seconds, then gives up
// silently, having written nothing; a run that waits proceeds as soon as the holder dies.
TEST(InstanceLock, RunWaitsFiveSecondsForTheLock)
{
    TestFolder folder;
    NetworkNamespace quiet;
    auto holder = std::make_unique<LockHolder>(folder.lockFile());
    const RunResult gaveUp = folder.run(patternRun(quiet.name(), dayAfterBoot(1), {"log", "ok"}));
    EXPECT_EQ(gaveUp.exitStatus, 255);
    EXPECT_EQ(gaveUp.out + gaveUp.err, "");
    // About the five seconds of the wait; loose bounds, this is no benchmark.
    EXPECT_GE(gaveUp.seconds(), 4.5);
    EXPECT_LE(gaveUp.seconds(), 8.0);
    EXPECT_EQ(folder.programFolderEntries(), std::vector<std::string>{"brimlet"}); // neither database nor log

    const auto waiting = folder.start(patternRun(quiet.name(), dayAfterBoot(1), {"help"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(waiting->running()) << "the run did not wait for the lock";
    const auto killed = Clock::now();
    holder.reset();
    const RunResult result = waiting->wait();
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, fixedHelpText());
    EXPECT_LT(std::chrono::duration<double>(result.ended - killed).count(), 1.0);
}

} // namespace
} // namespace e2e
