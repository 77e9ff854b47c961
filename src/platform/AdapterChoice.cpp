#include "platform/AdapterChoice.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace platform {

namespace {

// What one position of a pattern does with one character of a name: whether it matches,
// and where the pattern goes on after it. Every element but '*' takes exactly one
// character, which is what lets matchesPattern remember only the last star.
struct Step {
    bool matches = false;
    std::size_t next = 0;
};

// A bracket expression at pattern[start] == '[' against c, the way fnmatch(3) reads one:
// '!' or '^' first negates, ']' first (after it) stands for itself, "a-z" is a range of
// unsigned byte values, a backslash takes the next character as it is. A bracket that is
// never closed makes its '[' an ordinary character, unless it ends in a lone backslash or,
// before c matched, in a range without its end: then it matches nothing.
Step bracketStep(std::string_view pattern, std::size_t start, unsigned char c)
{
    const std::size_t size = pattern.size();
    auto unescaped = [&](std::size_t& at, unsigned char& out) {
        if (pattern[at] == '\\' && ++at == size)
            return false;
        out = static_cast<unsigned char>(pattern[at++]);
        return true;
    };
    std::size_t at = start + 1;
    const bool negated = at < size && (pattern[at] == '!' || pattern[at] == '^');
    at += negated;
    bool found = false;
    for (bool first = true; at < size && (first || pattern[at] != ']'); first = false) {
        unsigned char low = 0;
        if (!unescaped(at, low))
            return {};
        if (at < size && pattern[at] == '-' && (at + 1 == size || pattern[at + 1] != ']')) {
            unsigned char high = 0;
            if (++at == size && !found && low != c)
                return {};
            if (at < size && !unescaped(at, high))
                return {};
            found = found || (low <= c && c <= high);
        } else {
            found = found || low == c;
        }
    }
    if (at == size)
        return {c == '[', start + 1};
    return {found != negated, at + 1};
}

Step step(std::string_view pattern, std::size_t at, unsigned char c)
{
    switch (pattern[at]) {
    case '?':
        return {true, at + 1};
    case '[':
        return bracketStep(pattern, at, c);
    case '\\':
        if (at + 1 == pattern.size()) // a trailing backslash matches nothing
            return {};
        ++at;
        [[fallthrough]];
    default:
        return {static_cast<unsigned char>(pattern[at]) == c, at + 1};
    }
}

} // namespace

bool matchesPattern(std::string_view pattern, std::string_view name)
{
    // On a mismatch the last star takes one more character and the pattern starts again
    // after it: an earlier star could take no more than the later one does, so time
    // grows with the product of the lengths, never exponentially.
    constexpr std::size_t none = std::string_view::npos;
    std::size_t p = 0, n = 0, star = none, starName = 0;
    for (;;) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = ++p;
            starName = n;
            continue;
        }
        if (n == name.size())
            return p == pattern.size();
        if (p < pattern.size()) {
            if (const Step next = step(pattern, p, static_cast<unsigned char>(name[n])); next.matches) {
                p = next.next;
                ++n;
                continue;
            }
        }
        if (star == none)
            return false;
        p = star;
        n = ++starName;
    }
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
