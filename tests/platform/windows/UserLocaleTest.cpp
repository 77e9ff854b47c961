#include "platform/Platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct LocaleCase {
    const wchar_t* locale;
    const char* grouped;   // 1234567890123 with no fraction digits
    const char* rounded;   // 1234567.126 with two
    const char* padded;    // 5 with two
    const char* small;     // 0.5 with two
    const char* roundedUp; // 99.96 with one
    const char* date;      // 2026-12-15
    const char* time;      // 17:50:12
};

// The user locale that the test runs under; under Wine it follows LC_ALL.
std::wstring userLocaleName()
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    return name;
}

TEST(UserLocale, NumbersDatesAndTimes)
{
    const LocaleCase cases[] = {
        {L"en-US", "1,234,567,890,123", "1,234,567.13", "5.00", "0.50", "100.0", "12/15/2026", "5:50:12 PM"},
        {L"de-DE", "1.234.567.890.123", "1.234.567,13", "5,00", "0,50", "100,0", "15.12.2026", "17:50:12"},
    };
    const std::wstring locale = userLocaleName();
    for (const LocaleCase& c : cases) {
        if (locale != c.locale)
            continue;
        EXPECT_EQ(platform::formatForUser("1234567890123", 0), c.grouped);
        EXPECT_EQ(platform::formatForUser("1234567.126", 2), c.rounded);
        EXPECT_EQ(platform::formatForUser("5", 2), c.padded);
        EXPECT_EQ(platform::formatForUser("0.5", 2), c.small);
        EXPECT_EQ(platform::formatForUser("99.96", 1), c.roundedUp);
        EXPECT_EQ(platform::formatForUser("123", 0), "123");

        CalendarTime t;
        t.year = 2026;
        t.month = 12;
        t.day = 15;
        t.dayOfWeek = 2;
        t.hour = 17;
        t.minute = 50;
        t.second = 12;
        EXPECT_EQ(platform::formatDate(t), c.date);
        EXPECT_EQ(platform::formatTime(t), c.time);
        return;
    }
    GTEST_SKIP() << "no expectations for this user locale";
}

TEST(UserLocale, FormattingLeavesTheUserSettingAlone)
{
    char before[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDIGITS, before, sizeof before);
    platform::formatForUser("1.5", 1);
    platform::formatForUser("1", 0);
    char after[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDIGITS, after, sizeof after);
    EXPECT_STREQ(before, after);
}

} // namespace
