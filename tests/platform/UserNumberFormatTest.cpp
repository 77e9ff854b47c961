#include "LocaleEnvironment.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

TEST(UserNumberFormat, FollowsTheLocaleTheEnvironmentNames)
{
    struct Case {
        const char* all;
        const char* numeric;
        const char* lang;
        const char* expected;
    };
    const Case cases[] = {
        {"en_US.UTF-8", nullptr, nullptr, "1,234,567.13"}, {"de_DE.UTF-8", nullptr, nullptr, "1.234.567,13"},
        {"fr_FR.UTF-8", nullptr, nullptr, "1\u202f234\u202f567,13"}, {"de_CH.UTF-8", nullptr, nullptr, "1\u2019234\u2019567.13"},
        {"C", nullptr, nullptr, "1234567.13"}, {"xx_XX.UTF-8", nullptr, nullptr, "1234567.13"}, // unknown: the C settings
        {nullptr, nullptr, nullptr, "1234567.13"}, {nullptr, "de_DE.UTF-8", "en_US.UTF-8", "1.234.567,13"},
        {nullptr, nullptr, "fr_FR.UTF-8", "1\u202f234\u202f567,13"}, {"en_US.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", "1,234,567.13"},
    };
    const std::string globalBefore = std::setlocale(LC_ALL, nullptr);
    for (const Case& c : cases) {
        const auto shown = [](const char* value) { return std::string(value ? value : "-"); };
        SCOPED_TRACE(shown(c.all) + " " + shown(c.numeric) + " " + shown(c.lang));
        const LocaleEnvironment environment(c.all, c.numeric, c.lang);
        EXPECT_EQ(platform::formatForUser("1234567.125", 2), c.expected);
        // Reading the user's settings leaves the process's own locale alone.
        EXPECT_EQ(std::setlocale(LC_ALL, nullptr), globalBefore);
        EXPECT_STREQ(std::localeconv()->thousands_sep, "");
    }
}

} // namespace
