#include "pattern/PatternPrinter.h"

#include "database/TrafficDatabase.h"
#include "pattern/Conversion.h"
#include "pattern/NumberRendering.h"
#include "pattern/PeriodTotals.h"

#include <algorithm>

namespace {

// Applies a modifier byte other than 'n'; bytes that are no modifier are ignored.
void applyModifier(ConversionSpec& conversion, char modifier, const PeriodBoundaries& periods)
{
    switch (modifier) {
    case 's': conversion.grouped = true; break;
    case 'k': conversion.divisor = std::uint64_t{1} << 10; break;
    case 'm': conversion.divisor = std::uint64_t{1} << 20; break;
    case 'g': conversion.divisor = std::uint64_t{1} << 30; break;
    case 'e': conversion.divisor = std::uint64_t{1} << 40; break;
    case 'a': conversion.automatic = true; break;
    case 'r': conversion.rate = true; break;
    case 'D':
        conversion.periodStart = periods.todayStart;
        conversion.periodEnd = periods.todayEnd;
        break;
    case 'M':
        conversion.periodStart = periods.monthStart;
        conversion.periodEnd = periods.todayEnd;
        break;
    default: break;
    }
}

std::string render(const ConversionSpec& conversion, std::uint64_t total)
{
    if (conversion.automatic)
        return renderAutomatic(total);
    if (conversion.grouped)
        return renderGrouped(total, conversion.divisor);
    return renderPlain(total, conversion.divisor);
}

// What a conversion that the end of the pattern cut off writes: nothing unless it
// asked for a formatted number, which is then the rendering of 0.
void writeCutOff(const ConversionSpec& conversion, TextSink& out)
{
    if (conversion.automatic || conversion.grouped)
        out.write(render(conversion, 0));
}

} // namespace

void printPattern(const TrafficDatabase& database, std::string_view pattern, const CalendarTime& now,
                  TextSink& out, int monthStartDay, const ReadingRate& rate)
{
    const PeriodBoundaries periods = periodBoundaries(now, monthStartDay);
    const std::size_t end = pattern.size();
    std::size_t cursor = 0;
    while (cursor < end) {
        if (pattern[cursor] != '%') {
            // The literal bytes up to the next conversion, as they stand.
            const std::size_t next = std::min(pattern.find('%', cursor), end);
            out.write(pattern.substr(cursor, next - cursor));
            cursor = next;
            continue;
        }

        ConversionSpec conversion;
        if (++cursor == end)
            return;
        if (pattern[cursor] == '%') {
            out.write("%");
            ++cursor;
            continue;
        }
        if (pattern[cursor] == 'b') {
            out.write("\n");
            out.flush();
            ++cursor;
            continue;
        }

        // Modifiers run up to the first 'u', 'd' or 't' that no 'n' consumed.
        if (pattern[cursor] != 'u') {
            while (pattern[cursor] != 'd' && pattern[cursor] != 't') {
                if (pattern[cursor] == 'n') {
                    if (cursor + 1 < end) {
                        ++cursor;
                        conversion.adapterIndex = static_cast<signed char>(pattern[cursor]) - '0';
                    }
                } else {
                    applyModifier(conversion, pattern[cursor], periods);
                }
                if (++cursor == end) {
                    writeCutOff(conversion, out);
                    return;
                }
                if (pattern[cursor] == 'u')
                    break;
            }
        }

        const char identifier = pattern[cursor];
        const std::uint64_t value =
            conversion.rate ? bytesPerSecond(rate, identifier, chosenAdapter(database, conversion.adapterIndex))
                            : periodTotal(database, identifier, conversion.periodStart, conversion.adapterIndex,
                                          conversion.periodEnd);
        out.write(render(conversion, value));
        ++cursor;
    }
}
