#pragma once

#include <string>
#include <string_view>

// How a locale writes numbers. The defaults are those of the C locale: a '.' and no
// grouping.
struct NumberFormat {
    std::string decimalSeparator = ".";
    std::string thousandsSeparator; // may be several bytes, e.g. U+202F in UTF-8
    // Group sizes from the right, one byte each: the last one repeats, 0 repeats the
    // one before it, CHAR_MAX (or any byte of 127 and up) ends the grouping.
    std::string grouping;

    bool operator==(const NumberFormat&) const = default;
};

// A plain decimal text (digits, at most one '.', no sign) rounded half up, or padded
// with zeros, to exactly fractionDigits digits after the separator, its integer part
// grouped as the format says.
std::string formatNumber(std::string_view decimalText, int fractionDigits, const NumberFormat& format);
