#pragma once

// Runs the real program the way users meet it: a copy of the built binary in a
// throw-away folder (its database lives beside it), started with chosen arguments,
// environment, network namespace and clock, with its standard output and exit status
// captured.

#include "TestClock.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

using Clock = std::chrono::steady_clock;

struct RunOptions {
    std::vector<std::string> arguments;
    // Replaces or adds to the fixed environment every run starts from: PATH, LC_ALL=C.UTF-8
    // and TZ set to the tests' zone (see TestClock.h).
    std::vector<std::pair<std::string, std::string>> environment;
    std::string networkNamespace; // empty: the test's own namespace
    // Seconds since 1970 at which libfaketime stops the program's clock; the kernel's
    // boot time stays as it is. The run then gets a /dev/shm of its own, so that the files
    // libfaketime keeps there vanish with the run even when it is killed.
    std::optional<std::int64_t> frozenClock;
    std::filesystem::path workingFolder; // empty: the program's own folder
    std::vector<std::filesystem::path> readOnly; // mounted read-only for this run alone
    // A command the program is started under, for example a tracer; the program's path and
    // arguments follow it. The clock is faked for the program alone, not for it.
    std::vector<std::string> wrapper;
};

// A pattern-mode run with the pattern "ok" (no conversion: what it leaves behind is its
// database) unless other arguments are given, inside the namespace, at the local time.
RunOptions patternRun(const std::string& networkNamespace, WallClock at, std::vector<std::string> arguments = {"ok"});

struct RunResult {
    int exitStatus = -1; // -1 when a signal ended the process
    std::string out;
    std::string err;
    Clock::time_point started;
    Clock::time_point ended;

    double seconds() const { return std::chrono::duration<double>(ended - started).count(); }
};

// A started process. Its output goes to memory files, so it can never block on a pipe.
class Process {
public:
    // command[0] is looked up in PATH. lockFolder, when not empty, is mounted over
    // /run/lock for this process alone.
    Process(const std::vector<std::string>& command, const RunOptions& options,
            const std::filesystem::path& lockFolder);
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process(); // a process still running is killed

    bool running() const;
    // Kills the process now, whatever it is doing; wait() then tells what it left.
    void kill();
    // Waits for the end; a process still running after the limit is killed and the
    // wait fails.
    RunResult wait(std::chrono::seconds limit = std::chrono::seconds(60));

private:
    pid_t pid = -1;
    int pidFd = -1;
    int outFd = -1;
    int errFd = -1;
    Clock::time_point started;
};

// A folder of its own for one test:
//   program/brimlet  a copy of the built program; its database files lie beside it
//   lock/            stands in for /run/lock in every run, so that no run touches the
//                    machine's own (the program keeps its lock beside its database)
class TestFolder {
public:
    TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    ~TestFolder();

    const std::filesystem::path& root() const { return rootFolder; }
    std::filesystem::path programFolder() const { return rootFolder / "program"; }
    std::filesystem::path program() const { return programFolder() / "brimlet"; }
    std::filesystem::path database(const std::string& server = "") const
    {
        return programFolder() / (server.empty() ? "traffic" : "traffic." + server);
    }
    std::filesystem::path lockFolder() const { return rootFolder / "lock"; }
    // The lock file of the database for the given server, beside it.
    std::filesystem::path lockFile(const std::string& server = "") const;

    // Names of the entries of the program's folder, sorted; the lock files that runs
    // leave beside their databases (".traffic.lock", ".traffic.<server>.lock") left out.
    std::vector<std::string> programFolderEntries() const;

    RunResult run(const RunOptions& options) const { return start(options)->wait(); }
    std::unique_ptr<Process> start(const RunOptions& options) const;

private:
    std::filesystem::path rootFolder;
};

// Runs a command of the rig itself (ip, sysctl, cat), optionally inside a network
// namespace, and returns its standard output. Throws when it fails.
std::string runCommand(const std::vector<std::string>& command, const std::string& networkNamespace = "");

// An entry as it stands, a link not followed: its inode, mode, owner, the time it was
// last written and a file's bytes ("none" when there is no entry). A file written anew
// shows here even when its bytes are the same.
std::string stateOf(const std::filesystem::path& path);

std::string readBytes(const std::filesystem::path& file);
void writeBytes(const std::filesystem::path& file, std::string_view content);

// The help page up to and including "Available Network Adapters:", as users must see it.
const std::string& fixedHelpText();

} // namespace e2e
