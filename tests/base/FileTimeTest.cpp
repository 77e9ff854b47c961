#include "base/FileTime.h"

#include <gtest/gtest.h>

namespace {

CalendarTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int milliseconds = 0,
                int dayOfWeek = 0)
{
    return {year, month, dayOfWeek, day, hour, minute, second, milliseconds};
}

TEST(FileTime, ConvertsCalendarFieldsBothWays)
{
    struct Case {
        CalendarTime time;
        FileTime stamp;
    };
    const Case cases[] = {
        {at(1601, 1, 1, 0, 0, 0, 0, 1), 0},
        {at(1601, 1, 2, 0, 0, 0, 1, 2), fileTimeDay + 10'000},
        {at(1970, 1, 1, 0, 0, 0, 0, 4), 116'444'736'000'000'000},
        {at(2000, 2, 29, 23, 59, 59, 999, 2), 125'963'423'999'990'000},
        {at(2026, 12, 5, 0, 0, 0, 0, 6), 134'409'024'000'000'000},
        {at(9999, 12, 31, 23, 59, 59, 999, 5), 0x24C8'5A5E'D1C0'18F0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stamp);
        EXPECT_EQ(toFileTime(c.time), c.stamp);
        const auto back = toCalendarTime(c.stamp);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->year, c.time.year);
        EXPECT_EQ(back->month, c.time.month);
        EXPECT_EQ(back->day, c.time.day);
        EXPECT_EQ(back->dayOfWeek, c.time.dayOfWeek);
        EXPECT_EQ(back->hour, c.time.hour);
        EXPECT_EQ(back->minute, c.time.minute);
        EXPECT_EQ(back->second, c.time.second);
        EXPECT_EQ(back->milliseconds, c.time.milliseconds);
    }
    EXPECT_FALSE(toCalendarTime(0x8000'0000'0000'0000));
    const auto last = toFileTime(at(30827, 12, 31, 23, 59, 59, 999));
    ASSERT_TRUE(last);
    EXPECT_EQ(toCalendarTime(*last)->year, 30827);
}

TEST(FileTime, RefusesFieldsThatAreNoDate)
{
    const CalendarTime refused[] = {
        at(2006, 13, 1), at(2006, 0, 1),        at(2006, 2, 29),         at(1900, 2, 29),
        at(2006, 4, 31), at(1600, 12, 31),      at(2006, 1, 0),          at(2006, 1, 1, 24),
        at(2006, 1, 1, 0, 60), at(2006, 1, 1, 0, 0, 60), at(2006, 1, 1, 0, 0, 0, 1000), at(30828, 1, 1),
    };
    for (const CalendarTime& t : refused) {
        SCOPED_TRACE(testing::Message() << t.year << '-' << t.month << '-' << t.day << ' ' << t.hour << ':' << t.minute << ':' << t.second);
        EXPECT_FALSE(toFileTime(t));
    }
    EXPECT_TRUE(toFileTime(at(2000, 2, 29)));
}

} // namespace
