#include "platform/Platform.h"

#include <sys/mman.h>

namespace platform {

void preferHugePages(void* data, std::size_t size)
{
    // Only the whole huge pages inside the block can be given; the edges stay small.
    constexpr std::uintptr_t hugePage = std::uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + hugePage - 1) & ~(hugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(hugePage - 1);
    if (begin < end)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // a hint; failure changes nothing
}

} // namespace platform
