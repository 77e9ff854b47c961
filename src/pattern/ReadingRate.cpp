#include "pattern/ReadingRate.h"

#include <algorithm>

std::uint64_t bytesPerSecond(const ReadingRate& rate, char identifier, int adapterIndex)
{
    if (rate.elapsed < fileTimeSecond / 1000)
        return 0;
    std::uint64_t bytes = 0;
    for (std::size_t adapter = 0; adapter < rate.counted.size(); ++adapter) {
        if (adapterIndex >= 0 && adapter != static_cast<std::size_t>(adapterIndex))
            continue;
        // A count the merge lowered (a record mended from the session's sums) added nothing.
        const auto sent = static_cast<std::uint64_t>(std::max<std::int64_t>(rate.counted[adapter].sent, 0));
        const auto received = static_cast<std::uint64_t>(std::max<std::int64_t>(rate.counted[adapter].received, 0));
        bytes += identifier == 'u' ? sent : identifier == 'd' ? received : sent + received;
    }
    // Exact for any count and any time: the product needs more than 64 bits.
    __extension__ using Wide = unsigned __int128;
    return static_cast<std::uint64_t>(Wide{bytes} * fileTimeSecond / rate.elapsed);
}
