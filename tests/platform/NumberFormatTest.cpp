#include "platform/NumberFormat.h"
#include "platform/windows/NumberGrouping.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(FormatNumber, RoundsHalfUpAndGroupsByTheRules)
{
    const NumberFormat english{".", ",", "\3\3"};
    const NumberFormat indian{".", ",", "\3\2"};
    const NumberFormat onceOnly{".", ",", std::string("\3") + static_cast<char>(CHAR_MAX)};
    const NumberFormat zeroRepeats{".", ",", std::string("\2\0", 2)};
    const NumberFormat noGroups{".", ",", ""};
    const NumberFormat cLocale{};
    struct Case {
        const char* text;
        int fractionDigits;
        const NumberFormat* format;
        const char* expected;
    };
    const Case cases[] = {
        {"1.125", 2, &english, "1.13"}, {"1.124", 2, &english, "1.12"}, {"0.005", 2, &english, "0.01"},
        {"99.9902", 1, &english, "100.0"}, {"999999.5", 0, &english, "1,000,000"},
        {"1.5", 2, &english, "1.50"}, {"7", 2, &english, "7.00"}, {"007", 0, &english, "7"},
        {"123", 0, &english, "123"}, {"1234", 0, &english, "1,234"},
        {"12345678", 0, &indian, "1,23,45,678"}, {"12345678", 0, &onceOnly, "12345,678"},
        {"1234567", 0, &zeroRepeats, "1,23,45,67"}, {"1234567", 0, &noGroups, "1234567"},
        {"1234567.25", 1, &cLocale, "1234567.3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " to " + std::to_string(c.fractionDigits) + " digits");
        EXPECT_EQ(formatNumber(c.text, c.fractionDigits, *c.format), c.expected);
    }
}

TEST(NumberGrouping, LocaleGroupingBecomesNumberFormatGrouping)
{
    const std::pair<const char*, unsigned> cases[] = {
        // 1,234,567; 12,34,567; 1234,567 (one group only); 12345,67,890 (two groups, then none)
        {"3;0", 3}, {"3;2;0", 32}, {"3", 30}, {"3;2", 320},
        {"0;0", 0}, {"0", 0}, {"", 0}, {"4;0", 4}, // no grouping, or groups of four
    };
    for (const auto& [locale, numberFormat] : cases) {
        SCOPED_TRACE(locale);
        EXPECT_EQ(numberFormatGrouping(locale), numberFormat);
    }
}

} // namespace
