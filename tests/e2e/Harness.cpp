#include "Harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace e2e {

namespace {

std::runtime_error systemError(const std::string& what) { return std::runtime_error(what + ": " + std::strerror(errno)); }

std::vector<std::string> environmentFor(const RunOptions& options)
{
    std::map<std::string, std::string> variables = {
        {"PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"}, {"LC_ALL", "C.UTF-8"}, {"TZ", testZone}};
    // A sanitized build is told its options by the test run (libfaketime comes before its
    // runtime in the preload list, which it must be told to accept).
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            variables[name] = value;
    if (options.frozenClock)
        variables.insert({{"FAKETIME_FMT", "%s"}, {"FAKETIME", std::to_string(*options.frozenClock)}, {"FAKETIME_DONT_FAKE_MONOTONIC", "1"}});
    for (const auto& [name, value] : options.environment)
        variables[name] = value;
    std::vector<std::string> environment;
    for (const auto& [name, value] : variables)
        environment.push_back(name + "=" + value);
    return environment;
}

std::vector<char*> pointers(std::vector<std::string>& texts)
{
    std::vector<char*> result;
    for (std::string& text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

std::string readAll(int fd)
{
    std::string content;
    char buffer[65536];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        content.append(buffer, static_cast<std::size_t>(got));
    return content;
}

// In the child, between fork and exec.
[[noreturn]] void childFails(const char* what)
{
    std::perror(what);
    _exit(127);
}

} // namespace

RunOptions patternRun(const std::string& networkNamespace, WallClock at, std::vector<std::string> arguments)
{
    RunOptions options;
    options.arguments = std::move(arguments);
    options.networkNamespace = networkNamespace;
    options.frozenClock = epochSeconds(at);
    return options;
}

Process::Process(const std::vector<std::string>& command, const RunOptions& options,
                 const std::filesystem::path& lockFolder)
{
    std::vector<std::string> argv;
    if (!options.networkNamespace.empty())
        argv.insert(argv.end(), {"ip", "netns", "exec", options.networkNamespace});
    argv.insert(argv.end(), options.wrapper.begin(), options.wrapper.end());
    // The clock is faked for the program alone: the helpers before it (ip, a wrapper) would
    // set up libfaketime's shared state as root, which a program run as another user can
    // not open.
    if (options.frozenClock) {
        if (std::string(BRIMLET_LIBFAKETIME).empty())
            throw std::runtime_error("libfaketime was not found when the tests were configured");
        argv.insert(argv.end(), {"env", std::string("LD_PRELOAD=") + BRIMLET_LIBFAKETIME});
    }
    argv.insert(argv.end(), command.begin(), command.end());
    std::vector<std::string> environment = environmentFor(options);
    std::vector<char*> argvPointers = pointers(argv);
    std::vector<char*> environmentPointers = pointers(environment);
    const bool ownSharedMemory = options.frozenClock.has_value();
    const bool ownMounts = !lockFolder.empty() || !options.readOnly.empty() || ownSharedMemory;

    outFd = memfd_create("stdout", MFD_CLOEXEC);
    errFd = memfd_create("stderr", MFD_CLOEXEC);
    started = Clock::now();
    pid = fork();
    if (outFd < 0 || errFd < 0 || pid < 0)
        throw systemError("memfd_create or fork");
    if (pid == 0) {
        const int nothing = open("/dev/null", O_RDONLY);
        if (dup2(errFd, 2) < 0 || dup2(outFd, 1) < 0 || dup2(nothing, 0) < 0)
            _exit(127);
        if (ownMounts && (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0))
            childFails("private mounts");
        if (!lockFolder.empty() && mount(lockFolder.c_str(), "/run/lock", nullptr, MS_BIND, nullptr) != 0)
            childFails("mount over /run/lock");
        if (ownSharedMemory && mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777,size=1m") != 0)
            childFails("mount over /dev/shm");
        for (const auto& path : options.readOnly)
            if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0
                || mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
                childFails("read-only mount");
        if (!options.workingFolder.empty() && chdir(options.workingFolder.c_str()) != 0)
            childFails("chdir");
        execvpe(argvPointers[0], argvPointers.data(), environmentPointers.data());
        childFails(argvPointers[0]);
    }
    pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidFd < 0) {
        const std::runtime_error failure = systemError("pidfd_open");
        ::kill(pid, SIGKILL); // a constructor that throws gets no destructor
        waitpid(pid, nullptr, 0);
        throw failure;
    }
}

Process::~Process()
{
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    for (int fd : {pidFd, outFd, errFd})
        if (fd >= 0)
            close(fd);
}

bool Process::running() const
{
    pollfd exited{pidFd, POLLIN, 0};
    return pid > 0 && poll(&exited, 1, 0) == 0;
}

void Process::kill()
{
    if (pid > 0)
        ::kill(pid, SIGKILL);
}

RunResult Process::wait(std::chrono::seconds limit)
{
    if (pid <= 0)
        throw std::logic_error("the process was already waited for");
    pollfd exited{pidFd, POLLIN, 0};
    const bool ended = poll(&exited, 1, static_cast<int>(limit.count() * 1000)) > 0;
    RunResult result{-1, "", "", started, Clock::now()};
    if (!ended)
        ::kill(pid, SIGKILL);
    int status = 0;
    waitpid(std::exchange(pid, -1), &status, 0);
    if (!ended)
        throw std::runtime_error("still running after " + std::to_string(limit.count()) + " s; killed");
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    result.out = readAll(outFd);
    result.err = readAll(errFd);
    return result;
}

TestFolder::TestFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "brimlet-e2e-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw systemError("mkdtemp");
    rootFolder = pattern;
    namespace fs = std::filesystem;
    // Open to every user, so that runs under another user can reach the program.
    fs::permissions(rootFolder, fs::perms(0755));
    fs::create_directory(programFolder());
    fs::permissions(programFolder(), fs::perms(0755));
    fs::copy_file(BRIMLET_BINARY, program());
    fs::permissions(program(), fs::perms(0755));
    fs::create_directory(lockFolder());
    fs::permissions(lockFolder(), fs::perms(01777)); // as /run/lock itself
}

TestFolder::~TestFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(rootFolder, ignored);
}

