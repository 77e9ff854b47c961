#include "platform/Platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace platform {

namespace {

// One lock per user, in a folder of that user's own, so that nobody else can plant a
// file or a link where the lock is taken. The folder's place must not depend on the
// caller's environment: every run of the user has to meet the same lock.
std::string lockFolder()
{
    const char* base = access("/run/lock", W_OK | X_OK) == 0 ? "/run/lock" : "/tmp";
    return std::string(base) + "/brimlet-" + std::to_string(geteuid());
}

int openLockFile()
{
    const std::string folder = lockFolder();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return -1;
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != geteuid()
        || (status.st_mode & 0077) != 0)
        return -1;
    const std::string file = folder + "/lock";
    // Opened for reading only: the program never writes to it.
    return open(file.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
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

InstanceLock::Result InstanceLock::acquire(int timeoutMilliseconds)
{
    const int fd = openLockFile();
    if (fd < 0)
        return Result::unavailable;
    if (const int error = lockWithin(fd, timeoutMilliseconds); error != 0) {
        close(fd);
        return error == EINTR ? Result::timedOut : Result::unavailable;
    }
    handle = fd;
    return Result::acquired;
}

void InstanceLock::release()
{
    if (handle >= 0)
        close(static_cast<int>(handle)); // closing the last descriptor drops the lock
    handle = -1;
}

} // namespace platform
