#include "platform/windows/wmi/BootTimeText.h"

#include "base/Failures.h"

namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The integer at the start of text, read as atoi reads it. The fields are at most six
// characters long, so the value can not overflow.
int leadingInteger(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    int value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = value * 10 + (text[at] - '0');
    return negative ? -value : value;
}

} // namespace

CalendarTime parseBootTimeText(std::string_view text)
{
    if (text.size() < 15)
        throw UnknownFailure("boot time text too short");
    CalendarTime time;
    time.year = leadingInteger(text.substr(0, 4));
    time.month = leadingInteger(text.substr(4, 2));
    time.day = leadingInteger(text.substr(6, 2));
    time.hour = leadingInteger(text.substr(8, 2));
    time.minute = leadingInteger(text.substr(10, 2));
    time.second = leadingInteger(text.substr(12, 2));
    time.milliseconds = leadingInteger(text.substr(15, 6)) / 1000;
    return time;
}

int utcOffsetMinutes(std::string_view text)
{
    if (text.size() < 25 || (text[21] != '+' && text[21] != '-'))
        return 0;
    return leadingInteger(text.substr(21, 4));
}
