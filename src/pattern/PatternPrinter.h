#pragma once

#include "base/FileTime.h"
#include "base/TextSink.h"
#include "pattern/ReadingRate.h"

#include <string_view>

struct TrafficDatabase;

// Writes the pattern with its conversions replaced by the database's totals as of now,
// or by the rate of this run's reading; "this month" begins on day monthStartDay (1 to
// 31; see periodBoundaries). Each %b ends a line and flushes the sink.
void printPattern(const TrafficDatabase& database, std::string_view pattern, const CalendarTime& now,
                  TextSink& out, int monthStartDay = 1, const ReadingRate& rate = {});
