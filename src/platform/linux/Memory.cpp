#include "platform/Platform.h"

#include <sys/mman.h>

namespace platform {

namespace {

// Whether [begin, end) holds whole pages of the given size, narrowed to them.
bool wholePages(std::uintptr_t& begin, std::uintptr_t& end, std::uintptr_t pageSize)
{
    begin = (begin + pageSize - 1) & ~(pageSize - 1);
    end &= ~(pageSize - 1);
    return begin < end;
}

} // namespace

void prepareForFilling(void* data, std::size_t size)
{
    // Only whole pages inside the block can be given: the edges may be shared with
    // other allocations. Both calls are hints; a failure (an older kernel) changes
    // nothing but the speed.
    constexpr std::uintptr_t hugePage = std::uintptr_t{2} << 20;
    constexpr std::uintptr_t page = 4096;
    auto begin = reinterpret_cast<std::uintptr_t>(data);
    auto end = begin + size;
    if (wholePages(begin, end, hugePage))
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    begin = reinterpret_cast<std::uintptr_t>(data);
    end = begin + size;
    if (wholePages(begin, end, page))
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

} // namespace platform
