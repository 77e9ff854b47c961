#include "driver/RunSettings.h"

#include <gtest/gtest.h>

#include "base/Failures.h"

namespace {

struct ArgumentCase {
    std::vector<std::string> arguments;
    RunSettings expected;
};

RunSettings settings(std::string pattern, bool patternMode = true, bool listMode = false, bool helpPage = false,
                     int logOpenings = 0, std::string server = "", std::string user = "", std::string password = "")
{
    RunSettings s;
    s.server = std::move(server);
    s.user = std::move(user);
    s.password = std::move(password);
    s.pattern = std::move(pattern);
    s.patternMode = patternMode;
    s.listMode = listMode;
    s.helpPage = helpPage;
    s.logOpenings = logOpenings;
    return s;
}

TEST(ReadArguments, FollowsTheKeywordTable)
{
    const ArgumentCase cases[] = {
        {{}, settings("", false, false, true)},
        {{"%t"}, settings("%t")},
        {{"help"}, settings("", false, false, true)},
        {{"help", "list", "log"}, settings("", false, false, true)},
        {{"list", "help"}, settings("", false, true, true)},
        {{"list"}, settings("", false, true)},
        {{"log", "%u", "log"}, settings("%u", true, false, false, 2)},
        {{"%t", "server", "MyServer"}, settings("%t", true, false, false, 0, "MyServer")},
        {{"server", "MyServer", "%t"}, settings("%t", true, false, false, 0, "MyServer")},
        {{"server", "MyServer", "help"}, settings("", false, false, true, 0, "MyServer")},
        {{"%t", "server"}, settings("%t")},
        {{"server", "a", "server"}, settings("", true, false, false, 0, "a")},
        {{"user", "log"}, settings("", true, false, false, 0, "", "log")},
        {{"pass", "help", "%d"}, settings("%d", true, false, false, 0, "", "", "help")},
        {{"user", "u", "pass", "p", "server", "list"}, settings("", true, false, false, 0, "list", "u", "p")},
        {{"%u", "%d"}, settings("%d")},
        {{"Help", "LIST"}, settings("LIST")},
        {{"%t", ""}, settings("")},
        {{"log"}, settings("", true, false, false, 1)},
    };
    for (const ArgumentCase& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += "[" + a + "]";
        SCOPED_TRACE(shown);
        const RunSettings got = readArguments(c.arguments);
        EXPECT_EQ(got.server, c.expected.server);
        EXPECT_EQ(got.user, c.expected.user);
        EXPECT_EQ(got.password, c.expected.password);
        EXPECT_EQ(got.pattern, c.expected.pattern);
        EXPECT_EQ(got.patternMode, c.expected.patternMode);
        EXPECT_EQ(got.listMode, c.expected.listMode);
        EXPECT_EQ(got.helpPage, c.expected.helpPage);
        EXPECT_EQ(got.logOpenings, c.expected.logOpenings);
    }
}

TEST(MonthStartDay, TakesDays1To28AndOtherwiseTheFirst)
{
    const std::pair<const char*, int> cases[] = {{nullptr, 1}, {"14", 14}, {"28", 28}, {"07", 7}, {"29", 1},
                                                 {"0", 1},     {"-3", 1},  {"", 1},   {" 5", 1}, {"5x", 1}};
    for (const auto& [setting, day] : cases)
        EXPECT_EQ(monthStartDay(setting), day) << (setting ? setting : "unset");
}

TEST(DatabasePath, AcceptsPortableNamesOnly)
{
    const std::filesystem::path folder = "/opt/meter";
    EXPECT_EQ(databasePath(folder, ""), "/opt/meter/traffic");
    EXPECT_EQ(databasePath(folder, "fileserver"), "/opt/meter/traffic.fileserver");
    EXPECT_EQ(databasePath("/", "x"), "/traffic.x");
    EXPECT_EQ(databasePath(folder, " a.b-c_d "  "e"), "/opt/meter/traffic. a.b-c_d e");

    const std::string refused[] = {"a:b",  "a/b",  "..\\x", "\\\\server", "a*", "a?",   "a<", "a>",
                                   "a|b",  "a\"b", "tail ",  "\x01",        "a\x1f", "\t"};
    for (const std::string& server : refused) {
        SCOPED_TRACE(server);
        EXPECT_THROW(databasePath(folder, server), UnknownFailure);
    }
}

} // namespace
