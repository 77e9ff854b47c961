#include "driver/RunSettings.h"

#include "base/Failures.h"

#include <gtest/gtest.h>


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
        {{}, "////H0"}, {{"%t"}, "///%t/P0"}, {{"help"}, "////H0"}, {{"help", "list", "log"}, "////H0"},
        {{"list", "help"}, "////LH0"}, {{"list"}, "////L0"}, {{"log", "%u", "log"}, "///%u/P2"}, {{"log"}, "////P1"},
        {{"%t", "server", "MyServer"}, "MyServer///%t/P0"}, {{"server", "MyServer", "%t"}, "MyServer///%t/P0"},
        {{"server", "MyServer", "help"}, "MyServer////H0"}, {{"%t", "server"}, "///%t/P0"},
        {{"server", "a", "server"}, "a////P0"}, {{"user", "log"}, "/log///P0"}, {{"pass", "help", "%d"}, "//help/%d/P0"},
        {{"user", "u", "pass", "p", "server", "list"}, "list/u/p//P0"}, {{"%u", "%d"}, "///%d/P0"},
        {{"Help", "LIST"}, "///LIST/P0"}, {{"%t", ""}, "////P0"},
    };
    for (const auto& [arguments, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        EXPECT_EQ(shown(readArguments(arguments)), expected);
    }
}

TEST(MonthStartDay, TakesDays1To28AndOtherwiseTheFirst)
{
    const std::pair<const char*, int> cases[] = {{nullptr, 1}, {"14", 14}, {"28", 28}, {"07", 7}, {"29", 1},
                                                 {"0", 1},     {"-3", 1},  {"", 1},   {" 5", 1}, {"5x", 1}};
    for (const auto& [setting, day] : cases)
        EXPECT_EQ(monthStartDay(setting), day) << (setting ? setting : "unset");
}

// The one table of the server name rules; tests/e2e shows that a refused name reaches
// no file.
TEST(DatabasePath, AcceptsPortableNamesOnly)
{
    const std::filesystem::path folder = "/opt/meter";
    EXPECT_EQ(databasePath(folder, ""), "/opt/meter/traffic");
    EXPECT_EQ(databasePath(folder, "fileserver"), "/opt/meter/traffic.fileserver");
    EXPECT_EQ(databasePath("/", "x"), "/traffic.x");
    EXPECT_EQ(databasePath(folder, " a.b-c_d e\x7f\xc3\xa4"), "/opt/meter/traffic. a.b-c_d e\x7f\xc3\xa4");
    EXPECT_EQ(databasePath(folder, std::string(5000, 'h')), "/opt/meter/traffic." + std::string(5000, 'h'));

    std::vector<std::string> refused = {"tail ", " ", "\\\\server", "..\\x"};
    for (char c = 0x01; c <= 0x1F; ++c)
        refused.push_back(std::string("a") + c + "b");
    for (const char c : std::string("<>:\\|*?\"/"))
        refused.push_back(std::string("a") + c + "b");
    for (const std::string& server : refused) {
        SCOPED_TRACE(testing::PrintToString(server));
        EXPECT_THROW(databasePath(folder, server), UnknownFailure);
    }
}

} // namespace
