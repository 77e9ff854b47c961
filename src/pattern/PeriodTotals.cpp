#include "pattern/PeriodTotals.h"

#include "database/TrafficDatabase.h"

#include <algorithm>

namespace {

// The bytes one record counted for one adapter (0 where the record has no entry for
// it), or for all adapters when the index is negative; what counts is 'u' sent, 'd'
// received, or both.
std::uint64_t recordTotal(const TrafficDatabase& database, const TrafficRecord& record, char identifier,
                          int adapterIndex)
{
    auto count = [&](std::size_t adapter) {
        const AdapterCounters counts = database.counts(record, adapter);
        const auto sent = static_cast<std::uint64_t>(counts.sent);
        const auto received = static_cast<std::uint64_t>(counts.received);
        return identifier == 'u' ? sent : identifier == 'd' ? received : sent + received;
    };
    if (adapterIndex >= 0)
        return count(static_cast<std::size_t>(adapterIndex));
    std::uint64_t sum = 0;
    for (std::size_t adapter = 0; adapter < record.entryCount; ++adapter)
        sum += count(adapter);
    return sum;
}

} // namespace

PeriodBoundaries periodBoundaries(const CalendarTime& now, int monthStartDay)
{
    CalendarTime midnight = now;
    midnight.hour = 0;
    midnight.minute = 0;
    midnight.second = 0;
    midnight.milliseconds = 0;
    // A month shorter than the start day begins its cycle on its last day: so the day
    // to compare with is this month's own start, 28 in a common February for 31.
    CalendarTime monthStart = midnight;
    monthStart.day = std::min(monthStartDay, daysInMonth(now.year, now.month));
    if (now.day < monthStart.day) { // the month began in the previous calendar month
        monthStart.year -= monthStart.month == 1;
        monthStart.month = monthStart.month == 1 ? 12 : monthStart.month - 1;
        monthStart.day = std::min(monthStartDay, daysInMonth(monthStart.year, monthStart.month));
    }
    // A clock reading outside the calendar leaves the boundaries at 0, which admits
    // every record rather than dropping all of them.
    const std::optional<FileTime> todayStart = toFileTime(midnight);
    return {todayStart.value_or(0), toFileTime(monthStart).value_or(0),
            todayStart ? *todayStart + fileTimeDay - 1 : ~FileTime{0}};
}

int chosenAdapter(const TrafficDatabase& database, int adapterIndex)
{
    const bool known = std::any_of(database.records.begin(), database.records.end(), [&](const TrafficRecord& record) {
        return static_cast<std::size_t>(adapterIndex) < record.entryCount;
    });
    return adapterIndex >= 0 && known ? adapterIndex : -1;
}

std::uint64_t periodTotal(const TrafficDatabase& database, char identifier, FileTime periodStart,
                          int adapterIndex, FileTime periodEnd)
{
    adapterIndex = chosenAdapter(database, adapterIndex);
    std::uint64_t total = 0;
    for (const TrafficRecord& record : database.records)
        if (record.intervalStart >= periodStart && record.intervalStart <= periodEnd)
            total += recordTotal(database, record, identifier, adapterIndex);
    return total;
}
