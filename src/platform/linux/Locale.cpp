#include "platform/Platform.h"

#include <clocale>
#include <ctime>
#include <locale.h>

namespace platform {

namespace {

// The user's time formats, as the environment names them (LC_ALL, LC_TIME, LANG).
locale_t userTimeLocale()
{
    static const locale_t locale = [] {
        locale_t chosen = newlocale(LC_TIME_MASK, "", locale_t{});
        return chosen ? chosen : newlocale(LC_TIME_MASK, "C", locale_t{});
    }();
    return locale;
}

std::string formatWith(const char* format, const CalendarTime& time)
{
    tm fields{};
    fields.tm_year = time.year - 1900;
    fields.tm_mon = time.month - 1;
    fields.tm_mday = time.day;
    fields.tm_wday = time.dayOfWeek;
    fields.tm_hour = time.hour;
    fields.tm_min = time.minute;
    fields.tm_sec = time.second;
    char buffer[200];
    const std::size_t length = strftime_l(buffer, sizeof buffer, format, &fields, userTimeLocale());
    return std::string(buffer, length);
}

} // namespace

std::string formatDate(const CalendarTime& time) { return formatWith("%x", time); }

std::string formatTime(const CalendarTime& time) { return formatWith("%X", time); }

} // namespace platform
