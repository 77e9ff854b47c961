#pragma once

// The environment variable BRIMLET_ADAPTERS: the names of the adapters that count, as
// space-separated shell-style patterns ('*', '?', '[...]').

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The patterns, or nothing where the variable is unset or holds none.
std::optional<std::vector<std::string>> adapterPatterns();

// Whether the name matches one of the patterns.
bool matchesAny(const std::vector<std::string>& patterns, std::string_view name);

// Whether the whole name matches the pattern, as a shell matches a file name.
bool matchesPattern(std::string_view pattern, std::string_view name);

} // namespace platform
