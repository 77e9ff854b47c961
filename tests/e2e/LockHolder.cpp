#include "LockHolder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace e2e {

LockHolder::LockHolder(const std::filesystem::path& lockFile)
{
    int ready[2];
    if (pipe(ready) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    pid = fork();
    if (pid == 0) {
        close(ready[0]);
        const int fd = open(lockFile.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
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

void LockHolder::kill()
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

} // namespace e2e
