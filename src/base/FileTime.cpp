#include "base/FileTime.h"

namespace {

// Days between 1601-01-01 and the given civil date (proleptic Gregorian calendar).
std::int64_t daysSince1601(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = year / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    // 584694 days lie between 0000-03-01 and 1601-01-01.
    return era * 146097 + dayOfEra - 584694;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

} // namespace

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

std::optional<FileTime> toFileTime(const CalendarTime& t)
{
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1
        || t.day > daysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0
        || t.minute > 59 || t.second < 0 || t.second > 59 || t.milliseconds < 0
        || t.milliseconds > 999)
        return std::nullopt;
    const auto days = static_cast<FileTime>(daysSince1601(t.year, t.month, t.day));
    const auto seconds = static_cast<FileTime>((t.hour * 60 + t.minute) * 60 + t.second);
    return days * fileTimeDay + seconds * fileTimeSecond
           + static_cast<FileTime>(t.milliseconds) * 10'000;
}

std::optional<CalendarTime> toCalendarTime(FileTime stamp)
{
    if (stamp >> 63)
        return std::nullopt;
    const auto days = static_cast<std::int64_t>(stamp / fileTimeDay);
    const FileTime ofDay = stamp % fileTimeDay;

    // Civil date from the day count (inverse of daysSince1601).
    const std::int64_t z = days + 584694;
    const std::int64_t era = z / 146097;
    const auto dayOfEra = static_cast<unsigned>(z - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    CalendarTime t;
    t.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yearOfEra + era * 400 + (t.month <= 2));
    t.dayOfWeek = static_cast<int>((days + 1) % 7); // 1601-01-01 was a Monday
    t.hour = static_cast<int>(ofDay / (3600 * fileTimeSecond));
    t.minute = static_cast<int>(ofDay / (60 * fileTimeSecond) % 60);
    t.second = static_cast<int>(ofDay / fileTimeSecond % 60);
    t.milliseconds = static_cast<int>(ofDay / 10'000 % 1000);
    return t;
}
