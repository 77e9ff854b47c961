#include "base/FileTime.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

auto fields(const CalendarTime& t) { return std::tuple(t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds); }

TEST(FileTime, ConvertsCalendarFieldsBothWaysAndRefusesFieldsThatAreNoDate)
{
    const std::pair<CalendarTime, FileTime> cases[] = { // year, month, day of the week, day, h, min, s, ms; the stamp
        {{1601, 1, 1, 1}, 0},
        {{1970, 1, 4, 1}, 116'444'736'000'000'000},
        {{2000, 2, 2, 29, 23, 59, 59, 999}, 125'963'423'999'990'000},
    };
    for (const auto& [time, stamp] : cases) {
        EXPECT_EQ(toFileTime(time), stamp);
        EXPECT_EQ(fields(toCalendarTime(stamp).value()), fields(time)) << stamp;
    }
    EXPECT_FALSE(toCalendarTime(0x8000'0000'0000'0000));
    EXPECT_EQ(toCalendarTime(toFileTime({30827, 12, 0, 31, 23, 59, 59, 999}).value())->year, 30827);
    for (const CalendarTime& refused : {CalendarTime{2006, 13, 0, 1}, {2006, 2, 0, 29}, {1900, 2, 0, 29}, {2006, 4, 0, 31},
                                        {1600, 12, 0, 31}, {30828, 1, 0, 1}, {2006, 1, 0, 1, 24}, {2006, 1, 0, 1, 0, 0, 0, 1000}})
        EXPECT_FALSE(toFileTime(refused)) << testing::PrintToString(fields(refused));
}

} // namespace
