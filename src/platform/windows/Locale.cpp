#include "platform/Platform.h"

#include "platform/windows/NumberGrouping.h"
#include "platform/windows/SystemTime.h"

#include <windows.h>

namespace platform {

namespace {

constexpr int formatBufferSize = 200;

// The text a formatting call left in buffer; empty when the call failed.
std::string formatted(const char* buffer, int length) { return length > 0 ? std::string(buffer) : std::string(); }

// One setting of the user's default locale, or fallback when it can not be read.
std::string userLocaleSetting(LCTYPE setting, const char* fallback)
{
    char buffer[16];
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, setting, buffer, sizeof buffer) > 0 ? std::string(buffer)
                                                                                   : std::string(fallback);
}

unsigned digitSetting(LCTYPE setting, unsigned fallback)
{
    const std::string text = userLocaleSetting(setting, "");
    return !text.empty() && text[0] >= '0' && text[0] <= '9' ? static_cast<unsigned>(text[0] - '0') : fallback;
}

} // namespace

std::string formatDate(const CalendarTime& time)
{
    const SYSTEMTIME fields = systemTime(time);
    char buffer[formatBufferSize];
    return formatted(buffer, GetDateFormatA(LOCALE_USER_DEFAULT, 0, &fields, nullptr, buffer, formatBufferSize));
}

std::string formatTime(const CalendarTime& time)
{
    const SYSTEMTIME fields = systemTime(time);
    char buffer[formatBufferSize];
    return formatted(buffer, GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &fields, nullptr, buffer, formatBufferSize));
}

// The system's locale calls cost next to nothing: every number reads the settings
// afresh, and nothing is handed on.
UserNumbers userNumbers(const UserNumbers&) { return {}; }

std::string formatForUser(std::string_view decimalText, int fractionDigits)
{
    // Every setting but the count of fraction digits is the user's own, read from the
    // locale rather than left to GetNumberFormatA: given no NUMBERFMT, some systems
    // group only once. The user's own setting is never changed.
    std::string decimalSeparator = userLocaleSetting(LOCALE_SDECIMAL, ".");
    std::string thousandsSeparator = userLocaleSetting(LOCALE_STHOUSAND, ",");
    NUMBERFMTA format{};
    format.NumDigits = static_cast<UINT>(fractionDigits);
    format.LeadingZero = digitSetting(LOCALE_ILZERO, 1);
    format.Grouping = numberFormatGrouping(userLocaleSetting(LOCALE_SGROUPING, "3;0"));
    format.lpDecimalSep = decimalSeparator.data();
    format.lpThousandSep = thousandsSeparator.data();
    format.NegativeOrder = digitSetting(LOCALE_INEGNUMBER, 1);

    const std::string number(decimalText);
    char buffer[formatBufferSize];
    return formatted(buffer,
                     GetNumberFormatA(LOCALE_USER_DEFAULT, 0, number.c_str(), &format, buffer, formatBufferSize));
}

} // namespace platform
