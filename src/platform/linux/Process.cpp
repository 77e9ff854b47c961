#include "platform/Platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace platform {

void prepareProcess()
{
    // A closed standard descriptor would be the number the next open takes: the lock
    // file, the database or the log would then receive what the run prints. Descriptors
    // are taken lowest first, so each closed one, in order, gets the null device's.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int nothing = open("/dev/null", O_RDWR);
        if (nothing >= 0 && nothing != fd) {
            dup2(nothing, fd);
            close(nothing);
        }
    }
    // A reader that went away (brimlet ... | head -c0) must not cost the reading: the
    // write fails with EPIPE, the stream notes the error, the merge and the save go on.
    signal(SIGPIPE, SIG_IGN);
}

} // namespace platform
