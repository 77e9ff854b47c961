#include "pattern/NumberRendering.h"

#include "platform/Platform.h"

#include <charconv>

namespace {

// Tested from the top; a total equal to a threshold takes that row.
struct Unit {
    std::uint64_t threshold;
    double size;
    const char* letter;
};

constexpr Unit units[] = {
    {std::uint64_t{1} << 40, 1099511627776.0, "T"},
    {std::uint64_t{1} << 30, 1073741824.0, "G"},
    {std::uint64_t{1} << 20, 1048576.0, "M"},
    {std::uint64_t{1} << 10, 1024.0, "K"},
    {0, 1.0, ""},
};

// The value as a stream writes it by default: 6 significant digits, '.' as the point,
// trailing zeros dropped.
std::string sixDigitText(float value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

// The value's exact digits without an exponent; a float's decimal expansion is finite.
std::string fullDigitText(float value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                      std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

} // namespace

std::string renderPlain(std::uint64_t total, std::uint64_t divisor)
{
    return std::to_string(total / divisor);
}

std::string renderGrouped(std::uint64_t total, std::uint64_t divisor)
{
    return platform::formatForUser(renderPlain(total, divisor), 0);
}

std::string renderAutomatic(std::uint64_t total)
{
    const Unit* unit = units;
    while (total < unit->threshold)
        ++unit;
    const auto value = static_cast<float>(static_cast<double>(total) / unit->size);

    // Decimals follow the scaled value itself, before any rounding to them.
    const int fractionDigits = value < 10.0f ? 2 : value < 100.0f ? 1 : 0;

    // From about a million terabytes on, six digits need an exponent, which no number
    // format takes: the value is then written whole.
    std::string text = sixDigitText(value);
    if (text.find('e') != std::string::npos)
        text = fullDigitText(value);

    return platform::formatForUser(text, fractionDigits) + unit->letter;
}
