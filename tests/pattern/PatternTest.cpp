#include "database/TrafficDatabase.h"
#include "pattern/NumberRendering.h"
#include "pattern/PatternPrinter.h"
#include "pattern/PeriodTotals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>

#ifndef _WIN32
#include "../platform/Environment.h"
#endif

namespace {

FileTime stamp(int year, int month, int day) { return toFileTime({year, month, 0, day}).value(); }

// The pattern's output, which reaches the reader at each line break and nowhere else.
std::string printed(const TrafficDatabase& database, std::string_view pattern, const CalendarTime& now,
                    const ReadingRate& rate = {})
{
    struct CountingSink : TextSink {
        std::string text;
        int flushes = 0;
        void write(std::string_view more) override { text += more; }
        void flush() override { ++flushes; }
    } out;
    printPattern(database, pattern, now, out, 1, rate);
    EXPECT_EQ(out.flushes, std::count(out.text.begin(), out.text.end(), '\n')) << pattern;
    return out.text;
}

// Today begins at its midnight, up to the day's last instant. From the 28th to the 31st: a
// month with fewer days begins its cycle on its last day. tests/report checks the report's
// cycles on the same rows.
TEST(PeriodBoundaries, BeginAShortMonthsCycleOnItsLastDay)
{
    const std::pair<int, std::array<int, 4>> cases[] = { // today; the cycle's first day for start days 28 to 31
        {20270227, {20270128, 20270129, 20270130, 20270131}}, {20270228, {20270228, 20270228, 20270228, 20270228}},
        {20270330, {20270328, 20270329, 20270330, 20270228}}, {20280228, {20280228, 20280129, 20280130, 20280131}},
        {20280229, {20280228, 20280229, 20280229, 20280229}}, {20270429, {20270428, 20270429, 20270330, 20270331}},
        {20270430, {20270428, 20270429, 20270430, 20270430}}, {20270501, {20270428, 20270429, 20270430, 20270430}},
        {20271231, {20271228, 20271229, 20271230, 20271231}}, {20280101, {20271228, 20271229, 20271230, 20271231}},
    };
    const auto day = [](int date) { return stamp(date / 10000, date / 100 % 100, date % 100); };
    for (const auto& [today, starts] : cases)
        for (int startDay = 28; startDay <= 31; ++startDay) {
            const PeriodBoundaries periods = periodBoundaries(toCalendarTime(day(today) + fileTimeDay - 1).value(), startDay);
            EXPECT_EQ(std::pair(periods.todayStart, periods.monthStart), std::pair(day(today), day(starts[startDay - 28])))
                << today << " from " << startDay;
        }
}

// Counts from the merge may be negative or huge: each total is their sum modulo 2^64,
// printed as its exact unsigned number. Today's record, and one that begins after the clock:
// later today, it counts today; on a later day, in no period yet.
TEST(PeriodTotal, IsTheSumModulo2To64OfTheRecordsInThePeriod)
{
    const FileTime tomorrow = stamp(2026, 3, 16), tonight = tomorrow - 1;
    const std::tuple<AdapterCounters, AdapterCounters, FileTime, const char*, const char*> cases[] = {
        {{-1, 0}, {1, 0}, tomorrow, "%Du %Dku %Deu %u", "18446744073709551615 18014398509481983 16777215 0"},
        {{INT64_MAX, INT64_MAX}, {-1, 0}, tomorrow, "%t %Mt", "18446744073709551613 18446744073709551614"},
        {{1, 10}, {100, 1000}, tomorrow, "%Du %Mu %u %Dt", "1 1 101 11"},
        {{1, 10}, {100, 1000}, tonight, "%Du %Mu %u %Dt", "101 101 101 1111"},
    };
    const CalendarTime now{2026, 3, 0, 15, 12};
    for (const auto& [today, later, laterStart, pattern, expected] : cases) {
        TrafficDatabase database;
        database.appendRecord(stamp(2026, 3, 15), {today});
        database.appendRecord(laterStart, {later});
        EXPECT_EQ(printed(database, pattern, now), expected) << pattern << " of " << today.sent;
    }
}

#ifndef _WIN32
// Runs each test under one of the user locales; expected texts come per locale.
class PatternUnderLocale : public testing::TestWithParam<const char*> {
protected:
    // The German text where it differs from the English one.
    const char* pick(const char* english, const char* german) const { return german && GetParam()[0] == 'd' ? german : english; }

