#include "platform/Platform.h"

#include <unistd.h>

#include <string>
#include <system_error>

namespace platform {

std::filesystem::path executableFolder()
{
    // The kernel's link names the real file, however the program was started.
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            throw std::system_error(errno, std::generic_category(), "/proc/self/exe");
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return std::filesystem::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
