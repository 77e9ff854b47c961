#pragma once

#include "base/FileTime.h"

#include <cstdint>

struct TrafficDatabase;

// The period boundaries of one pattern: two local midnights, and the clock's reading,
// after which a record (left by a clock that was ahead) belongs to no period yet.
struct PeriodBoundaries {
    FileTime todayStart = 0;
    FileTime monthStart = 0;
    FileTime now = ~FileTime{0};
};

// Today's first midnight, and that of the most recent day monthStartDay (1 to 28) of a
// month, from one reading of the local clock. With 14, on 3 March the month began on
// 14 February: a billing cycle that starts on a day other than the first.
PeriodBoundaries periodBoundaries(const CalendarTime& now, int monthStartDay = 1);

// The adapter an index chooses: itself, or all adapters (-1) for a negative index or
// one that no record has.
int chosenAdapter(const TrafficDatabase& database, int adapterIndex);

// The bytes sent ('u'), received ('d') or both ('t') in the records that began from
// periodStart to periodEnd, for one adapter or all (a negative index, or one that no
// record has: see chosenAdapter). Sums wrap modulo 2^64.
std::uint64_t periodTotal(const TrafficDatabase& database, char identifier, FileTime periodStart,
                          int adapterIndex, FileTime periodEnd = ~FileTime{0});
