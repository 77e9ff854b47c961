// Prints arbitrary patterns over a database whose counts reach the extremes.
#include "database/TrafficDatabase.h"
#include "pattern/PatternPrinter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const TrafficDatabase database = [] {
        const FileTime today = *toFileTime({.year = 2026, .month = 12, .day = 6});
        TrafficDatabase db;
        db.appendRecord(today - 40 * fileTimeDay, {{1, 2}, {INT64_MAX, -1}});
        db.appendRecord(today - fileTimeDay, {{1536, 1048575}, {-5, 7}, {0, 1}});
        db.appendRecord(today, {{INT64_MIN, 1023}});
        db.appendRecord(today + 3600 * fileTimeSecond);
        return db;
    }();
    const CalendarTime now{.year = 2026, .month = 12, .day = 6, .hour = 12};
    TextBuffer out;
    printPattern(database, {reinterpret_cast<const char*>(data), size}, now, out);
    return 0;
}
