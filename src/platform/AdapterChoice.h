#pragma once

// Which of a reading's adapters count, and under which numbers: one rule for every
// source, applied to the facts the source reports.

#include "platform/CounterSource.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The most adapters a record holds: it stores its entry count in one byte.
constexpr std::size_t maxCountedAdapters = 255;

struct AdapterChoice {
    // The positions in the reading of the adapters that count, adapter number 0 first.
    std::vector<std::size_t> numbered;
    // How many of them, from the first, a record holds; those after are numbered and
    // listed, but left out of every total.
    std::size_t counted = 0;
};

// The loopback never counts. Where patterns are given, the adapters whose names match
// one of them count; else the physical ones, or every one where there is none (a
// container). Virtual adapters carry bytes that a physical one counts too, and physical
// ones come first, so that they keep their numbers while virtual ones come and go.
AdapterChoice chooseAdapters(const std::vector<AdapterReading>& adapters,
                             const std::optional<std::vector<std::string>>& patterns);

// The environment variable BRIMLET_ADAPTERS: the names of the adapters that count, as
// space-separated shell-style patterns ('*', '?', '[...]'); nothing where the variable
// is unset or holds none.
std::optional<std::vector<std::string>> adapterPatterns();

// Whether the whole name matches the pattern, as fnmatch(3) without flags answers: '*'
// any run of characters, '?' any one, "[...]" one of a set ('!' or '^' first negates,
// ranges of unsigned byte values), a backslash the next character itself. Character
// classes ("[:digit:]") are not read as such. Time grows with the product of the two
// lengths at most.
bool matchesPattern(std::string_view pattern, std::string_view name);

} // namespace platform