    const EnvironmentVariable locale{"LC_ALL", GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Locales, PatternUnderLocale, testing::Values("en_US.UTF-8", "de_DE.UTF-8"),
                         [](const auto& info) { return std::string(info.param).substr(0, 5); });

TEST_P(PatternUnderLocale, ReplacesConversions)
{
    // All data:   up 3000005421, down 6000010842
    // This month: up 3000005420, down 6000010840
    // Today:      up 3000005400, down 6000010800
    // Adapter 0:  up 3000000021; adapter 1: up 400; adapter 2: up and down 15000
    // The reading, 2.5 s after the one before: up 3001001 (1200400.4/s; a count the merge
    // lowered adds nothing), down 2626690, adapter 1 down 250 (100/s).
    const ReadingRate rate{25 * fileTimeSecond / 10, {{3000001, 5000}, {1000, 250}, {-7, 2621440}}};
    TrafficDatabase database;
    database.appendRecord(stamp(2026, 2, 28) + 23 * 3600 * fileTimeSecond, {{1, 2}});
    database.appendRecord(stamp(2026, 3, 1), {{20, 40}});
    database.appendRecord(stamp(2026, 3, 15), {{3000000000, 6000000000}, {400, 800}, {5000, 10000}});
    const std::tuple<const char*, const char*, const char*> cases[] = { // pattern, English, German where it differs
        {"plain text, \xc3\xa4 \xe2\x82\xac, 100%% and a lone %", "plain text, \xc3\xa4 \xe2\x82\xac, 100% and a lone ", nullptr},
        {"%%u %%b %b%u %bu", "%u %b \n3000005421 \nu", nullptr},
        {"%ud %tu %xdu %\xc3\xa4u %k KB %u", "3000005421d 9000016263u 6000010842u 3000005421 2929692", nullptr},
        {"%sku up %skd down, %Dsu", "2,929,692 up 5,859,385 down, 3,000,005,400", "2.929.692 up 5.859.385 down, 3.000.005.400"},
        {"%Dd %Md %d", "6000010800 6000010840 6000010842", nullptr},
        {"%DMu %MDu %kmu %mku %gt", "3000005420 3000005400 2861 2929692 8", nullptr},
        {"%n0u %n1u %n12u %n2t %n/u %n\xffu %n:u", "3000000021 400 400 15000 3000005421 3000005421 3000005421", nullptr},
        {"%nu%d", "6000010842", nullptr}, // the 'u' is the adapter byte
        {"%au %ad %at %sau %ab%u", "2.79G 5.59G 8.38G 2.79G 2.79G", "2,79G 5,59G 8,38G 2,79G 2,79G"},
        {"%ru %rd %rt %rkd %rn1d %Dru %rMd %rn9u", "1200400 1050676 2251076 1026 100 1200400 1050676 1200400", nullptr},
        {"%rau/s %rsu %rmt", "1.14M/s 1,200,400 2", "1,14M/s 1.200.400 2"},
        // Conversions cut off by the end of the pattern.
        {"x%Dk", "x", nullptr},
        {"%ask", "0.00", "0,00"},
    };
    for (const auto& [pattern, english, german] : cases)
        EXPECT_EQ(printed(database, pattern, {2026, 3, 0, 15, 14, 30}, rate), pick(english, german)) << pattern;
    // Less than a millisecond measures nothing.
    EXPECT_EQ(printed(database, "%ru", {2026, 3, 0, 15}, {9999, {{1, 0}}}), "0");
    EXPECT_EQ(printed(database, "%ru", {2026, 3, 0, 15}, {10000, {{1, 0}}}), "1000");
}

TEST_P(PatternUnderLocale, RendersNumbers)
{
    constexpr std::uint64_t terabyte = std::uint64_t{1} << 40;
    const std::tuple<std::uint64_t, std::uint64_t, const char*, const char*> cases[] = { // total, divisor (0: automatic)
        {55, 0, "55.0", "55,0"},
        {1023, 0, "1,023", "1.023"},
        {1024, 0, "1.00K", "1,00K"},
        {1152, 0, "1.13K", "1,13K"},     // 1.125 goes up
        {10239, 0, "10.00K", "10,00K"},  // 9.99902: two decimals, chosen before rounding
        {102390, 0, "100.0K", "100,0K"}, // 99.9902: one decimal
        {10 * 1048576, 0, "10.0M", "10,0M"},
        {107374182399, 0, "100G", nullptr}, // single precision rounds 99.999999999 to 100
        {999999 * terabyte + terabyte / 2, 0, "1,000,000T", "1.000.000T"}, // written whole, without an exponent
        {UINT64_MAX, 0, "16,777,216T", "16.777.216T"},
        {UINT64_MAX, 1, "18,446,744,073,709,551,615", "18.446.744.073.709.551.615"}, // other divisors: ReplacesConversions
    };
    for (const auto& [total, divisor, english, german] : cases)
        EXPECT_EQ(divisor == 0 ? renderAutomatic(total) : renderGrouped(total, divisor), pick(english, german)) << total;
}
#endif

} // namespace
