#include "platform/windows/NumberGrouping.h"

#include <gtest/gtest.h>

namespace {

TEST(NumberGrouping, LocaleGroupingBecomesNumberFormatGrouping)
{
    const struct {
        const char* locale;
        unsigned numberFormat;
    } cases[] = {
        {"3;0", 3},     // 1,234,567
        {"3;2;0", 32},  // 12,34,567
        {"3", 30},      // 1234,567: one group only
        {"3;2", 320},   // 12345,67,890: two groups, then none
        {"0;0", 0},     // no grouping
        {"0", 0},
        {"", 0},
        {"4;0", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(numberFormatGrouping(c.locale), c.numberFormat);
    }
}

} // namespace