std::filesystem::path TestFolder::lockFile(const std::string& server) const
{
    return programFolder() / ("." + database(server).filename().string() + ".lock");
}

std::vector<std::string> TestFolder::programFolderEntries() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(programFolder()))
        if (const std::string name = entry.path().filename().string(); !(name.starts_with(".traffic") && name.ends_with(".lock")))
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

std::unique_ptr<Process> TestFolder::start(const RunOptions& options) const
{
    std::vector<std::string> command = {program().string()};
    command.insert(command.end(), options.arguments.begin(), options.arguments.end());
    RunOptions settled = options;
    if (settled.workingFolder.empty())
        settled.workingFolder = programFolder();
    return std::make_unique<Process>(command, settled, lockFolder());
}

std::string runCommand(const std::vector<std::string>& command, const std::string& networkNamespace)
{
    RunOptions options;
    options.networkNamespace = networkNamespace;
    const RunResult result = Process(command, options, {}).wait();
    if (result.exitStatus != 0)
        throw std::runtime_error(command.front() + " failed: " + result.err);
    return result.out;
}

std::string stateOf(const std::filesystem::path& path)
{
    struct stat s {};
    if (lstat(path.c_str(), &s) != 0)
        return "none";
    const std::string bytes = S_ISREG(s.st_mode) ? readBytes(path) : "";
    return std::to_string(s.st_ino) + " " + std::to_string(s.st_mode) + " " + std::to_string(s.st_uid) + " "
           + std::to_string(s.st_mtim.tv_sec) + "." + std::to_string(s.st_mtim.tv_nsec) + " " + bytes;
}

std::string readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("can not read " + file.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::filesystem::path& file, std::string_view content)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.write(content.data(), static_cast<std::streamsize>(content.size())).flush())
        throw std::runtime_error("can not write " + file.string());
}

const std::string& fixedHelpText()
{
    static const std::string text = readBytes(BRIMLET_HELP_PAGE);
    return text;
}

} // namespace e2e
