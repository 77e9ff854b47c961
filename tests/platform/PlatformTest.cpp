#include "platform/NumberFormat.h"
#include "platform/windows/WindowsPath.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#ifndef _WIN32
#include "Environment.h"
#include "platform/Platform.h"

#include <clocale>
#endif

namespace {

TEST(FormatNumber, RoundsHalfUpAndGroupsByTheRules)
{
    const NumberFormat english{".", ",", "\3\3"}, indian{".", ",", "\3\2"}, zeroRepeats{".", ",", std::string("\2\0", 2)};
    const NumberFormat onceOnly{".", ",", std::string("\3") + static_cast<char>(CHAR_MAX)}, noGroups{".", ",", ""};
    const std::tuple<std::string, int, NumberFormat, std::string> cases[] = { // text, digits, format, result
        {"99.9902", 1, english, "100.0"},
        {"999999.5", 0, english, "1,000,000"},
        {"12345678", 0, indian, "1,23,45,678"},
        {"1234567", 0, zeroRepeats, "1,23,45,67"},
        {std::string(131, '1'), 0, onceOnly, std::string(128, '1') + ",111"}, // CHAR_MAX: no more groups
        {"1234567", 0, noGroups, "1234567"},
        {"1234567.25", 1, NumberFormat{}, "1234567.3"},
    };
    for (const auto& [text, fractionDigits, format, expected] : cases)
        EXPECT_EQ(formatNumber(text, fractionDigits, format), expected) << text << " to " << fractionDigits << " digits";
}

// The folder of the Windows program, where its database lies: plain text handling.
TEST(WindowsPath, FolderOfTheExecutable)
{
    std::string deep = "C:", deepFolder = "C:"; // longer than the classic 260 characters
    while (deep.size() < 400)
        deep += "\\deeper", deepFolder += "/deeper";
    EXPECT_EQ(windowsPathFolder(deep + "\\brimlet.exe"), deepFolder);
    EXPECT_EQ(windowsPathFolder("c:\\My Tools/a:b \\\\x.exe"), "c:/My Tools/a:b "); // other systems' name rules play no part
    EXPECT_EQ(windowsPathFolder("C:\\x.exe"), "C:/");
    EXPECT_EQ(windowsPathFolder("\\\\server\\share\\x.exe"), "//server/share");
    EXPECT_EQ(windowsPathFolder("x.exe"), "");
}

#ifndef _WIN32
// The user's locale named through the environment, which only the C library follows.
TEST(UserNumberFormat, FollowsTheLocaleTheEnvironmentNames)
{
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = { // LC_ALL, LC_NUMERIC, LANG
        {"de_DE.UTF-8", nullptr, nullptr, "1.234.567,13"},
        {"xx_XX.UTF-8", nullptr, nullptr, "1234567.13"}, // unknown: the C settings
        {nullptr, "de_DE.UTF-8", "en_US.UTF-8", "1.234.567,13"},
        {nullptr, nullptr, "fr_FR.UTF-8", "1\u202f234\u202f567,13"},
        {"en_US.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", "1,234,567.13"},
    };
    const std::string globalBefore = std::setlocale(LC_ALL, nullptr);
    for (const auto& [all, numeric, lang, expected] : cases) {
        const EnvironmentVariable allSettings("LC_ALL", all), numbers("LC_NUMERIC", numeric), language("LANG", lang);
        EXPECT_EQ(platform::formatForUser("1234567.125", 2), expected) << (all ? all : "-") << (lang ? lang : " -");
        // Reading the user's settings leaves the process's own locale alone.
        EXPECT_EQ(std::setlocale(LC_ALL, nullptr), globalBefore);
    }
}
#endif

} // namespace
