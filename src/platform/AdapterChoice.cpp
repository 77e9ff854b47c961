#include "platform/AdapterChoice.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace platform {

namespace {

// Matches a bracket expression at the start of pattern against c; returns the length
// of the expression, or 0 when it is not closed (then '[' stands for itself).
std::size_t bracketLength(std::string_view pattern, char c, bool& matched)
{
    std::size_t at = 1;
    const bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
    at += negated;
    bool found = false;
    for (bool first = true; at < pattern.size() && (first || pattern[at] != ']'); first = false) {
        const char low = pattern[at];
        if (at + 2 < pattern.size() && pattern[at + 1] == '-' && pattern[at + 2] != ']') {
            found = found || (low <= c && c <= pattern[at + 2]);
            at += 3;
        } else {
            found = found || low == c;
            ++at;
        }
    }
    if (at >= pattern.size())
        return 0;
    matched = found != negated;
    return at + 1;
}

} // namespace

bool matchesPattern(std::string_view pattern, std::string_view name)
{
    if (pattern.empty())
        return name.empty();
    if (pattern[0] == '*') {
        for (std::size_t skip = 0; skip <= name.size(); ++skip)
            if (matchesPattern(pattern.substr(1), name.substr(skip)))
                return true;
        return false;
    }
    if (name.empty())
        return false;
    if (pattern[0] == '[') {
        bool matched = false;
        if (const std::size_t length = bracketLength(pattern, name[0], matched))
            return matched && matchesPattern(pattern.substr(length), name.substr(1));
    }
    return (pattern[0] == '?' || pattern[0] == name[0]) && matchesPattern(pattern.substr(1), name.substr(1));
}

AdapterChoice chooseAdapters(const std::vector<AdapterReading>& adapters,
                             const std::optional<std::vector<std::string>>& patterns)
{
    auto chosenByName = [&](const AdapterReading& adapter) {
        return std::any_of(patterns->begin(), patterns->end(),
                           [&](const std::string& pattern) { return matchesPattern(pattern, adapter.name); });
    };
    const bool anyPhysical = std::any_of(adapters.begin(), adapters.end(), [](const AdapterReading& adapter) {
        return !adapter.loopback && !adapter.isVirtual;
    });
    AdapterChoice choice;
    for (const bool virtualGroup : {false, true})
        for (std::size_t at = 0; at < adapters.size(); ++at) {
            const AdapterReading& adapter = adapters[at];
            if (!adapter.loopback && adapter.isVirtual == virtualGroup
                && (patterns ? chosenByName(adapter) : !anyPhysical || !virtualGroup))
                choice.numbered.push_back(at);
        }
    choice.counted = std::min(choice.numbered.size(), maxCountedAdapters);
    return choice;
}

std::optional<std::vector<std::string>> adapterPatterns()
{
    const char* value = std::getenv("BRIMLET_ADAPTERS");
    if (!value)
        return std::nullopt;
    std::istringstream words(value);
    std::vector<std::string> patterns;
    for (std::string word; words >> word;)
        patterns.push_back(word);
    if (patterns.empty())
        return std::nullopt;
    return patterns;
}

} // namespace platform
