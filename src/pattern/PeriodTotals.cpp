#include "pattern/PeriodTotals.h"

#include "database/TrafficDatabase.h"

PeriodBoundaries periodBoundaries(const CalendarTime& now)
{
    CalendarTime midnight = now;
    midnight.hour = 0;
    midnight.minute = 0;
    midnight.second = 0;
    midnight.milliseconds = 0;
    CalendarTime firstOfMonth = midnight;
    firstOfMonth.day = 1;
    // A clock reading outside the calendar leaves the boundaries at 0, which admits
    // every record rather than dropping all of them.
    return {toFileTime(midnight).value_or(0), toFileTime(firstOfMonth).value_or(0)};
}

std::uint64_t periodTotal(const TrafficDatabase& database, char identifier, FileTime periodStart,
                          int adapterIndex)
{
    std::uint64_t total = 0;
    for (const TrafficRecord& record : database.records) {
        if (record.intervalStart < periodStart)
            continue;
        switch (identifier) {
        case 'u': total += record.sentBytes(adapterIndex); break;
        case 'd': total += record.receivedBytes(adapterIndex); break;
        default: total += record.totalBytes(adapterIndex); break;
        }
    }
    return total;
}
