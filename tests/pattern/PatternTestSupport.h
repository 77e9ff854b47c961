#pragma once

#include "database/TrafficDatabase.h"
#include "pattern/PatternPrinter.h"

#include <gtest/gtest.h>

#include <sstream>

inline FileTime stamp(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    const auto time = toFileTime({year, month, 0, day, hour, minute, second, ms});
    EXPECT_TRUE(time.has_value());
    return time.value_or(0);
}

inline std::string printed(const TrafficDatabase& database, std::string_view pattern, const CalendarTime& now)
{
    std::ostringstream out;
    printPattern(database, pattern, now, out);
    return out.str();
}
