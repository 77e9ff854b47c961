#pragma once

#include <cstdint>
#include <optional>

// A point in time as a count of 100-nanosecond units since 1601-01-01 00:00 on the
// local wall clock. Stamps are never converted to or from UTC; they compare as
// unsigned numbers.
using FileTime = std::uint64_t;

constexpr FileTime fileTimeSecond = 10'000'000;
constexpr FileTime fileTimeDay = 86'400 * fileTimeSecond;

// Calendar fields of a point in time, as the local clock shows them.
struct CalendarTime {
    int year = 1601;
    int month = 1;        // 1 to 12
    int dayOfWeek = 1;    // 0 = Sunday; the user's date formats may name the day
    int day = 1;          // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// One reading of the clocks, taken once at the start of a run, so that every step of
// the run sees the same moment: the local wall clock, as fields and as a stamp (0 where
// it shows no valid date), and UTC in 100-nanosecond units since 1601-01-01 00:00 UTC.
struct ClockReading {
    CalendarTime local;
    FileTime localTime = 0;
    FileTime utc = 0;
};

// The days of a month of the proleptic Gregorian calendar; 0 for a month outside 1 to 12.
int daysInMonth(int year, int month);

// The stamp of the given fields, or nothing when they do not form a valid date and
// time from 1601 to 30827.
std::optional<FileTime> toFileTime(const CalendarTime& time);

// The calendar fields of a stamp, or nothing for a stamp with its top bit set.
std::optional<CalendarTime> toCalendarTime(FileTime stamp);

// 00:00 of the day the stamp lies on.
constexpr FileTime startOfDay(FileTime stamp) { return stamp - stamp % fileTimeDay; }
