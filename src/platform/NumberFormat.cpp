#include "platform/NumberFormat.h"

#include <algorithm>
#include <cstddef>

namespace {

// Adds one unit in the last place of a digit string, carrying leftwards.
void incrementDigits(std::string& digits)
{
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9')
        digits[--i] = '0';
    if (i == 0)
        digits.insert(digits.begin(), '1');
    else
        ++digits[i - 1];
}

std::string groupDigits(std::string_view digits, const NumberFormat& format)
{
    if (format.thousandsSeparator.empty())
        return std::string(digits);
    std::string grouped;
    std::size_t end = digits.size();
    std::size_t groupSize = 0;
    for (std::size_t rule = 0;; ++rule) {
        if (rule < format.grouping.size()) {
            const auto size = static_cast<unsigned char>(format.grouping[rule]);
            if (size >= 127)
                break;
            if (size != 0)
                groupSize = size;
            else
                rule = format.grouping.size(); // repeat the size before it from now on
        }
        if (groupSize == 0 || end <= groupSize)
            break;
        end -= groupSize;
        grouped.insert(0, format.thousandsSeparator + std::string(digits.substr(end, groupSize)));
    }
    return std::string(digits.substr(0, end)) + grouped;
}

} // namespace

std::string formatNumber(std::string_view decimalText, int fractionDigits, const NumberFormat& format)
{
    const std::size_t point = decimalText.find('.');
    std::string integer(decimalText.substr(0, point));
    std::string fraction(point == std::string_view::npos ? std::string_view{} : decimalText.substr(point + 1));

    const auto kept = static_cast<std::size_t>(std::max(fractionDigits, 0));
    const bool roundUp = fraction.size() > kept && fraction[kept] >= '5';
    fraction.resize(kept, '0');
    if (roundUp) {
        std::string digits = integer + fraction;
        incrementDigits(digits);
        integer = digits.substr(0, digits.size() - kept);
        fraction = digits.substr(digits.size() - kept);
    }

    const std::size_t firstSignificant = integer.find_first_not_of('0');
    integer = firstSignificant == std::string::npos ? std::string(1, '0') : integer.substr(firstSignificant);

    std::string text = groupDigits(integer, format);
    if (kept > 0)
        text += format.decimalSeparator + fraction;
    return text;
}
