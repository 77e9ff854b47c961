#include "PatternTestSupport.h"
#include "pattern/PeriodTotals.h"

#include <limits>
#include <tuple>

namespace {

TEST(PeriodBoundaries, AreTodaysAndTheMonthsFirstMidnight)
{
    // now, today's start, the month's start, the day months begin on
    const std::tuple<CalendarTime, FileTime, FileTime, int> cases[] = {
        {{2026, 3, 0, 15, 14, 30, 10, 500}, stamp(2026, 3, 15), stamp(2026, 3, 1), 1},
        {{2026, 3, 0, 1, 0, 0, 0, 0}, stamp(2026, 3, 1), stamp(2026, 3, 1), 1},
        {{2024, 2, 4, 29, 23, 59, 59, 999}, stamp(2024, 2, 29), stamp(2024, 2, 1), 1},
        {{2027, 1, 5, 1, 0, 0, 0, 1}, stamp(2027, 1, 1), stamp(2027, 1, 1), 1},
        {{2026, 3, 0, 3, 9, 0, 0, 0}, stamp(2026, 3, 3), stamp(2026, 2, 14), 14},
        {{2026, 3, 0, 14, 0, 0, 0, 0}, stamp(2026, 3, 14), stamp(2026, 3, 14), 14},
        {{2027, 1, 5, 13, 23, 59, 59, 999}, stamp(2027, 1, 13), stamp(2026, 12, 14), 14},
        {{2024, 3, 5, 27, 12, 0, 0, 0}, stamp(2024, 3, 27), stamp(2024, 2, 28), 28},
    };
    for (const auto& [now, todayStart, monthStart, monthStartDay] : cases) {
        SCOPED_TRACE(std::to_string(todayStart) + ", months from day " + std::to_string(monthStartDay));
        const PeriodBoundaries periods = periodBoundaries(now, monthStartDay);
        EXPECT_EQ(periods.todayStart, todayStart);
        EXPECT_EQ(periods.monthStart, monthStart);
    }
}

TEST(PeriodTotal, CountsWholeRecordsFromThePeriodStartOn)
{
    TrafficDatabase database;
    database.appendRecord(stamp(2025, 3, 1), {{1'000'000, 2'000'000}}); // older than the cut-off below
    database.appendRecord(stamp(2026, 2, 28, 23, 59, 59, 999), {{1, 2}});
    database.appendRecord(stamp(2026, 3, 1), {{10, 20}}); // exactly at the month's start
    database.appendRecord(stamp(2026, 3, 14, 23, 59, 59, 999), {{100, 200}});
    database.appendRecord(stamp(2026, 3, 15), {{1000, 2000}}); // exactly at today's start
    database.appendRecord(stamp(2026, 3, 15, 9), {{10000, 20000}});
    database.indexRecords(stamp(2025, 3, 15));
    ASSERT_EQ(database.agedRecords.size(), 1u);
    const PeriodBoundaries periods = periodBoundaries({2026, 3, 0, 15, 18, 0, 0, 0});
    const std::tuple<char, FileTime, std::uint64_t> cases[] = { // identifier, period start, total
        {'u', 0, 11111}, {'d', 0, 22222}, {'t', 0, 33333}, {'u', periods.monthStart, 11110}, {'d', periods.monthStart, 22220},
        {'u', periods.todayStart, 11000}, {'t', periods.todayStart, 33000}, {'u', periods.todayStart + 1, 10000},
        {'u', stamp(2026, 3, 16), 0},
    };
    for (const auto& [identifier, periodStart, expected] : cases) {
        SCOPED_TRACE(std::string(1, identifier) + " from " + std::to_string(periodStart));
        EXPECT_EQ(periodTotal(database, identifier, periodStart, -1), expected);
    }
}

// Counts from the merge may be negative or huge: t is u plus d, whatever wraps, for
// every period and adapter choice, and each prints as its exact unsigned number.
TEST(PeriodTotal, TotalIsUploadPlusDownloadModulo2To64)
{
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    TrafficDatabase database;
    database.appendRecord(stamp(2026, 2, 27), {{max, max}, {-5, 7}});
    database.appendRecord(stamp(2026, 3, 1), {{max, -1}, {3, max}, {-max, 1}});
    database.appendRecord(stamp(2026, 3, 15), {{-1, -1}, {max, 2}});
    database.appendRecord(stamp(2026, 3, 15, 6), {{123456789, -987654321}});
    const CalendarTime now{2026, 3, 0, 15, 12, 0, 0, 0};
    for (const char* period : {"", "D", "M"}) {
        for (const char* adapter : {"", "n0", "n1", "n2", "n3", "n/"}) {
            const std::string conversion = std::string("%") + period + adapter;
            SCOPED_TRACE(conversion);
            const std::uint64_t up = std::stoull(printed(database, conversion + "u", now));
            const std::uint64_t down = std::stoull(printed(database, conversion + "d", now));
            EXPECT_EQ(std::stoull(printed(database, conversion + "t", now)), up + down);
        }
    }
    const std::tuple<std::int64_t, std::int64_t, const char*, const char*> cases[] = { // two counts, pattern, output
        {-1, 0, "%u", "18446744073709551615"}, {-2, 0, "%u", "18446744073709551614"}, {-1024, 0, "%ku", "18014398509481983"},
        {-1, 0, "%eu", "16777215"}, {std::numeric_limits<std::int64_t>::min(), 0, "%u", "9223372036854775808"},
        {9007199254740993, 0, "%u", "9007199254740993"}, // one past what a double holds
        {-1, 1, "%u", "0"}, {-2, 1, "%u", "18446744073709551615"},
    };
    for (const auto& [first, second, pattern, expected] : cases) {
        SCOPED_TRACE(std::string(pattern) + " of " + std::to_string(first));
        TrafficDatabase counts;
        counts.appendRecord(stamp(2026, 3, 1), {{first, 0}});
        counts.appendRecord(stamp(2026, 3, 2), {{second, 0}});
        EXPECT_EQ(printed(counts, pattern, now), expected);
    }
}

} // namespace
