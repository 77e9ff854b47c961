#pragma once

#include "base/FileTime.h"

#include <iosfwd>
#include <string_view>

struct TrafficDatabase;

// Writes the pattern with its conversions replaced by the database's totals as of now;
// "this month" begins on day monthStartDay (1 to 31; see periodBoundaries).
void printPattern(const TrafficDatabase& database, std::string_view pattern, const CalendarTime& now,
                  std::ostream& out, int monthStartDay = 1);
