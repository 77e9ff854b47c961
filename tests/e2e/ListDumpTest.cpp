#include "DatabaseFile.h"
#include "Harness.h"
#include "NetworkRig.h"
#include "TestClock.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace e2e {
namespace {

const WallClock now = wallClock(2026, 12, 6, 12);

RunResult listIn(const TestFolder& folder, const TrafficRig& rig, const std::string& locale = "de_DE.UTF-8")
{
    RunOptions options;
    options.arguments = {"list"};
    options.environment = {{"LC_ALL", locale}};
    options.networkNamespace = rig.networkNamespace();
    options.frozenClock = epochSeconds(now);
    return folder.run(options);
}

TEST(ListDump, RecordStartShownInTheUsersLocale)
{
    struct Case {
        const char* locale;
        const char* stamp;
    };
    const Case cases[] = {
        {"de_DE.UTF-8", "05.12.2026 00:00:00"},
        {"de_CH.UTF-8", "05.12.2026 00:00:00"},
        {"fr_FR.UTF-8", "05/12/2026 00:00:00"},
        {"en_US.UTF-8", "12/05/2026 12:00:00 AM"},
    };
    TestFolder folder;
    TrafficRig rig(1);
    writeBytes(folder.database(), encodeDatabase({{fileTime(wallClock(2026, 12, 5)), {{1234, 5678}}}}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        const RunResult result = listIn(folder, rig, c.locale);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, std::string("Interface 0: lan0\n") + c.stamp + ": 1234 bytes sent, 5678 bytes received.\n\n");
    }
}

TEST(ListDump, EveryAdapterGetsEveryRecord)
{
    TestFolder folder;
    TrafficRig rig(3);
    writeBytes(folder.database(),
               encodeDatabase({{fileTime(wallClock(2026, 11, 30, 7, 15, 42)), {{1, 2}, {3, 4}, {5, 6}}},
                               {fileTime(wallClock(2026, 12, 1)), {{-7, 4294967296}, {0, 9223372036854775807}, {8, 9}}}}));
    const RunResult result = listIn(folder, rig);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "Interface 0: lan0\n"
                          "30.11.2026 07:15:42: 1 bytes sent, 2 bytes received.\n"
                          "01.12.2026 00:00:00: -7 bytes sent, 4294967296 bytes received.\n"
                          "\n"
                          "Interface 1: lan1\n"
                          "30.11.2026 07:15:42: 3 bytes sent, 4 bytes received.\n"
                          "01.12.2026 00:00:00: 0 bytes sent, 9223372036854775807 bytes received.\n"
                          "\n"
                          "Interface 2: lan2\n"
                          "30.11.2026 07:15:42: 5 bytes sent, 6 bytes received.\n"
                          "01.12.2026 00:00:00: 8 bytes sent, 9 bytes received.\n"
                          "\n");
}

// The dump shows what the load keeps: records from 365 days before now on, to the unit.
// It leaves the file as it was, the older records included.
TEST(ListDump, RecordsOlderThanAYearAreHiddenAndTheFileUntouched)
{
    const std::uint64_t cutOff = fileTime(wallClock(2025, 12, 6, 12));
    TestFolder folder;
    TrafficRig rig(1);
    writeBytes(folder.database(), encodeDatabase({{fileTime(wallClock(2025, 1, 1)), {{1, 1}}},
                                                  {cutOff - 1, {{2, 2}}},
                                                  {cutOff, {{3, 3}}},
                                                  {fileTime(wallClock(2026, 12, 6)), {{4, 4}}}}));
    const std::string content = readBytes(folder.database());
    const FileIdentity identity = identityOf(folder.database());

    const RunResult result = listIn(folder, rig);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "Interface 0: lan0\n"
                          "06.12.2025 12:00:00: 3 bytes sent, 3 bytes received.\n"
                          "06.12.2026 00:00:00: 4 bytes sent, 4 bytes received.\n"
                          "\n");
    EXPECT_EQ(readBytes(folder.database()), content);
    EXPECT_EQ(identityOf(folder.database()), identity);
}

TEST(ListDump, EmptyDatabase)
{
    struct Case {
        const char* what;
        bool fileExists;
    };
    const Case cases[] = {{"no file", false}, {"a file without records", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder folder;
        TrafficRig rig(2);
        if (c.fileExists)
            writeBytes(folder.database(), std::string(4, '\0'));
        const RunResult result = listIn(folder, rig);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, "Interface 0: lan0\nno data recorded\n\nInterface 1: lan1\nno data recorded\n\n");
        if (c.fileExists) {
            EXPECT_EQ(readBytes(folder.database()), std::string(4, '\0'));
        } else {
            EXPECT_FALSE(std::filesystem::exists(folder.database()));
        }
    }
}

} // namespace
} // namespace e2e
