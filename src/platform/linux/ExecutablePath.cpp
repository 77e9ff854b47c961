#include "platform/Platform.h"

#include "base/Failures.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform {

std::filesystem::path executableFolder()
{
    // The kernel's link names the real file, however the program was started.
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            throw ProgramError(std::string("Can not find the program's own file: ") + std::strerror(errno));
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return std::filesystem::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
