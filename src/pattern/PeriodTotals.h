#pragma once

#include "base/FileTime.h"

#include <cstdint>

struct TrafficDatabase;

// The period boundaries of one pattern: two local midnights, and the end of today. A
// record dated later today (left by a clock that was ahead, or in an hour that a clock
// change repeats) counts today; one dated on a later day belongs to no period yet.
struct PeriodBoundaries {
    FileTime todayStart = 0;
    FileTime monthStart = 0;
    FileTime todayEnd = ~FileTime{0};
};

// Today's first midnight, and that of the most recent day monthStartDay (1 to 31) of a
// month, from one reading of the local clock. With 14, on 3 March the month began on
// 14 February: a billing cycle that starts on a day other than the first. A month with
// fewer days begins its cycle on its last day: with 31, on 28 February (29 in a leap
// year), 30 April, 31 May.
PeriodBoundaries periodBoundaries(const CalendarTime& now, int monthStartDay = 1);

// The adapter an index chooses: itself, or all adapters (-1) for a negative index or
// one that no record has.
int chosenAdapter(const TrafficDatabase& database, int adapterIndex);

// The bytes sent ('u'), received ('d') or both ('t') in the records that began from
// periodStart to periodEnd, for one adapter or all (a negative index, or one that no
// record has: see chosenAdapter). Sums wrap modulo 2^64.
std::uint64_t periodTotal(const TrafficDatabase& database, char identifier, FileTime periodStart,
                          int adapterIndex, FileTime periodEnd = ~FileTime{0});
