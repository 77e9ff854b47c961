#include "DatabaseFile.h"
#include "Harness.h"
#include "HelpText.h"
#include "NetworkRig.h"
#include "TestClock.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

const WallClock now = wallClock(2026, 12, 6, 12);

RunOptions germanRunAt(WallClock at, const std::string& networkNamespace, std::vector<std::string> arguments)
{
    RunOptions options;
    options.arguments = std::move(arguments);
    options.environment = {{"LC_ALL", "de_DE.UTF-8"}};
    options.networkNamespace = networkNamespace;
    options.frozenClock = epochSeconds(at);
    return options;
}

// The help page and the list dump in the orders the arguments ask for them, read from
// one database that no run may change.
TEST(HelpPage, ArgumentOrders)
{
    TestFolder folder;
    TrafficRig rig(2);
    rig.send({0, 3, 700, 1, 90});
    rig.send({1, 0, 0, 2, 1514});
    const std::string page = fixedHelpText() + "Interface 0: lan0 Received: 2100 Sent: 90\n"
                             + "Interface 1: lan1 Received: 0 Sent: 3028\n";

    // The second record has no entry for adapter 1, which appeared later.
    writeBytes(folder.database(), encodeDatabase({{fileTime(wallClock(2026, 12, 5)), {{1234, 5678}, {1, 2}}},
                                                  {fileTime(wallClock(2026, 12, 6)), {{10, 20}}}}));
    const std::string content = readBytes(folder.database());
    const FileIdentity identity = identityOf(folder.database());
    const std::string dump = "Interface 0: lan0\n"
                             "05.12.2026 00:00:00: 1234 bytes sent, 5678 bytes received.\n"
                             "06.12.2026 00:00:00: 10 bytes sent, 20 bytes received.\n"
                             "\n"
                             "Interface 1: lan1\n"
                             "05.12.2026 00:00:00: 1 bytes sent, 2 bytes received.\n"
                             "06.12.2026 00:00:00: no data recorded\n"
                             "\n";

    struct Case {
        std::vector<std::string> arguments;
        std::string out;
    };
    const Case cases[] = {
        {{}, page},
        {{"help"}, page},
        {{""}, page}, // an empty pattern
        {{"help", "list"}, page},
        {{"list", "help"}, page + dump},
        {{"list"}, dump},
        {{"server", "MyServer", "help"}, fixedHelpText() + "Program Exception: Failed to connect server."},
        {{"help", "log"}, page},               // nothing after "help" is read, "log" neither
        {{"server", "a:b", "help"}, "Unknown Program Exception"}, // refused before anything connects
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const std::string& argument : c.arguments)
            trace += "[" + argument + "]";
        SCOPED_TRACE(trace);
        const RunResult result = folder.run(germanRunAt(now, rig.networkNamespace(), c.arguments));
        EXPECT_EQ(result.exitStatus, c.out.find("Exception") != std::string::npos ? 1 : 0);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(readBytes(folder.database()), content);
        EXPECT_EQ(identityOf(folder.database()), identity);
        EXPECT_EQ(folder.programFolderEntries(), (std::vector<std::string>{"brimlet", "traffic"}));
    }
}

TEST(HelpPage, WithoutAdaptersButLoopbackEndsWithTheFixedText)
{
    TestFolder folder;
    NetworkNamespace quiet;
    writeBytes(folder.database(), encodeDatabase({{fileTime(wallClock(2026, 12, 5)), {{1234, 5678}}}}));
    struct Case {
        std::vector<std::string> arguments;
        std::string out;
    };
    const Case cases[] = {
        {{"help"}, fixedHelpText()},
        {{}, fixedHelpText()},
        {{"list"}, ""}, // no adapter: not even "no data recorded"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? "no arguments" : c.arguments.front());
        const RunResult result = folder.run(germanRunAt(now, quiet.name(), c.arguments));
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, c.out);
    }
}

// "log" before "help": the adapters listed on the page are logged as read.
TEST(HelpPage, LoggedPageLogsTheAdapters)
{
    TestFolder folder;
    TrafficRig rig(2);
    rig.send({0, 1, 1514, 0, 0});
    rig.send({1, 0, 0, 1, 100});
    const RunResult result = folder.run(germanRunAt(now, rig.networkNamespace(), {"log", "help"}));
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, fixedHelpText() + "Interface 0: lan0 Received: 1514 Sent: 0\n"
                              + "Interface 1: lan1 Received: 0 Sent: 100\n");
    EXPECT_EQ(readBytes(folder.programFolder() / "traffic.log"), "Application start: 06.12.2026 12:00:00\n"
                                                                 "Interface 0: lan0\n"
                                                                 " Received: 1514 (unsigned 1514)\n"
                                                                 " Sent: 0 (unsigned 0)\n"
                                                                 "Interface 1: lan1\n"
                                                                 " Received: 0 (unsigned 0)\n"
                                                                 " Sent: 100 (unsigned 100)\n"
                                                                 "\n"
                                                                 "\n");
}

} // namespace
} // namespace e2e
