#include "platform/Platform.h"

#include <sys/mman.h>

#include <cstring>

namespace platform {

namespace {

struct AddressSpan {
    std::uintptr_t begin;
    std::uintptr_t end;
};

// The whole pages of the given size inside [begin, end): the edges of a block may be
// shared with other allocations.
AddressSpan wholePages(std::uintptr_t begin, std::uintptr_t end, std::uintptr_t pageSize)
{
    return {(begin + pageSize - 1) & ~(pageSize - 1), end & ~(pageSize - 1)};
}

// Advice is a hint: a failure (an older kernel) changes nothing but the speed.
void advise(AddressSpan span, int advice)
{
    if (span.begin < span.end)
        ::madvise(reinterpret_cast<void*>(span.begin), span.end - span.begin, advice);
}

} // namespace

void clearSecret(std::string& text) { explicit_bzero(text.data(), text.size()); }

void prepareForFilling(void* data, std::size_t size)
{
    constexpr std::uintptr_t hugePage = std::uintptr_t{2} << 20;
    constexpr std::uintptr_t page = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    advise(wholePages(begin, begin + size, hugePage), MADV_HUGEPAGE);
    advise(wholePages(begin, begin + size, page), MADV_POPULATE_WRITE);
}

} // namespace platform
