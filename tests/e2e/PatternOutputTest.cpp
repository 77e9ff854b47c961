#include "DatabaseFile.h"
#include "Harness.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

constexpr std::int64_t KiB = 1024, MiB = KiB * KiB, GiB = MiB * KiB, TiB = GiB * KiB;

// The help page's examples, printed by the real program under real locales from a stored
// database: last month, the first of this month, a boot yesterday (whose record lacks
// adapter 2), and today, for three adapters.
TEST(PatternOutput, HelpExamplesPrintTheStoredTotals)
{
    const std::vector<StoredRecord> records = {
        {fileTime(wallClock(2030, 11, 20)), {{10 * GiB, 20 * GiB}, {1 * MiB, 2 * MiB}, {5 * GiB, 6 * GiB}}},
        {fileTime(wallClock(2030, 12, 1)), {{1 * GiB, 3 * GiB}, {100 * MiB, 200 * MiB}, {2 * TiB, 1 * GiB}}},
        {fileTime(wallClock(2030, 12, 14, 8, 0, 7)), {{512 * MiB, 1 * GiB}, {3 * MiB, 5 * MiB}}},
        {fileTime(wallClock(2030, 12, 15)), {{300 * MiB, 700 * MiB}, {1 * MiB, 1 * MiB}, {10 * MiB, 20 * MiB}}},
    };
    struct Case {
        const char* pattern;
        const char* english;
        const char* german = nullptr; // where it differs
    };
    const Case cases[] = {
        {"%sku up %skd down", "2,165,210,112 up 33,456,128 down", "2.165.210.112 up 33.456.128 down"},
        {"%n2t bytes traffic on adapter 2, %gt GB total", "2211939614720 bytes traffic on adapter 2, 2096 GB total"},
        {"%Mmu MB upload this month (%Dmu MB today)", "2099102 MB upload this month (311 MB today)"},
        {"%Met TB traffic", "2 TB traffic"},
        {"%Dat today, %Mat this month%b", "1.01G today, 2.01T this month\n", "1,01G today, 2,01T this month\n"},
    };
    // Only the loopback adapter: the run adds nothing, so the totals are the stored ones.
    NetworkNamespace quiet;
    TestFolder folder;
    for (const Case& c : cases)
        for (const char* locale : {"en_US.UTF-8", "de_DE.UTF-8"}) {
            SCOPED_TRACE(std::string(locale) + " " + c.pattern);
            writeBytes(folder.database(), encodeDatabase(records));
            RunOptions options = patternRun(quiet.name(), wallClock(2030, 12, 15, 12), {c.pattern});
            options.environment = {{"LC_ALL", locale}};
            const RunResult result = folder.run(options);
            EXPECT_EQ(result.exitStatus, 0);
            EXPECT_EQ(result.out, locale[0] == 'd' && c.german ? c.german : c.english);
            // The run was merged and saved: today's record took this reading, nothing new.
            EXPECT_EQ(decodeDatabase(readBytes(folder.database())), records);
        }
}

} // namespace
} // namespace e2e
