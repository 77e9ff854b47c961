#include "platform/Platform.h"

#include "platform/NumberFormat.h"

#include <array>
#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>
#include <optional>
#include <string>
#include <utility>

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

// Loading the locale may open and map its files each time, so the settings are read
// again only when one of the variables that name the locale has changed.
const NumberFormat& userNumberFormat()
{
    using Environment = std::array<std::optional<std::string>, 4>;
    static constexpr const char* names[] = {"LC_ALL", "LC_NUMERIC", "LANG", "LOCPATH"};
    static std::optional<std::pair<Environment, NumberFormat>> cached;

    Environment environment;
    for (std::size_t i = 0; i < environment.size(); ++i)
        if (const char* value = std::getenv(names[i]))
            environment[i] = value;
    if (!cached || cached->first != environment)
        cached.emplace(environment, readUserNumberFormat());
    return cached->second;
}

} // namespace

std::string formatForUser(std::string_view decimalText, int fractionDigits)
{
    return formatNumber(decimalText, fractionDigits, userNumberFormat());
}

} // namespace platform
