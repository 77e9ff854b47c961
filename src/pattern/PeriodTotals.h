#pragma once

#include "base/FileTime.h"

#include <cstdint>

struct TrafficDatabase;

// The two period boundaries of one pattern, both local midnights.
struct PeriodBoundaries {
    FileTime todayStart = 0;
    FileTime monthStart = 0;
};

// Today's and this month's first midnight, from one reading of the local clock.
PeriodBoundaries periodBoundaries(const CalendarTime& now);

// The bytes sent ('u'), received ('d') or both ('t') in the records that began at or
// after periodStart, for one adapter or all. Sums wrap modulo 2^64.
std::uint64_t periodTotal(const TrafficDatabase& database, char identifier, FileTime periodStart,
                          int adapterIndex);
