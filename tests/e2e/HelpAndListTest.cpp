#include "DatabaseFile.h"
#include "Harness.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>


namespace e2e {
namespace {

// The help page and the list dump in the orders the arguments ask for them, under the
// user's locale, over stored databases that no such run may change.
TEST(HelpAndList, PrintTheAdaptersAndTheStoredRecords)
{
    TestFolder folder;
    TrafficRig rig(2);
    rig.send({0, 3, 700, 1, 90});
    rig.send({1, 0, 0, 2, 1514});
    NetworkNamespace quiet;
    const std::string page = fixedHelpText() + "Interface 0: lan0 Received: 2100 Sent: 90\n"
                             + "Interface 1: lan1 Received: 0 Sent: 3028\n";
    // The second record has no entry for adapter 1, which appeared later.
    const std::string twoDays = encodeDatabase({{fileTime(wallClock(2026, 12, 5)), {{1234, 5678}, {1, 2}}},
                                                {fileTime(wallClock(2026, 12, 6)), {{10, 20}}}});
    const std::string dump = "Interface 0: lan0\n05.12.2026 00:00:00: 1234 bytes sent, 5678 bytes received.\n"
                             "06.12.2026 00:00:00: 10 bytes sent, 20 bytes received.\n\n"
                             "Interface 1: lan1\n05.12.2026 00:00:00: 1 bytes sent, 2 bytes received.\n"
                             "06.12.2026 00:00:00: no data recorded\n\n";
    const std::string oneDay = encodeDatabase({{fileTime(wallClock(2026, 12, 5)), {{1234, 5678}}}});
    const auto oneDayIn = [](const std::string& stamp) {
        return "Interface 0: lan0\n" + stamp + ": 1234 bytes sent, 5678 bytes received.\n\nInterface 1: lan1\n" + stamp
               + ": no data recorded\n\n";
    };
    // The dump shows what the load keeps, records from 365 days before now on, to the unit.
    const std::uint64_t cutOff = fileTime(wallClock(2025, 12, 6, 12));
    const std::string aged = encodeDatabase({{fileTime(wallClock(2025, 1, 1)), {{1, 1}}}, {cutOff - 1, {{2, 2}}},
                                             {cutOff, {{3, 3}}}, {fileTime(wallClock(2026, 12, 6)), {{4, 4}, {5, 5}}}});
    const std::string extremes = encodeDatabase({{fileTime(wallClock(2026, 11, 30, 7, 15, 42)), {{1, 2}, {3, 4}}},
                                                 {fileTime(wallClock(2026, 12, 1)), {{-7, 4294967296}, {0, INT64_MAX}}}});
    const std::string noData = "Interface 0: lan0\nno data recorded\n\nInterface 1: lan1\nno data recorded\n\n";
    struct Case {
        std::vector<std::string> arguments;
        std::optional<std::string> database; // nothing: no file
        std::string out;
        const char* locale = "de_DE.UTF-8";
        bool quiet = false;     // only the loopback adapter
        std::string log = "";   // the log the run leaves, if any
    };
    const Case cases[] = {
        {{}, twoDays, page}, {{"help"}, twoDays, page}, {{""}, twoDays, page}, // an empty pattern
        {{"help", "list"}, twoDays, page}, {{"list", "help"}, twoDays, page + dump}, {{"list"}, twoDays, dump},
        {{"server", "MyServer", "help"}, twoDays, fixedHelpText() + "Program Exception: Failed to connect server."},
        {{"help", "log"}, twoDays, page},               // nothing after "help" is read, "log" neither
        {{"help"}, twoDays, fixedHelpText(), "de_DE.UTF-8", true}, {{}, std::nullopt, fixedHelpText(), "C.UTF-8", true},
        {{"list"}, twoDays, "", "de_DE.UTF-8", true}, // no adapter: not even "no data recorded"
        {{"list"}, oneDay, oneDayIn("05.12.2026 00:00:00"), "de_CH.UTF-8"},
        {{"list"}, oneDay, oneDayIn("05/12/2026 00:00:00"), "fr_FR.UTF-8"},
        {{"list"}, oneDay, oneDayIn("12/05/2026 12:00:00 AM"), "en_US.UTF-8"},
        {{"list"}, aged, "Interface 0: lan0\n06.12.2025 12:00:00: 3 bytes sent, 3 bytes received.\n06.12.2026 00:00:00: 4 bytes "
                         "sent, 4 bytes received.\n\nInterface 1: lan1\n06.12.2025 12:00:00: no data recorded\n06.12.2026 "
                         "00:00:00: 5 bytes sent, 5 bytes received.\n\n"},
        {{"list"}, extremes, "Interface 0: lan0\n30.11.2026 07:15:42: 1 bytes sent, 2 bytes received.\n01.12.2026 00:00:00: -7 "
                             "bytes sent, 4294967296 bytes received.\n\nInterface 1: lan1\n30.11.2026 07:15:42: 3 bytes sent, "
                             "4 bytes received.\n01.12.2026 00:00:00: 0 bytes sent, 9223372036854775807 bytes received.\n\n"},
        {{"list"}, std::nullopt, noData}, {{"list"}, std::string(4, '\0'), noData},
        // "log" before "help": the adapters listed on the page are logged as read.
        {{"log", "help"}, twoDays, page, "de_DE.UTF-8", false,
         "Application start: 06.12.2026 12:00:00\nInterface 0: lan0\n Received: 2100 (unsigned 2100)\n Sent: 90 (unsigned 90)\n"
         "Interface 1: lan1\n Received: 0 (unsigned 0)\n Sent: 3028 (unsigned 3028)\n\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments) + " " + c.locale + (c.quiet ? ", no adapter" : ""));
        std::filesystem::remove(folder.database());
        std::filesystem::remove(folder.programFolder() / "traffic.log");
        std::vector<std::string> entries = {"brimlet"};
        if (c.database) {
            writeBytes(folder.database(), *c.database);
            entries.push_back("traffic");
        }
        const std::string state = stateOf(folder.database());
        RunOptions options = patternRun(c.quiet ? quiet.name() : rig.networkNamespace(), wallClock(2026, 12, 6, 12), c.arguments);
        options.environment = {{"LC_ALL", c.locale}};
        const RunResult result = folder.run(options);
        EXPECT_EQ(result.exitStatus, c.out.find("Exception") != std::string::npos ? 1 : 0);
        EXPECT_EQ(result.out, c.out);
        if (!c.log.empty()) {
            EXPECT_EQ(readBytes(folder.programFolder() / "traffic.log"), c.log);
            entries.push_back("traffic.log");
        }
        EXPECT_EQ(folder.programFolderEntries(), entries);
        EXPECT_EQ(stateOf(folder.database()), state);
    }
}

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
