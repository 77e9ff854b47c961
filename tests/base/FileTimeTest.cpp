#include "base/FileTime.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

CalendarTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int milliseconds = 0,
                int dayOfWeek = 0)
{
    return {year, month, dayOfWeek, day, hour, minute, second, milliseconds};
}

auto fields(const CalendarTime& t) { return std::tuple(t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds); }

TEST(FileTime, ConvertsCalendarFieldsBothWays)
{
    const std::pair<CalendarTime, FileTime> cases[] = {
        {at(1601, 1, 1, 0, 0, 0, 0, 1), 0},
        {at(1601, 1, 2, 0, 0, 0, 1, 2), fileTimeDay + 10'000},
        {at(1970, 1, 1, 0, 0, 0, 0, 4), 116'444'736'000'000'000},
        {at(2000, 2, 29, 23, 59, 59, 999, 2), 125'963'423'999'990'000},
        {at(2026, 12, 5, 0, 0, 0, 0, 6), 134'409'024'000'000'000},
        {at(9999, 12, 31, 23, 59, 59, 999, 5), 0x24C8'5A5E'D1C0'18F0},
    };
    for (const auto& [time, stamp] : cases) {
        SCOPED_TRACE(stamp);
        EXPECT_EQ(toFileTime(time), stamp);
        ASSERT_TRUE(toCalendarTime(stamp));
        EXPECT_EQ(fields(*toCalendarTime(stamp)), fields(time));
    }
    EXPECT_FALSE(toCalendarTime(0x8000'0000'0000'0000));
    EXPECT_EQ(toCalendarTime(toFileTime(at(30827, 12, 31, 23, 59, 59, 999)).value())->year, 30827);
}

TEST(FileTime, RefusesFieldsThatAreNoDate)
{
    const CalendarTime refused[] = {
        at(2006, 13, 1), at(2006, 0, 1),        at(2006, 2, 29),         at(1900, 2, 29),
        at(2006, 4, 31), at(1600, 12, 31),      at(2006, 1, 0),          at(2006, 1, 1, 24),
        at(2006, 1, 1, 0, 60), at(2006, 1, 1, 0, 0, 60), at(2006, 1, 1, 0, 0, 0, 1000), at(30828, 1, 1),
    };
    for (const CalendarTime& t : refused) {
        SCOPED_TRACE(testing::PrintToString(fields(t)));
        EXPECT_FALSE(toFileTime(t));
    }
    EXPECT_TRUE(toFileTime(at(2000, 2, 29)));
}

} // namespace
