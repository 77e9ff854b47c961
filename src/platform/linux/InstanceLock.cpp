#include "platform/Platform.h"

#include "platform/linux/LocalTime.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace platform {

namespace {

// The lock file beside the database, made when missing. Never through a link
// (O_NOFOLLOW), never blocking on a fifo planted in its place (O_NONBLOCK, which flock
// does not heed), and only a regular file of the user's own: anything else at its name
// was put there by someone else, and the run goes on without the lock. keepsMemo tells
// whether the file may keep the zone memo: opened for writing, and writable by no one
// else. One the user can not write still locks.
int openLockFile(const std::filesystem::path& path, bool& keepsMemo)
{
    constexpr int flags = O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = open(path.c_str(), O_RDWR | flags, 0600);
    keepsMemo = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = open(path.c_str(), O_RDONLY | flags, 0600);
    if (fd < 0)
        return -1;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid()) {
        close(fd);
        return -1;
    }
    keepsMemo = keepsMemo && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    return fd;
}

void ignoreAlarm(int) {}

// Waits for the lock until the timeout; the timer's signal breaks the wait. Returns 0
// once locked, else the reason: EINTR when the time ran out.
int lockWithin(int fd, int timeoutMilliseconds)
{
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
    if (errno != EWOULDBLOCK)
        return errno;

    struct sigaction alarm {};
    alarm.sa_handler = ignoreAlarm; // no SA_RESTART: flock returns EINTR
    sigemptyset(&alarm.sa_mask);
    struct sigaction previous {};
    sigaction(SIGALRM, &alarm, &previous);
    itimerval timer{};
    timer.it_value.tv_sec = timeoutMilliseconds / 1000;
    timer.it_value.tv_usec = (timeoutMilliseconds % 1000) * 1000;
    setitimer(ITIMER_REAL, &timer, nullptr);

    const int error = flock(fd, LOCK_EX) == 0 ? 0 : errno;

    timer = {};
    setitimer(ITIMER_REAL, &timer, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    return error;
}

} // namespace

InstanceLock::~InstanceLock() { release(); }

InstanceLock::Result InstanceLock::acquire(const std::filesystem::path& lockFile, int timeoutMilliseconds)
{
    bool keepsMemo = false;
    const int fd = openLockFile(lockFile, keepsMemo);
    if (fd < 0)
        return Result::unavailable;
    if (const int error = lockWithin(fd, timeoutMilliseconds); error != 0) {
        close(fd);
        return error == EINTR ? Result::timedOut : Result::unavailable;
    }
    handle = fd;
    if (keepsMemo)
        readZoneMemo(fd);
    return Result::acquired;
}

void InstanceLock::release()
{
    if (handle >= 0) {
        writeZoneMemo(static_cast<int>(handle)); // where this lock read it
        close(static_cast<int>(handle));         // closing the last descriptor drops the lock
    }
    handle = -1;
}

} // namespace platform
