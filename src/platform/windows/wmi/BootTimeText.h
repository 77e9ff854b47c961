#pragma once

#include "base/FileTime.h"

#include <string_view>

// The calendar fields of a WMI datetime text such as "20060301081500.000000+060":
// year, month, day, hour, minute and second from their fixed positions, milliseconds
// from the six microsecond digits; the offset from UTC is ignored, the digits being
// local wall-clock time. Each field reads like atoi: blanks, a sign, then digits up
// to the first other character; no digits give 0. The result is not checked for
// being a valid date. A text shorter than 15 characters raises an UnknownFailure.
CalendarTime parseBootTimeText(std::string_view text);

// The offset from UTC in minutes that the text carries after its microseconds, as in
// "+060" or "-300"; 0 where the text has none.
int utcOffsetMinutes(std::string_view text);
