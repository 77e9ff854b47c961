#include "platform/windows/NumberGrouping.h"

#include <vector>

unsigned numberFormatGrouping(std::string_view localeGrouping)
{
    std::vector<unsigned> sizes;
    std::size_t at = 0;
    while (at < localeGrouping.size()) {
        unsigned size = 0;
        for (; at < localeGrouping.size() && localeGrouping[at] != ';'; ++at)
            if (localeGrouping[at] >= '0' && localeGrouping[at] <= '9')
                size = size * 10 + static_cast<unsigned>(localeGrouping[at] - '0');
        sizes.push_back(size);
        ++at; // past the ';'
    }
    // A trailing 0 repeats the size before it, which is what NUMBERFMT does with its
    // last digit; without it the grouping stops, which NUMBERFMT says with a last 0.
    if (sizes.size() > 1 && sizes.back() == 0)
        sizes.pop_back();
    else
        sizes.push_back(0);

    unsigned grouping = 0;
    for (const unsigned size : sizes)
        grouping = grouping * 10 + size % 10;
    return grouping;
}
