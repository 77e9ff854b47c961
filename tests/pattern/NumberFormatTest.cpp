#include "pattern/NumberFormat.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

const NumberFormat cLocale{};
const NumberFormat english{".", ",", "\3\3"};
const NumberFormat german{",", ".", "\3\3"};
const NumberFormat french{",", "\u202f", "\3"};
const NumberFormat indian{".", ",", "\3\2"};
const NumberFormat onceOnly{".", ",", std::string("\3") + static_cast<char>(CHAR_MAX)};
const NumberFormat repeatMarker{".", ",", std::string("\2\0", 2)};
const NumberFormat noGroups{".", ",", ""};

TEST(FormatNumber, RoundsGroupsAndSeparates)
{
    struct Case {
        const char* text;
        int fractionDigits;
        const NumberFormat* format;
        const char* expected;
    };
    const Case cases[] = {
        {"0", 0, &english, "0"},
        {"0", 2, &english, "0.00"},
        {"5", 2, &english, "5.00"},
        {"55", 1, &english, "55.0"},
        {"1.5", 2, &english, "1.50"},
        {"1.125", 2, &english, "1.13"},   // an exact half goes up
        {"1.124", 2, &english, "1.12"},
        {"99.9902", 1, &english, "100.0"}, // the carry reaches the integer part
        {"9.995", 2, &english, "10.00"},
        {"999999.5", 0, &english, "1,000,000"},
        {"1023", 2, &english, "1,023.00"},
        {"1024", 0, &english, "1,024"},
        {"123", 0, &english, "123"},
        {"1234567", 0, &english, "1,234,567"},
        {"18446744073709551615", 0, &english, "18,446,744,073,709,551,615"},
        {"18446744073709551615", 0, &german, "18.446.744.073.709.551.615"},
        {"1234567.891", 2, &german, "1.234.567,89"},
        {"1234567.5", 0, &french, "1\u202f234\u202f568"},
        {"12345.678", 1, &french, "12\u202f345,7"},
        {"12345678", 0, &indian, "1,23,45,678"},
        {"12345678", 0, &onceOnly, "12345,678"},
        {"1234567", 0, &repeatMarker, "1,23,45,67"},
        {"1234567", 0, &noGroups, "1234567"},
        {"1234567.25", 1, &cLocale, "1234567.3"},
        {"007", 0, &english, "7"},
        {"0.004", 2, &english, "0.00"},
        {"0.005", 2, &english, "0.01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " with " + std::to_string(c.fractionDigits) + " digits");
        EXPECT_EQ(formatNumber(c.text, c.fractionDigits, *c.format), c.expected);
    }
}

} // namespace
