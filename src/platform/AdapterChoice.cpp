#include "platform/AdapterChoice.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

namespace platform {

namespace {

// What one position of a pattern does with one character of a name: whether it matches,
// and where the pattern goes on after it. Every element but '*' takes exactly one
// character, which is what lets matchesPattern remember only the last star.
struct Step {
    bool matches = false;
    std::size_t next = 0;
};

// Whether c is of the named character class of the C locale; nothing for a name that
// is no class.
std::optional<bool> inClass(std::string_view name, unsigned char c)
{
    // Lambdas, since the standard library's functions may not have their address taken.
    static constexpr std::pair<std::string_view, int (*)(int)> classes[] = {
        {"alnum", [](int x) { return std::isalnum(x); }}, {"alpha", [](int x) { return std::isalpha(x); }},
        {"blank", [](int x) { return std::isblank(x); }}, {"cntrl", [](int x) { return std::iscntrl(x); }},
        {"digit", [](int x) { return std::isdigit(x); }}, {"graph", [](int x) { return std::isgraph(x); }},
        {"lower", [](int x) { return std::islower(x); }}, {"print", [](int x) { return std::isprint(x); }},
        {"punct", [](int x) { return std::ispunct(x); }}, {"space", [](int x) { return std::isspace(x); }},
        {"upper", [](int x) { return std::isupper(x); }}, {"xdigit", [](int x) { return std::isxdigit(x); }}};
    for (const auto& [className, test] : classes)
        if (className == name)
            return test(c) != 0;
    return std::nullopt;
}

// A bracket expression at pattern[start] == '[' against c, the way fnmatch(3) reads one:
// '!' or '^' first negates, ']' first (after it) stands for itself, "a-z" is a range of
// unsigned byte values, "[:digit:]" a character class, a backslash takes the next
// character as it is. A bracket that is never closed makes its '[' an ordinary
// character, unless it ends in a lone backslash, holds a class or, before c matched, ends
// in a range without its end: then it matches nothing, as does a class of no such name
// or a range that ends in a class.
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
    bool classes = false;
    const auto classAt = [&](std::size_t from) {
        return pattern.substr(from, 2) == "[:" ? pattern.find(":]", from + 2) : std::string_view::npos;
    };
    for (bool first = true; at < size && (first || pattern[at] != ']'); first = false) {
        if (const std::size_t end = classAt(at); end != std::string_view::npos) {
            const std::optional<bool> member = inClass(pattern.substr(at + 2, end - at - 2), c);
            if (!member)
                return {};
            found = found || *member;
            classes = true;
            at = end + 2;
            continue;
        }
        unsigned char low = 0;
        if (!unescaped(at, low))
            return {};
        if (at < size && pattern[at] == '-' && (at + 1 == size || pattern[at + 1] != ']')) {
            unsigned char high = 0;
            if ((++at == size && !found && low != c) || classAt(at) != std::string_view::npos)
                return {};
            if (at < size && !unescaped(at, high))
                return {};
            found = found || (low <= c && c <= high);
        } else {
            found = found || low == c;
        }
    }
    if (at == size)
        return {!classes && c == '[', start + 1};
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
    // Words apart by white space, as the C locale knows it.
    std::vector<std::string> patterns;
    const std::string_view text(value), blanks(" \t\n\v\f\r");
    for (std::size_t at = text.find_first_not_of(blanks); at != std::string_view::npos;) {
        const std::size_t after = std::min(text.find_first_of(blanks, at), text.size());
        patterns.emplace_back(text.substr(at, after - at));
        at = text.find_first_not_of(blanks, after);
    }
    if (patterns.empty())
        return std::nullopt;
    return patterns;
}

} // namespace platform
