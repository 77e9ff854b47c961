#pragma once

#include "database/TrafficDatabase.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>

// The local-clock stamp of a calendar moment; the test fails on an invalid one.
inline FileTime stamp(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int milliseconds = 0)
{
    const auto time = toFileTime({year, month, 0, day, hour, minute, second, milliseconds});
    EXPECT_TRUE(time.has_value());
    return time.value_or(0);
}

inline TrafficRecord record(FileTime intervalStart, std::vector<AdapterCounters> adapters)
{
    TrafficRecord result;
    result.intervalStart = intervalStart;
    result.adapters = std::move(adapters);
    return result;
}

// What printPattern writes for the pattern at the given moment.
inline std::string printed(const TrafficDatabase& database, std::string_view pattern, const CalendarTime& now)
{
    std::ostringstream out;
    database.printPattern(pattern, now, out);
    return out.str();
}
