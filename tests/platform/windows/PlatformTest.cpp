#include "base/Failures.h"
#include "platform/Platform.h"
#include "platform/windows/wmi/BootTimeText.h"
#include "platform/windows/wmi/WmiReadings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

// Binary content, replaced and read whole, is tests/database's (under Wine as well).
TEST(Files, FailuresNameTheFile)
{
    const fs::path folder = fs::temp_directory_path() / ("brimlet-files-" + std::to_string(GetCurrentProcessId()));
    const fs::path missing = folder / "missing" / "traffic";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::pair<std::function<void()>, std::string> failures[] = { // the call, the start of its message
        {[&] { platform::readFile(folder); }, "Can not read " + folder.generic_string() + ": "},
        {[&] { platform::replaceFile(missing, "x"); }, "Can not save " + missing.generic_string() + ": "},
    };
    for (const auto& [call, start] : failures) {
        try {
            call();
            ADD_FAILURE() << "no failure: " << start;
        } catch (const ProgramError& failure) { // the file, then the system's reason
            EXPECT_TRUE(std::string(failure.what()).starts_with(start) && failure.what() != start) << failure.what();
        }
    }
    fs::remove_all(folder);
}

// Under Wine the user locale follows LC_ALL: tests/CMakeLists.txt runs this under two.
TEST(UserLocale, NumbersDatesAndTimes)
{
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    const bool german = std::wstring(locale) == L"de-DE"; // else en-US
    char digitsBefore[8] = {}, digitsAfter[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDIGITS, digitsBefore, sizeof digitsBefore);
    const CalendarTime t{2026, 12, 2, 15, 17, 50, 12, 0};
    const std::array<std::string, 3> cases[] = { // printed, English, German
        {platform::formatForUser("1234567890123", 0), "1,234,567,890,123", "1.234.567.890.123"},
        {platform::formatForUser("1234567.126", 2), "1,234,567.13", "1.234.567,13"},
        {platform::formatForUser("0.5", 2), "0.50", "0,50"},
        {platform::formatForUser("99.96", 1), "100.0", "100,0"},
        {platform::formatDate(t), "12/15/2026", "15.12.2026"},
        {platform::formatTime(t), "5:50:12 PM", "17:50:12"},
    };
    for (const auto& [printed, english, inGerman] : cases)
        EXPECT_EQ(printed, german ? inGerman : english);
    // Formatting leaves the user's own setting alone.
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDIGITS, digitsAfter, sizeof digitsAfter);
    EXPECT_STREQ(digitsBefore, digitsAfter);
}

// An instance with the given properties; any other is not found. It keeps the names read.
struct Instance : WmiInstance {
    std::map<std::wstring, WmiProperty> properties;
    mutable std::vector<std::wstring> read;

    WmiProperty property(const wchar_t* name) const override
    {
        read.push_back(name);
        return properties.contains(name) ? properties.at(name) : WmiProperty{};
    }
};

WmiProperty text(const wchar_t* value) { return {WBEM_S_NO_ERROR, VT_BSTR, value}; }
WmiProperty number(std::int64_t value) { return {WBEM_S_NO_ERROR, VT_I4, L"", static_cast<std::int32_t>(value)}; }
const WmiProperty null{WBEM_S_NO_ERROR, VT_NULL, L""};

TEST(WmiReadings, AdapterOfAnInstance)
{
    using Reading = std::optional<std::tuple<std::string, std::optional<std::uint64_t>, std::optional<std::uint64_t>, bool>>;
    // The instance's Name, BytesReceivedPerSec and BytesSentPerSec; the reading's name, sent, received and loopback.
    const std::tuple<WmiProperty, WmiProperty, WmiProperty, Reading> cases[] = {
        {text(L"Ethernet"), number(3000000000), number(1500), Reading{{"Ethernet", 1500, 3000000000u, false}}},
        {text(L"MS TCP Loopback interface"), number(1), number(1), Reading{{"MS TCP Loopback interface", 1, 1, true}}},
        {text(L"MS TCP Loopback Interface"), number(-1), number(0), Reading{{"MS TCP Loopback Interface", 0, 4294967295u, false}}},
        {text(L"Wireless"), null, WmiProperty{}, Reading{{"Wireless", std::nullopt, std::nullopt, false}}},
        {null, number(1), number(1), std::nullopt}, // a name that is no string
    };
    for (const auto& [name, received, sent, expected] : cases) {
        Instance instance;
        instance.properties = {{L"Name", name}, {L"BytesReceivedPerSec", received}, {L"BytesSentPerSec", sent}};
        const auto reading = adapterOf(instance);
        EXPECT_EQ((reading ? Reading{{reading->name, reading->sent, reading->received, reading->loopback}} : std::nullopt), expected);
        EXPECT_TRUE(!reading || reading->width == CounterWidth::bits32);
    }
}

// The boot time's fields from their fixed positions, and its offset from UTC: the boot's identity is its time in UTC.
TEST(WmiReadings, BootTimeOfAnInstance)
{
    const std::tuple<WmiProperty, std::array<int, 8>, std::string> cases[] = { // year to milliseconds, offset; failure
        {text(L"20060301081500.000000+330"), {2006, 3, 1, 8, 15, 0, 0, 330}, ""},
        {text(L"20261205235959.999999-300"), {2026, 12, 5, 23, 59, 59, 999, -300}, ""},
        {text(L"20060301081500."), {2006, 3, 1, 8, 15, 0, 0, 0}, ""}, // no microseconds, no offset
        {WmiProperty{WBEM_S_FALSE, VT_BSTR, L""}, {}, "can't get LastBootUpTime from object"},
        {number(20060301), {}, "can't get LastBootUpTime from object"},
        {text(L"20060301081500"), {}, "Unknown"}, // too short
    };
    for (const auto& [property, fields, failure] : cases) {
        Instance system;
        system.properties = {{L"LastBootUpTime", property}};
        try {
            const std::string text = bootTimeTextOf(system);
            const CalendarTime t = parseBootTimeText(text);
            EXPECT_EQ((std::array{t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds, utcOffsetMinutes(text)}),
                      fields);
        } catch (const ProgramError& error) {
            EXPECT_EQ(error.what(), failure);
        } catch (const UnknownFailure&) {
            EXPECT_EQ("Unknown", failure);
        }
    }
}

} // namespace
