// How a run ends and what it leaves, started the ways status bars, pipes and scripts start
// it: exit status, a reader that goes away, closed standard descriptors, temporary files
// of killed saves, things planted where the lock lies, --help and --version.

#include "Harness.h"
#include "LockHolder.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <thread>

namespace e2e {
namespace {

namespace fs = std::filesystem;

RunOptions quietRun(const NetworkNamespace& quiet, std::vector<std::string> arguments)
{
    RunOptions options;
    options.arguments = std::move(arguments);
    options.networkNamespace = quiet.name();
    return options;
}

TEST(RunHygiene, ExitStatusOutputAndReading)
{
    struct Case {
        std::vector<std::string> arguments;
        bool locked;
        int status;
        std::string out; // a shell wildcard pattern (no escapes)
        bool saved;
    };
    const Case cases[] = {
        {{"ok"}, false, 0, "ok", true},
        // Another database's lock keeps no run waiting; the Linux build reads no server.
        {{"server", "other", "ok"}, true, 1, "Program Exception: Failed to connect server.", false},
        {{"--help"}, false, 0, fixedHelpText(), false}, // which holds no wildcard
        {{"-h"}, false, 0, fixedHelpText(), false},
        {{"--version"}, false, 0, "brimlet [0-9]*.[0-9]* linux-?*\n", false},
        {{"--version", "-h"}, false, 0, "-h", true}, // along with others, a pattern as before
    };
    NetworkNamespace quiet;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        TestFolder folder;
        std::optional<LockHolder> holder;
        if (c.locked)
            holder.emplace(folder.lockFile());
        const RunResult result = folder.run(quietRun(quiet, c.arguments));
        EXPECT_EQ(result.exitStatus, c.status);
        EXPECT_EQ(fnmatch(c.out.c_str(), result.out.c_str(), FNM_NOESCAPE), 0) << result.out;
        EXPECT_EQ(fs::exists(folder.database()), c.saved);
    }
}

// Each run saves anew, whether its output goes to a pipe whose reader ended before it
// started or to closed descriptors; the log never receives the pattern's text.
TEST(RunHygiene, OutputNobodyReadsCostsNoReading)
{
    const char* closings[] = {"exec 3> >(:); wait $!; exec \"$@\" >&3 3>&-", "exec \"$@\" <&- >&- 2>&-", "exec \"$@\" >&-"};
    NetworkNamespace quiet;
    TestFolder folder;
    RunOptions options = quietRun(quiet, {"log", "%u%b%d"});
    options.workingFolder = folder.root();
    std::string before;
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(closings[i % 3]);
        options.wrapper = {"bash", "-c", closings[i % 3], "_"};
        EXPECT_EQ(folder.run(options).exitStatus, 0);
        EXPECT_NE(stateOf(folder.database()), before);
        before = stateOf(folder.database());
    }
    EXPECT_EQ(readBytes(folder.root() / "traffic.log").find("0\n0"), std::string::npos);
}

TEST(RunHygiene, LeftoversOfDeadSavesGoThoseOfLiveOnesStay)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child), live = std::to_string(getpid());
    TestFolder folder;
    for (const std::string& name : {"traffic.new-" + dead, ".traffic.state.new-" + dead, "traffic.new-0" + dead,
                                    "traffic.new-" + live})
        writeBytes(folder.programFolder() / name, "partial");
    NetworkNamespace quiet;
    EXPECT_EQ(folder.run(quietRun(quiet, {"ok"})).out, "ok");
    EXPECT_EQ(folder.programFolderEntries(),
              (std::vector<std::string>{".traffic.state", "brimlet", "traffic", "traffic.new-0" + dead, "traffic.new-" + live}));
}

// Whatever another user puts at the lock's name is never followed, opened for writing or
// changed; the run goes on without the lock and saves.
TEST(RunHygiene, WhatAnotherUserPlantsAtTheLockChangesNothing)
{
    void (*const plants[])(const fs::path& lock, const fs::path& victim) = {
        [](const fs::path& lock, const fs::path& victim) { fs::create_symlink(victim, lock); },
        [](const fs::path& lock, const fs::path& victim) { fs::create_symlink(victim.string() + "-new", lock); },
        [](const fs::path& lock, const fs::path&) { fs::create_directory(lock); },
        [](const fs::path& lock, const fs::path&) { writeBytes(lock, ""); },
        [](const fs::path& lock, const fs::path&) { mkfifo(lock.c_str(), 0666); },
    };
    NetworkNamespace quiet;
    for (const auto& plant : plants) {
        TestFolder folder;
        const fs::path victim = folder.root() / "victim";
        writeBytes(victim, "precious");
        plant(folder.lockFile(), victim);
        // A file is held locked, as another user's own run holds it: no lock of this run's to wait for.
        std::optional<LockHolder> holder;
        if (fs::is_regular_file(fs::symlink_status(folder.lockFile())))
            holder.emplace(folder.lockFile());
        lchown(folder.lockFile().c_str(), 65534, 65534);
        const std::string planted = stateOf(folder.lockFile());
        const RunResult result = folder.run(quietRun(quiet, {"ok"}));
        EXPECT_TRUE(result.exitStatus == 0 && result.out == "ok" && fs::exists(folder.database())) << result.out;
        EXPECT_TRUE(readBytes(victim) == "precious" && !fs::exists(victim.string() + "-new"));
        EXPECT_EQ(stateOf(folder.lockFile()), planted);
    }
}

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
