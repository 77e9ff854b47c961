#pragma once

#include <string_view>

// A locale's digit grouping as GetLocaleInfo gives it (LOCALE_SGROUPING: group sizes
// from the decimal point outward, separated by ';', a final 0 meaning that the last
// size repeats) in the form that NUMBERFMT.Grouping takes (the sizes as decimal
// digits, the last one repeating unless it is 0): "3;0" gives 3, "3;2;0" gives 32,
// "3" gives 30 (one group of three, then none). Holds no operating system call.
unsigned numberFormatGrouping(std::string_view localeGrouping);
