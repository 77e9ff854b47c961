#include "Harness.h"
#include "HelpText.h"
#include "LockHolder.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace e2e {
namespace {

TEST(InstanceLock, RunGivesUpSilentlyWhenTheLockStaysHeld)
{
    TestFolder folder;
    NetworkNamespace quiet;
    LockHolder holder(folder.lockFile());

    RunOptions options;
    options.arguments = {"log", "ok"};
    options.networkNamespace = quiet.name();
    const RunResult result = folder.run(options);

    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    // About the five seconds of the wait; loose bounds, this is no benchmark.
    EXPECT_GE(result.seconds(), 4.5);
    EXPECT_LE(result.seconds(), 8.0);
    // Neither database nor log.
    EXPECT_EQ(folder.programFolderEntries(), std::vector<std::string>{"brimlet"});
}

TEST(InstanceLock, WaitingRunProceedsAsSoonAsTheHolderDies)
{
    TestFolder folder;
    NetworkNamespace quiet;
    LockHolder holder(folder.lockFile());

    RunOptions options;
    options.arguments = {"help"};
    options.networkNamespace = quiet.name();
    const auto waiting = folder.start(options);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(waiting->running()) << "the run did not wait for the lock";

    const auto killed = Clock::now();
    holder.kill();
    const RunResult result = waiting->wait();

    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, fixedHelpText());
    EXPECT_LT(std::chrono::duration<double>(result.ended - killed).count(), 1.0);
}

} // namespace
} // namespace e2e
