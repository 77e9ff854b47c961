#include "platform/Platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Under Wine the user locale follows LC_ALL: tests/CMakeLists.txt runs this under two.
TEST(UserLocale, NumbersDatesAndTimes)
{
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    const bool german = std::wstring(locale) == L"de-DE";
    if (!german && std::wstring(locale) != L"en-US")
        GTEST_SKIP() << "no expectations for this user locale";
    char digitsBefore[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDIGITS, digitsBefore, sizeof digitsBefore);
    const std::pair<std::string, std::string> cases[] = { // English, German
        {"1,234,567,890,123", "1.234.567.890.123"}, {"1,234,567.13", "1.234.567,13"}, {"5.00", "5,00"},
        {"0.50", "0,50"}, {"100.0", "100,0"}, {"123", "123"}, {"12/15/2026", "15.12.2026"}, {"5:50:12 PM", "17:50:12"},
    };
    CalendarTime t{2026, 12, 2, 15, 17, 50, 12, 0};
    const std::string printed[] = {platform::formatForUser("1234567890123", 0), platform::formatForUser("1234567.126", 2),
                                   platform::formatForUser("5", 2), platform::formatForUser("0.5", 2),
                                   platform::formatForUser("99.96", 1), platform::formatForUser("123", 0),
                                   platform::formatDate(t), platform::formatTime(t)};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(printed[i], german ? cases[i].second : cases[i].first);
    // Formatting leaves the user's own setting alone.
    char digitsAfter[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDIGITS, digitsAfter, sizeof digitsAfter);
    EXPECT_STREQ(digitsBefore, digitsAfter);
}

} // namespace
