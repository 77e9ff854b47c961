#include "platform/Platform.h"

#include "pattern/NumberFormat.h"

#include <clocale>
#include <langinfo.h>
#include <locale.h>

namespace platform {

namespace {

// The number settings of the locale that the environment names (LC_ALL, LC_NUMERIC,
// LANG), read into a locale object of our own so that the process's global locale
// stays as it is. A name the C library does not know gives the C locale's settings.
NumberFormat readUserNumberFormat()
{
    const locale_t locale = newlocale(LC_NUMERIC_MASK, "", locale_t{});
    if (!locale)
        return NumberFormat{};
    NumberFormat format{nl_langinfo_l(RADIXCHAR, locale), nl_langinfo_l(THOUSEP, locale),
                        nl_langinfo_l(GROUPING, locale)};
    freelocale(locale);
    return format;
}

// Read once: loading a locale costs more than the rest of a pattern, and the
// environment does not change while the program runs.
const NumberFormat& userNumberFormat()
{
    static const NumberFormat format = readUserNumberFormat();
    return format;
}

} // namespace

std::string formatForUser(std::string_view decimalText, int fractionDigits)
{
    return formatNumber(decimalText, fractionDigits, userNumberFormat());
}

} // namespace platform
