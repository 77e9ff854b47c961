#include "driver/RunSettings.h"

#include "base/Failures.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "../platform/Environment.h"
#include "database/TrafficDatabase.h"
#include "driver/HelpPage.h"
#include "driver/ListDump.h"
#include "platform/CounterSource.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"

#include <sstream>
#endif

namespace {

// The settings in one line: server/user/password/pattern/modes (Pattern, List, Help) and
// how many "log" were met.
std::string shown(const RunSettings& s)
{
    return s.server + "/" + s.user + "/" + s.password + "/" + s.pattern + "/" + (s.patternMode ? "P" : "")
           + (s.listMode ? "L" : "") + (s.helpPage ? "H" : "") + std::to_string(s.logOpenings);
}

TEST(ReadArguments, FollowsTheKeywordTable)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"log", "%u", "log", "help", "log"}, "///%u/H2"},
        {{"%t", "server", "MyServer", "server"}, "MyServer///%t/P0"},
        {{"pass", "help", "%d"}, "//help/%d/P0"},
        {{"user", "u", "pass", "p", "server", "list"}, "list/u/p//P0"},
        {{"%u", "%d", "Help", "LIST"}, "///LIST/P0"},
        {{"%t", ""}, "////P0"},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(shown(readArguments(arguments)), expected) << testing::PrintToString(arguments);
}

TEST(MonthStartDay, TakesDays1To28AndOtherwiseTheFirst)
{
    EXPECT_EQ(monthStartDay("07"), 7);
    EXPECT_EQ(monthStartDay("28"), 28);
    EXPECT_EQ(monthStartDay(nullptr), 1);
    for (const char* setting : {"29", "0", "-3", "", " 5", "5x"}) // out of range or no plain number: the calendar month
        EXPECT_EQ(monthStartDay(setting), 1) << setting;
}

// The one table of the server name rules; tests/e2e shows that a refused name reaches
// no file.
TEST(DatabasePath, AcceptsPortableNamesOnly)
{
    const std::filesystem::path folder = "/opt/meter";
    EXPECT_EQ(databasePath(folder, ""), "/opt/meter/traffic");
    EXPECT_EQ(databasePath(folder, " a.b-c_d e\x7f\xc3\xa4"), "/opt/meter/traffic. a.b-c_d e\x7f\xc3\xa4");
    for (const std::string server : {"tail ", " ", "a\x01", "a\x1F", "a<", "a>", "a:", "a\\", "\\\\server", "a|", "a*", "a?",
                                     "a\"", "a/", "x.new-12"}) // the last: the name of a save's temporary file
        EXPECT_THROW(databasePath(folder, server), UnknownFailure) << testing::PrintToString(server);
}

#ifndef _WIN32
// The local computer's adapters, never the loopback: with BRIMLET_ADAPTERS=lo the help
// page lists none.
TEST(HelpAndList, ShowTheHelpPageAndEachAdaptersCountsSentFirst)
{
    TrafficDatabase database;
    database.appendRecord(fileTimeDay, {{5, 7}});
    platform::CounterSource source;
    std::ostringstream help, list;
    const EnvironmentVariable adapters("BRIMLET_ADAPTERS", "lo");
    printHelpPage(database, source, RunSettings{}, DiagnosticLog{}, help, 0);
    EXPECT_EQ(help.str(), platform::readFile(BRIMLET_HELP_PAGE));
    setenv("BRIMLET_ADAPTERS", "*", 1);
    printList(database, source, list);
    // Where the loopback is the only adapter, nothing is listed.
    EXPECT_TRUE(list.str().empty() || list.str().find(": 5 bytes sent, 7 bytes received.\n") != std::string::npos) << list.str();
}
#endif

} // namespace
