#include "Harness.h"
#include "HelpText.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace e2e {
namespace {

// Holds the program's lock from a process of its own, the way a running program holds
// it, until that process is killed.
class LockHolder {
public:
    explicit LockHolder(const std::filesystem::path& lockFile)
    {
        // The folder is the one the program makes for its user's lock.
        std::filesystem::create_directories(lockFile.parent_path());
        std::filesystem::permissions(lockFile.parent_path(), std::filesystem::perms(0700));
        int ready[2];
        if (pipe(ready) != 0)
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        pid = fork();
        if (pid == 0) {
            close(ready[0]);
            const int fd = open(lockFile.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
            if (fd < 0 || flock(fd, LOCK_EX) != 0)
                _exit(1);
            [[maybe_unused]] auto written = write(ready[1], "L", 1);
            for (;;)
                pause();
        }
        close(ready[1]);
        char signal = 0;
        const bool locked = pid > 0 && read(ready[0], &signal, 1) == 1;
        close(ready[0]);
        if (!locked)
            throw std::runtime_error("could not take the lock " + lockFile.string());
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    ~LockHolder() { kill(); }

    void kill()
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

private:
    pid_t pid = -1;
};

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
