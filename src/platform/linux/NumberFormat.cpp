#include "platform/Platform.h"

#include "platform/NumberFormat.h"
#include "platform/linux/SourceMark.h"

#include <array>
#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>
#include <optional>
#include <string>

namespace platform {

namespace {

// The variables that name the number settings' locale, in the C library's order, then
// the one that sends it to folders of the user's own for its locales (LOCPATH).
using Environment = std::array<std::optional<std::string>, 4>;
constexpr const char* localeVariables[] = {"LC_ALL", "LC_NUMERIC", "LANG", "LOCPATH"};
constexpr const char* localeFiles[] = {"/usr/lib/locale/locale-archive", "/usr/lib/locale"};

Environment localeEnvironment()
{
    Environment environment;
    for (std::size_t i = 0; i < environment.size(); ++i)
        if (const char* value = std::getenv(localeVariables[i]))
            environment[i] = value;
    return environment;
}

// The number settings of the locale that the environment names, read into a locale
// object of our own so that the process's global locale stays as it is. A name the C
// library does not know gives the C locale's settings.
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

// The mark of the settings' source: the variables, and the stamps of the locale archive
// and of the folder that holds it and the locales kept as folders (which a new or
// removed locale changes). Locales in folders of the user's own (LOCPATH) get none.
std::uint64_t sourceMark(const Environment& environment)
{
    if (environment[3]) // LOCPATH
        return 0;
    std::uint64_t mark = byteCheckStart;
    for (const std::optional<std::string>& value : environment)
        mark = markText(value ? value->c_str() : nullptr, mark);
    for (const char* file : localeFiles)
        mark = markFile(file, mark);
    return mark == 0 ? 1 : mark;
}

// The settings in use, and the variables they were read under: loading the locale maps
// its files each time, so formatForUser reads them again only when a variable changed.
struct Current {
    Environment environment;
    UserNumbers numbers;
};
std::optional<Current> current;

} // namespace

UserNumbers userNumbers(const UserNumbers& known)
{
    Environment environment = localeEnvironment();
    const std::uint64_t mark = sourceMark(environment);
    const bool kept = current && current->environment == environment && current->numbers.source == mark && mark != 0;
    if (mark != 0 && known.source == mark)
        current = Current{std::move(environment), known};
    else if (!kept)
        current = Current{std::move(environment), {mark, readUserNumberFormat()}};
    return current->numbers;
}

std::string formatForUser(std::string_view decimalText, int fractionDigits)
{
    Environment environment = localeEnvironment();
    if (!current || current->environment != environment)
        current = Current{std::move(environment), {0, readUserNumberFormat()}};
    return formatNumber(decimalText, fractionDigits, current->numbers.format);
}

} // namespace platform
