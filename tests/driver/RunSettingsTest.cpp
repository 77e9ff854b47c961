#include "driver/RunSettings.h"

#include "base/DatabaseFiles.h"
#include "base/Failures.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

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

TEST(MonthStartDay, TakesDays1To31AndOtherwiseTheFirst)
{
    // Out of range or no plain number: the calendar month.
    for (const auto& [setting, day] : {std::pair<const char*, int>{"07", 7}, {"31", 31}, {nullptr, 1}, {"32", 1}, {"0", 1},
                                       {"-3", 1}, {"", 1}, {" 5", 1}, {"5x", 1}})
        EXPECT_EQ(monthStartDay(setting), day) << (setting ? setting : "unset");
}

// The one table of the server name rules; tests/e2e shows that a refused name reaches
// no file.
TEST(DatabaseFiles, AcceptsPortableNamesOnly)
{
    const std::filesystem::path folder = "/opt/meter";
    const DatabaseFiles local = databaseFiles(folder, "");
    EXPECT_EQ(std::tuple(local.database, local.state, local.lock),
              std::tuple("/opt/meter/traffic", "/opt/meter/.traffic.state", "/opt/meter/.traffic.lock"));
    EXPECT_EQ(databaseFiles(folder, "r1").lock, "/opt/meter/.traffic.r1.lock");
    EXPECT_EQ(databaseFiles(folder, " a.b-c_d e\x7f\xc3\xa4").database, "/opt/meter/traffic. a.b-c_d e\x7f\xc3\xa4");
    for (const std::string server : {"tail ", " ", "a\x01", "a\x1F", "a<", "a>", "a:", "a\\", "\\\\server", "a|", "a*", "a?",
                                     "a\"", "a/", "x.new-12"}) // the last: the name of a save's temporary file
        EXPECT_THROW(databaseFiles(folder, server), UnknownFailure) << testing::PrintToString(server);
    // A save's temporary file is known by its owner's number as the save writes it.
    const std::tuple<const char*, std::optional<std::uint64_t>> temporaries[] = {
        {"traffic.new-12", 12}, {".traffic.state.new-7", std::nullopt}, {"traffic.new-012", std::nullopt},
        {"traffic.new-", std::nullopt}, {"traffic.new-1x", std::nullopt}, {"traffic.r1.new-5", std::nullopt}};
    EXPECT_EQ(temporaryFile(local.database, 12), "/opt/meter/traffic.new-12");
    for (const auto& [name, owner] : temporaries)
        EXPECT_EQ(temporaryOwner(local.database, name), owner) << name;
}

} // namespace
