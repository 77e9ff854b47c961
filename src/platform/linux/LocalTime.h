#pragma once

#include "base/FileTime.h"

#include <ctime>

namespace platform {

inline CalendarTime calendarTime(const tm& local, int milliseconds)
{
    CalendarTime time;
    time.year = local.tm_year + 1900;
    time.month = local.tm_mon + 1;
    time.dayOfWeek = local.tm_wday;
    time.day = local.tm_mday;
    time.hour = local.tm_hour;
    time.minute = local.tm_min;
    time.second = local.tm_sec == 60 ? 59 : local.tm_sec; // a leap second stays in its minute
    time.milliseconds = milliseconds;
    return time;
}

} // namespace platform
