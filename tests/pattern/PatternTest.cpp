#include "../platform/LocaleEnvironment.h"
#include "PatternTestSupport.h"
#include "pattern/NumberRendering.h"

#include <cstdint>
#include <sstream>
#include <utility>

namespace {

// Runs each test under one of the user locales; expected texts come per locale.
struct UserLocale {
    const char* name;
    std::size_t column;
};

void PrintTo(const UserLocale& locale, std::ostream* out) { *out << locale.name; }

class PatternUnderLocale : public testing::TestWithParam<UserLocale> {
protected:
    // The German text where it differs from the English one.
    const char* pick(const char* english, const char* german) const { return GetParam().column == 1 && german ? german : english; }

    LocaleEnvironment environment{GetParam().name};
};

INSTANTIATE_TEST_SUITE_P(Locales, PatternUnderLocale,
                         testing::Values(UserLocale{"en_US.UTF-8", 0}, UserLocale{"de_DE.UTF-8", 1}),
                         [](const auto& info) { return std::string(info.param.name).substr(0, 5); });

const CalendarTime now{2026, 3, 0, 15, 14, 30, 0, 0};

// All data:   up 3000005421, down 6000010842
// This month: up 3000005420, down 6000010840
// Today:      up 3000005400, down 6000010800
// Adapter 0:  up 3000000021; adapter 1: up 400; adapter 2: up and down 15000 (a record
//             without the adapter adds nothing)
TrafficDatabase sampleDatabase()
{
    TrafficDatabase database;
    database.appendRecord(stamp(2026, 2, 28, 23), {{1, 2}});
    database.appendRecord(stamp(2026, 3, 1), {{20, 40}});
    database.appendRecord(stamp(2026, 3, 15), {{3000000000, 6000000000}, {400, 800}, {5000, 10000}});
    return database;
}

TEST_P(PatternUnderLocale, ReplacesConversions)
{
    struct Case {
        const char* pattern;
        const char* english;
        const char* german = nullptr;
    };
    const Case cases[] = {
        {"plain text, no conversions", "plain text, no conversions"}, {"100%%", "100%"}, {"lone %", "lone "},
        {"%%u %%%u", "%u %3000005421"}, {"%b%u %bu", "\n3000005421 \nu"},
        {"%ud %tu %xdu", "3000005421d 9000016263u 6000010842u"}, {"%xu", "3000005421"},
        {"\xc3\xa4 %u \xe2\x82\xac", "\xc3\xa4 3000005421 \xe2\x82\xac"}, {"%\xc3\xa4u", "3000005421"},
        {"%k KB %u", "2929692"}, {"%Down: %d", "6000010800"}, {"%kDown: %d", "5859385"},
        {"%n2t bytes traffic on adapter 2, %gt GB total", "15000 bytes traffic on adapter 2, 8 GB total"},
        {"%Mmu MB upload this month (%Dmu MB today)", "2861 MB upload this month (2861 MB today)"},
        {"%sku up %skd down", "2,929,692 up 5,859,385 down", "2.929.692 up 5.859.385 down"},
        {"%Met TB traffic", "0 TB traffic"}, {"%Dd %Md %d", "6000010800 6000010840 6000010842"},
        {"%DMu %MDu", "3000005420 3000005400"}, {"%kmu %mku", "2861 2929692"},
        {"%n0u %n1u %n12u", "3000000021 400 400"}, {"%n/u %n\xffu %n:u", "3000005421 3000005421 3000005421"},
        {"%nu%d", "6000010842"}, // the 'u' is the adapter byte
        {"%st %Dsu", "9,000,016,263 3,000,005,400", "9.000.016.263 3.000.005.400"},
        {"%au %ad %at", "2.79G 5.59G 8.38G", "2,79G 5,59G 8,38G"}, {"%sau %ab%u", "2.79G 2.79G", "2,79G 2,79G"},
        // Conversions cut off by the end of the pattern.
        {"x%Dk", "x"}, {"%nu", ""}, {"%n", ""},
        {"%a", "0.00", "0,00"}, {"%ask", "0.00", "0,00"}, {"%sk", "0"}, {"%sn", "0"},
    };
    const TrafficDatabase database = sampleDatabase();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(printed(database, c.pattern, now), pick(c.english, c.german));
    }
}

TEST_P(PatternUnderLocale, RendersNumbers)
{
    constexpr std::uint64_t terabyte = std::uint64_t{1} << 40;
    struct Case {
        std::uint64_t total;
        std::uint64_t divisor; // 0: automatic
        const char* english;
        const char* german = nullptr;
    };
    const Case cases[] = {
        {0, 0, "0.00", "0,00"}, {5, 0, "5.00", "5,00"}, {55, 0, "55.0", "55,0"}, {555, 0, "555"},
        {1023, 0, "1,023", "1.023"}, {1024, 0, "1.00K", "1,00K"},
        {1152, 0, "1.13K", "1,13K"},     // 1.125 goes up
        {1536, 0, "1.50K", "1,50K"},
        {10239, 0, "10.00K", "10,00K"},  // 9.99902: two decimals, chosen before rounding
        {102390, 0, "100.0K", "100,0K"}, // 99.9902: one decimal
        {1048575, 0, "1,024K", "1.024K"}, {10 * 1048576, 0, "10.0M", "10,0M"},
        {107374182399, 0, "100G"}, // single precision rounds 99.999999999 to 100
        {terabyte + terabyte / 2, 0, "1.50T", "1,50T"}, {999999 * terabyte + terabyte / 4, 0, "999,999T", "999.999T"},
        {999999 * terabyte + terabyte / 2, 0, "1,000,000T", "1.000.000T"},
        {1000000 * terabyte + terabyte / 2, 0, "1,000,001T", "1.000.001T"},
        {std::uint64_t{1} << 63, 0, "8,388,608T", "8.388.608T"}, {UINT64_MAX, 0, "16,777,216T", "16.777.216T"},
        {1234567, 1, "1,234,567", "1.234.567"}, {999, 1, "999"}, {0, 1, "0"},
        {UINT64_MAX, 1, "18,446,744,073,709,551,615", "18.446.744.073.709.551.615"},
        {UINT64_MAX - 1, 1, "18,446,744,073,709,551,614", "18.446.744.073.709.551.614"},
        {UINT64_MAX, 1024, "18,014,398,509,481,983", "18.014.398.509.481.983"}, {1048575, 1024, "1,023", "1.023"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.total) + " by " + std::to_string(c.divisor));
        const std::string text = c.divisor == 0 ? renderAutomatic(c.total) : renderGrouped(c.total, c.divisor);
        EXPECT_EQ(text, pick(c.english, c.german));
    }
}

TEST(Pattern, FlushesAtEachLineBreakOnly)
{
    struct CountingBuffer : std::stringbuf {
        int flushes = 0;
        int sync() override { return ++flushes, std::stringbuf::sync(); }
    };
    const std::pair<const char*, int> cases[] = {{"%b", 1}, {"a%bb%b", 2}, {"%ab%u", 0}, {"%%b", 0}, {"%u %d", 0}};
    for (const auto& [pattern, flushes] : cases) {
        SCOPED_TRACE(pattern);
        CountingBuffer buffer;
        std::ostream out(&buffer);
        printPattern(sampleDatabase(), pattern, now, out);
        EXPECT_EQ(buffer.flushes, flushes);
    }
}

} // namespace
