#pragma once

#include "base/ByteCheck.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <string_view>

namespace platform {

// Marks of what a setting the C library reads comes from, so that a value one run hands
// on is taken by the next only while its sources are the same.

// A variable's text, or unset.
inline std::uint64_t markText(const char* text, std::uint64_t mark)
{
    return byteCheck(text ? std::string_view(text, std::strlen(text) + 1) : std::string_view("\1"), mark);
}

// A file's identity and times (zeros where there is none): a new file at the name, or
// an edit, marks otherwise.
inline std::uint64_t markFile(const char* path, std::uint64_t mark)
{
    struct stat status {};
    if (::stat(path, &status) != 0)
        status = {};
    const std::uint64_t stamp[] = {status.st_dev, status.st_ino, static_cast<std::uint64_t>(status.st_size),
                                   static_cast<std::uint64_t>(status.st_mtim.tv_sec), static_cast<std::uint64_t>(status.st_mtim.tv_nsec),
                                   static_cast<std::uint64_t>(status.st_ctim.tv_sec), static_cast<std::uint64_t>(status.st_ctim.tv_nsec)};
    return byteCheck(std::string_view(reinterpret_cast<const char*>(stamp), sizeof stamp), mark);
}

} // namespace platform
