#include "platform/AdapterChoice.h"
#include "platform/NumberFormat.h"
#include "platform/windows/WindowsPath.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#ifndef _WIN32
#include "Environment.h"
#include "platform/Platform.h"

#include "platform/linux/LocalTime.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <random>
#endif

namespace {

TEST(FormatNumber, RoundsHalfUpAndGroupsByTheRules)
{
    const NumberFormat english{".", ",", "\3\3"}, indian{".", ",", "\3\2"}, zeroRepeats{".", ",", std::string("\2\0", 2)};
    const NumberFormat onceOnly{".", ",", std::string("\3") + static_cast<char>(CHAR_MAX)}, noGroups{".", ",", ""};
    const std::tuple<std::string, int, NumberFormat, std::string> cases[] = { // text, digits, format, result
        {"12345678", 0, indian, "1,23,45,678"}, // English and German groups: PatternTest
        {"1234567", 0, zeroRepeats, "1,23,45,67"},
        {std::string(131, '1'), 0, onceOnly, std::string(128, '1') + ",111"}, // CHAR_MAX: no more groups
        {"1234567", 0, noGroups, "1234567"},
        {"1234567.25", 1, NumberFormat{}, "1234567.3"},
    };
    for (const auto& [text, fractionDigits, format, expected] : cases)
        EXPECT_EQ(formatNumber(text, fractionDigits, format), expected) << text << " to " << fractionDigits << " digits";
}

// One rule for every source: the loopback never, physical adapters before virtual ones
// (only those where there are any), the patterns instead where given. tests/driver shows
// that 255 of them count.
TEST(AdapterChoice, OneRuleOverTheFactsOfAReading)
{
    auto adapter = [](const char* name, bool isVirtual, bool loopback = false) {
        return AdapterReading{name, 0, CounterWidth::bits64, {}, {}, loopback, isVirtual};
    };
    const std::vector<AdapterReading> mixed = {adapter("lo", false, true), adapter("veth0", true), adapter("eth0", false),
                                               adapter("br0", true), adapter("wlan0", false)};
    const std::vector<AdapterReading> container = {adapter("lo", false, true), adapter("veth1", true), adapter("tun0", true)};
    using Patterns = std::optional<std::vector<std::string>>;
    struct Case { std::vector<AdapterReading> adapters; Patterns patterns; std::vector<std::string> expected; };
    const Case cases[] = {
        {mixed, std::nullopt, {"eth0", "wlan0"}},
        {container, std::nullopt, {"veth1", "tun0"}},
        {mixed, Patterns{{"*0", "l?"}}, {"eth0", "wlan0", "veth0", "br0"}}, // physical first; the loopback never
        {mixed, Patterns{{"b[q-s]0", "x*"}}, {"br0"}},
        {{}, std::nullopt, {}},
    };
    for (const auto& [adapters, patterns, expected] : cases) {
        const platform::AdapterChoice choice = platform::chooseAdapters(adapters, patterns);
        std::vector<std::string> names;
        for (const std::size_t at : choice.numbered)
            names.push_back(adapters[at].name);
        EXPECT_EQ(names, expected);
        EXPECT_EQ(choice.counted, expected.size());
    }
}

// Each row a reading of fnmatch(3) that a simpler matcher gets wrong; on Linux, the C
// library's own fnmatch as well.
TEST(MatchesPattern, AnswersAsFnmatchWithoutFlags)
{
    const std::tuple<const char*, const char*, bool> cases[] = { // pattern, name, matches
        {"*a*a*a*a*a*a*a*a*a*a*ab", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false}, // in linear time
        {"*a*b", "xaxbxab", true}, {"*?", "", false}, {"[\x80-\xff]", "\xe9", true}, {"[a-\xff]", "b", true}, // unsigned
        {"\\*", "*", true}, {"\\*", "x", false}, {"[\\]-a]", "^", true}, {"x\\", "x\\", false}, // escapes; a trailing one
        {"[!a]", "b", true}, {"[^a]", "a", false}, {"[]a]", "]", true}, {"[!]]", "]", false}, {"[a-]", "-", true},
        {"[ab", "[ab", true}, {"[a[", "[a[", true}, {"[b-", "[b-", false}, {"[[-", "[[-", true}, {"[[\\", "[[\\", false},
        {"[[:digit:]x]", "5", true}, {"[![:alpha:]]", "a", false}, {"[[:upper:][:digit:]]", "Q", true}, // classes
        {"[[:nope:]]", "n", false}, {"[[:digit:]", "[", false}, {"[a-[:digit:]]", "b", false}, {"[[:digit]", "d", true},
    };
    for (const auto& [pattern, name, expected] : cases)
        EXPECT_EQ(platform::matchesPattern(pattern, name), expected) << pattern << " / " << name;
#ifndef _WIN32
    // Generated patterns over the characters that mean something in one; names as often as
    // not the pattern's own text, one character changed or not, so that matches are as
    // frequent as mismatches.
    const std::string alphabet = "ab-]![^\\*?\xe9:";
    std::mt19937 random(26);
    auto character = [&] { return alphabet[random() % alphabet.size()]; };
    for (int i = 0; i < 200000; ++i) {
        std::string pattern(random() % 9, ' '), name(random() % 7, ' ');
        std::generate(pattern.begin(), pattern.end(), character);
        std::generate(name.begin(), name.end(), character);
        if (random() % 2)
            name = pattern;
        if (!name.empty() && random() % 2)
            name[random() % name.size()] = character();
        ASSERT_EQ(platform::matchesPattern(pattern, name), fnmatch(pattern.c_str(), name.c_str(), 0) == 0) << pattern << " / " << name;
    }
#endif
}

// The folder of the Windows program, where its database lies: plain text handling.
// tests/windows runs the program in a folder deeper than the classic 260 characters.
TEST(WindowsPath, FolderOfTheExecutable)
{
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
    // Settings a run hands on are taken while their mark fits: the same variables, the
    // same locale files. Any other variable, or files of the user's own, and they are read.
    const EnvironmentVariable german("LC_ALL", "de_DE.UTF-8");
    const platform::UserNumbers read = platform::userNumbers({});
    EXPECT_EQ(read.format, (NumberFormat{",", ".", "\3\3"}));
    const platform::UserNumbers handedOn{read.source, {"!", "", ""}};
    EXPECT_EQ(platform::userNumbers(handedOn), handedOn);
    EXPECT_EQ(platform::formatForUser("1234.5", 1), "1234!5");
    const std::tuple<const char*, const char*, const char*> changes[] = {
        {"LC_ALL", "en_US.UTF-8", "."}, {"LC_NUMERIC", "de_DE.UTF-8", ","}, {"LOCPATH", "/nowhere", "."}};
    for (const auto& [name, value, decimalSeparator] : changes) {
        const EnvironmentVariable changed(name, value);
        const platform::UserNumbers now = platform::userNumbers(handedOn);
        EXPECT_EQ(now.format.decimalSeparator, decimalSeparator) << name;
        EXPECT_EQ(now.source == 0, name == std::string("LOCPATH")) << name;
    }
}

// The zone memo that the lock file keeps: the next run with the same zone converts without
// the C library up to the second the offset changes; another TZ, another zone file at
// the name, a damaged memo, and the library answers again.
TEST(LocalTime, MemoAnswersAsTheLibraryDoes)
{
    using platform::LocalInstant;
    const auto folder = std::filesystem::temp_directory_path() / ("brimlet-zone-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string zoneFile = (folder / "zone").string(), named = ":" + zoneFile;
    const auto useZone = [](const char* tz) { tz ? setenv("TZ", tz, 1) : unsetenv("TZ"), tzset(); };
    const int lock = open((folder / "lock").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    const auto run = [&](time_t t, LocalInstant instant) {
        platform::readZoneMemo(lock);
        const std::optional<CalendarTime> local = platform::localCalendar(t, instant);
        platform::writeZoneMemo(lock);
        return std::tuple(local->year, local->month, local->day, local->dayOfWeek, local->hour, local->minute, local->second);
    };
    const auto library = [](time_t t) {
        tm f{};
        localtime_r(&t, &f);
        return std::tuple(f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_wday, f.tm_hour, f.tm_min, f.tm_sec);
    };
    constexpr time_t autumn = 1824942000; // 2027-10-31 00:20 UTC, 40 minutes before Berlin's clocks go back
    const std::tuple<const char*, const char*, const char*, time_t, LocalInstant> cases[] = {
        // zone of the run that learns at autumn, a zone file put in between, zone of the run after, its time
        {"Europe/Berlin", nullptr, "Europe/Berlin", autumn + 2399, LocalInstant::clock}, // the last second of summer time
        {"Europe/Berlin", nullptr, "Europe/Berlin", autumn + 2400, LocalInstant::clock},
        {"Europe/Berlin", nullptr, "Asia/Kolkata", autumn + 60, LocalInstant::clock},
        {"Europe/Berlin", nullptr, "TST-5:30", autumn + 60, LocalInstant::clock},
        {nullptr, nullptr, nullptr, autumn + 60, LocalInstant::clock},
        {named.c_str(), "Asia/Kolkata", named.c_str(), autumn + 60, LocalInstant::clock},
        {"Europe/Berlin", nullptr, "Europe/Berlin", autumn, LocalInstant::boot},
        {"Europe/Berlin", nullptr, "Europe/Berlin", autumn + 2400, LocalInstant::boot}, // a boot time that moved
        {"Europe/Berlin", nullptr, "Asia/Kolkata", autumn, LocalInstant::boot},
    };
    for (const auto& [learner, newFile, zone, t, instant] : cases) {
        std::filesystem::copy_file("/usr/share/zoneinfo/Europe/Berlin", zoneFile, std::filesystem::copy_options::overwrite_existing);
        useZone(learner);
        run(autumn, instant);
        if (newFile) {
            std::filesystem::copy_file(std::string("/usr/share/zoneinfo/") + newFile, zoneFile + ".new");
            std::filesystem::rename(zoneFile + ".new", zoneFile);
            useZone("UTC"); // the library reads a file anew only for another TZ
        }
        useZone(zone);
        EXPECT_EQ(run(t, instant), library(t)) << (learner ? learner : "-") << " then " << (zone ? zone : "-") << " at " << t;
    }
    // The memo is taken where it holds, the library not asked: here the library has
    // another zone than TZ names. Any byte of it damaged, and it is not taken.
    useZone("Europe/Berlin");
    const auto berlin = library(autumn + 60);
    const auto learned = [&] {
        ASSERT_EQ(ftruncate(lock, 0), 0);
        run(autumn, LocalInstant::clock);
    };
    for (off_t damaged = -1; damaged < 65; ++damaged) {
        learned();
        unsigned char byte = 0;
        if (damaged >= 0 && pread(lock, &byte, 1, damaged) == 1) {
            byte ^= 0x10;
            ASSERT_EQ(pwrite(lock, &byte, 1, damaged), 1);
        }
        useZone("Asia/Kolkata");
        setenv("TZ", "Europe/Berlin", 1);
        EXPECT_EQ(run(autumn + 60, LocalInstant::clock) == berlin, damaged < 0) << "byte " << damaged;
        useZone("Europe/Berlin");
    }
    close(lock);
    unsetenv("TZ");
    tzset();
    std::filesystem::remove_all(folder);
}
#endif

} // namespace
