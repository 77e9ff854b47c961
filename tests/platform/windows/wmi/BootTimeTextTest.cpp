#include "platform/windows/wmi/BootTimeText.h"

#include <gtest/gtest.h>

#include "base/Failures.h"
#include <string>

namespace {

struct BootTimeCase {
    const char* text;
    int year, month, day, hour, minute, second, milliseconds;
    bool validDate;
};

TEST(BootTimeText, FieldsFollowTheirFixedPositions)
{
    const BootTimeCase cases[] = {
        {"20060301081500.000000+060", 2006, 3, 1, 8, 15, 0, 0, true},
        // The offset from UTC is ignored: the digits are local wall-clock time.
        {"20060301081500.000000-300", 2006, 3, 1, 8, 15, 0, 0, true},
        {"20261205235959.999999+000", 2026, 12, 5, 23, 59, 59, 999, true},
        {"20060301081500.000500+060", 2006, 3, 1, 8, 15, 0, 0, true},
        {"20060301081500.001999+060", 2006, 3, 1, 8, 15, 0, 1, true},
        // Exactly 15 characters: no microsecond digits.
        {"20060301081500.", 2006, 3, 1, 8, 15, 0, 0, true},
        // A month of 13 reads, but forms no date.
        {"20061301081500.000000+060", 2006, 13, 1, 8, 15, 0, 0, false},
        {"20060229120000.000000+060", 2006, 2, 29, 12, 0, 0, 0, false},
        // Each field reads as atoi: blanks, a sign, digits up to another character.
        {" 7  0301081500.000000+060", 7, 3, 1, 8, 15, 0, 0, false},
        {"2006+3-1081500.000000+060", 2006, 3, -1, 8, 15, 0, 0, false},
        {"2006030108 5x0.12x456+060", 2006, 3, 1, 8, 5, 0, 0, true},
        {"****************", 0, 0, 0, 0, 0, 0, 0, false},
        {"20060301081500.-99999+060", 2006, 3, 1, 8, 15, 0, -99, false},
    };
    for (const BootTimeCase& c : cases) {
        SCOPED_TRACE(c.text);
        const CalendarTime t = parseBootTimeText(c.text);
        EXPECT_EQ(t.year, c.year);
        EXPECT_EQ(t.month, c.month);
        EXPECT_EQ(t.day, c.day);
        EXPECT_EQ(t.hour, c.hour);
        EXPECT_EQ(t.minute, c.minute);
        EXPECT_EQ(t.second, c.second);
        EXPECT_EQ(t.milliseconds, c.milliseconds);
        EXPECT_EQ(toFileTime(t).has_value(), c.validDate);
    }
}

TEST(BootTimeText, ShorterThanFifteenCharactersFails)
{
    for (const std::string text : {"", "2006", "20060301081500"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(parseBootTimeText(text), UnknownFailure);
    }
}

TEST(BootTimeText, GivesTheStampOfTheLocalDigits)
{
    CalendarTime expected;
    expected.year = 2006;
    expected.month = 3;
    expected.day = 1;
    expected.hour = 8;
    expected.minute = 15;
    expected.milliseconds = 123;
    EXPECT_EQ(toFileTime(parseBootTimeText("20060301081500.123456+060")), toFileTime(expected));
}

} // namespace
