#include "base/DatabaseFiles.h"
#include "base/Failures.h"
#include "platform/Platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <utility>

namespace platform {

namespace {

[[noreturn]] void fail(const char* what, const std::filesystem::path& path, int error)
{
    throw ProgramError(std::string(what) + " " + path.string() + ": " + std::strerror(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int get() const { return fd; }
    // Closes now, so that a failure to close can be told.
    int close() { return ::close(std::exchange(fd, -1)); }

private:
    int fd;
};

bool writeAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::uint64_t nanoseconds(const timespec& time)
{
    return static_cast<std::uint64_t>(time.tv_sec) * 1000000000u + static_cast<std::uint64_t>(time.tv_nsec);
}

FileStamp stampOf(const struct stat& status)
{
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::uint64_t>(status.st_size), nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
}

} // namespace

std::optional<std::string> readFile(const std::filesystem::path& path, std::size_t growth, FileStamp* stamp)
{
    // Without O_NONBLOCK a fifo planted in its place would block the run for good.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        fail("Can not read", path, errno);
    }
    struct stat status {};
    if (fstat(file.get(), &status) != 0)
        fail("Can not read", path, errno);
    if (!S_ISREG(status.st_mode))
        fail("Can not read", path, EINVAL);

    // One byte more than the file holds, so that the read that finds its end needs no
    // larger buffer.
    const auto size = static_cast<std::size_t>(status.st_size);
    std::string content;
    content.reserve(size + 1 + growth);
    prepareForFilling(content.data(), size + 1);
    content.resize(size + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size())
            content.resize(content.size() + 4096); // the file may have grown
        const std::size_t asked = content.size() - filled;
        const ssize_t got = ::read(file.get(), content.data() + filled, asked);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail("Can not read", path, errno);
        filled += static_cast<std::size_t>(got);
        // A regular file gives less than asked only at its end.
        if (static_cast<std::size_t>(got) < asked)
            break;
    }
    content.resize(filled);
    if (stamp) {
        *stamp = stampOf(status);
        stamp->size = filled;
    }
    return content;
}

bool overwriteFile(const std::filesystem::path& path, const FileStamp& stamp, std::size_t offset,
                   std::string_view bytes, bool sync)
{
    // Nothing is written through a link at the name, nor into a fifo planted there.
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || stampOf(status) != stamp
        || offset > stamp.size || bytes.size() > stamp.size - offset)
        return false;
    ssize_t written;
    do
        written = ::pwrite(file.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
    while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(bytes.size()) && (!sync || fdatasync(file.get()) == 0)
           && file.close() == 0;
}

void replaceFile(const std::filesystem::path& path, std::string_view content, bool syncFolder)
{
    // The new content goes to a file of its own beside the old one, reaches the disk,
    // and only then takes the old one's name.
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    const std::filesystem::path temporary = temporaryFile(path, static_cast<std::uint64_t>(getpid()));

    mode_t mode = 0644;
    struct stat status {};
    if (stat(path.c_str(), &status) == 0)
        mode = status.st_mode & 07777;

    auto create = [&] { return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode); };
    int fd = create();
    if (fd < 0 && errno == EEXIST) { // left behind by a run that died
        ::unlink(temporary.c_str());
        fd = create();
    }
    FileDescriptor file(fd);
    if (file.get() < 0)
        fail("Can not save", path, errno);
    int error = 0;
    if (!writeAll(file.get(), content) || fsync(file.get()) != 0)
        error = errno;
    if (file.close() != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail("Can not save", path, error);
    }
    // Make the new name itself durable.
    if (!syncFolder)
        return;
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0)
        fsync(directory.get());
}

std::unique_ptr<std::ostream> openForAppending(const std::filesystem::path& path)
{
    // Without O_NONBLOCK a fifo would hold the run until a reader came; with it, a fifo
    // without one fails with ENXIO.
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    struct stat status {};
    if (file.get() < 0 && errno != ENXIO)
        return std::make_unique<std::ofstream>();
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        throw ProgramError("Can not write " + path.string() + ": not a regular file");
    // The stream opens the very file checked, whatever its name leads to meanwhile.
    return std::make_unique<std::ofstream>("/proc/self/fd/" + std::to_string(file.get()), std::ios::app);
}

void removeAbandonedTemporaries(std::initializer_list<std::filesystem::path> files)
{
    if (files.size() == 0)
        return;
    const std::filesystem::path& first = *files.begin();
    const std::filesystem::path folder = first.has_parent_path() ? first.parent_path() : ".";
    DIR* const entries = opendir(folder.c_str());
    if (!entries)
        return;
    while (const dirent* entry = readdir(entries)) {
        for (const std::filesystem::path& file : files) {
            const std::optional<std::uint64_t> owner = temporaryOwner(file, entry->d_name);
            if (!owner)
                continue;
            // kill with no signal only asks whether the process exists: ESRCH, it does
            // not (EPERM: it runs as another user).
            const auto pid = static_cast<pid_t>(*owner);
            if (*owner <= INT32_MAX && pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH)
                unlinkat(dirfd(entries), entry->d_name, 0);
            break;
        }
    }
    closedir(entries);
}

} // namespace platform
