#pragma once

#include "base/FileTime.h"

#include <windows.h>

namespace platform {

inline SYSTEMTIME systemTime(const CalendarTime& time)
{
    SYSTEMTIME fields{};
    fields.wYear = static_cast<WORD>(time.year);
    fields.wMonth = static_cast<WORD>(time.month);
    fields.wDayOfWeek = static_cast<WORD>(time.dayOfWeek);
    fields.wDay = static_cast<WORD>(time.day);
    fields.wHour = static_cast<WORD>(time.hour);
    fields.wMinute = static_cast<WORD>(time.minute);
    fields.wSecond = static_cast<WORD>(time.second);
    fields.wMilliseconds = static_cast<WORD>(time.milliseconds);
    return fields;
}

inline CalendarTime calendarTime(const SYSTEMTIME& fields)
{
    CalendarTime time;
    time.year = fields.wYear;
    time.month = fields.wMonth;
    time.dayOfWeek = fields.wDayOfWeek;
    time.day = fields.wDay;
    time.hour = fields.wHour;
    time.minute = fields.wMinute;
    time.second = fields.wSecond;
    time.milliseconds = fields.wMilliseconds;
    return time;
}

} // namespace platform
