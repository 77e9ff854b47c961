#pragma once

#include "base/FileTime.h"

#include <cstdint>

// The settings of one conversion of a pattern, from its '%' to its identifier. Each
// conversion starts from these defaults; nothing carries over to the next one.
struct ConversionSpec {
    bool grouped = false;          // 's': the locale's thousands separators
    std::uint64_t divisor = 1;     // 'k', 'm', 'g', 'e': binary unit
    FileTime periodStart = 0;      // 'D', 'M'; 0 admits every record
    FileTime periodEnd = ~FileTime{0}; // 'D', 'M': the clock; records that begin later count in no period
    bool automatic = false;        // 'a': unit chosen by size, with its letter
    bool rate = false;             // 'r': bytes per second since the previous reading, in no period
    std::int32_t adapterIndex = -1; // 'n' and the byte after it; negative means all adapters
};
