#include "platform/windows/wmi/BootTimeText.h"

#include "base/Failures.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(BootTimeText, FieldsFollowTheirFixedPositions)
{
    const std::pair<const char*, std::array<int, 7>> cases[] = { // year, month, day, hour, minute, second, milliseconds
        {"20060301081500.000000+060", {2006, 3, 1, 8, 15, 0, 0}},
        {"20060301081500.000000-300", {2006, 3, 1, 8, 15, 0, 0}}, // the offset from UTC is ignored: local digits
        {"20261205235959.999999+000", {2026, 12, 5, 23, 59, 59, 999}}, {"20060301081500.001999+060", {2006, 3, 1, 8, 15, 0, 1}},
        {"20060301081500.", {2006, 3, 1, 8, 15, 0, 0}}, // exactly 15 characters: no microsecond digits
        {"20061301081500.000000+060", {2006, 13, 1, 8, 15, 0, 0}}, // read, though no date
        // Each field reads as atoi: blanks, a sign, digits up to another character.
        {" 7  0301081500.000000+060", {7, 3, 1, 8, 15, 0, 0}}, {"2006+3-1081500.000000+060", {2006, 3, -1, 8, 15, 0, 0}},
        {"2006030108 5x0.12x456+060", {2006, 3, 1, 8, 5, 0, 0}}, {"****************", {0, 0, 0, 0, 0, 0, 0}},
        {"20060301081500.-99999+060", {2006, 3, 1, 8, 15, 0, -99}},
    };
    for (const auto& [text, fields] : cases) {
        SCOPED_TRACE(text);
        const CalendarTime t = parseBootTimeText(text);
        EXPECT_EQ((std::array{t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds}), fields);
    }
    for (const std::string text : {"", "2006", "20060301081500"})
        EXPECT_THROW(parseBootTimeText(text), UnknownFailure) << text;
}

} // namespace
