#include "database/TrafficDatabase.h"
#include "pattern/ConversionSpec.h"
#include "pattern/NumberRendering.h"
#include "pattern/PeriodTotals.h"

#include <ostream>

namespace {

// Applies a modifier byte other than 'n'; bytes that are no modifier are ignored.
void applyModifier(ConversionSpec& spec, char modifier, const PeriodBoundaries& periods)
{
    switch (modifier) {
    case 's': spec.grouped = true; break;
    case 'k': spec.divisor = std::uint64_t{1} << 10; break;
    case 'm': spec.divisor = std::uint64_t{1} << 20; break;
    case 'g': spec.divisor = std::uint64_t{1} << 30; break;
    case 'e': spec.divisor = std::uint64_t{1} << 40; break;
    case 'a': spec.automatic = true; break;
    case 'D': spec.periodStart = periods.todayStart; break;
    case 'M': spec.periodStart = periods.monthStart; break;
    default: break;
    }
}

std::string render(const ConversionSpec& spec, std::uint64_t total)
{
    if (spec.automatic)
        return renderAutomatic(total);
    if (spec.grouped)
        return renderGrouped(total, spec.divisor);
    return renderPlain(total, spec.divisor);
}

// What a conversion that the end of the pattern cut off writes: nothing unless it
// asked for a formatted number, which is then the rendering of 0.
void writeCutOff(const ConversionSpec& spec, std::ostream& out)
{
    if (spec.automatic || spec.grouped)
        out << render(spec, 0);
}

} // namespace

void TrafficDatabase::printPattern(std::string_view pattern, const CalendarTime& now, std::ostream& out) const
{
    const PeriodBoundaries periods = periodBoundaries(now);
    const std::size_t end = pattern.size();
    std::size_t cursor = 0;
    while (cursor < end) {
        if (pattern[cursor] != '%') {
            out.put(pattern[cursor]);
            ++cursor;
            continue;
        }

        ConversionSpec spec;
        if (++cursor == end)
            return;
        if (pattern[cursor] == '%') {
            out.put('%');
            ++cursor;
            continue;
        }
        if (pattern[cursor] == 'b') {
            out.put('\n');
            out.flush();
            ++cursor;
            continue;
        }

        // The modifier list runs up to the identifier: 'd' or 't' anywhere, 'u' anywhere
        // but where 'n' consumes it.
        if (pattern[cursor] != 'u') {
            while (pattern[cursor] != 'd' && pattern[cursor] != 't') {
                if (pattern[cursor] == 'n') {
                    if (cursor + 1 < end) {
                        ++cursor;
                        spec.adapterIndex = static_cast<signed char>(pattern[cursor]) - '0';
                    }
                } else {
                    applyModifier(spec, pattern[cursor], periods);
                }
                if (++cursor == end) {
                    writeCutOff(spec, out);
                    return;
                }
                if (pattern[cursor] == 'u')
                    break;
            }
        }

        const std::uint64_t total = periodTotal(*this, pattern[cursor], spec.periodStart, spec.adapterIndex);
        out << render(spec, total);
        ++cursor;
    }
}
