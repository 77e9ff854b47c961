#include "platform/windows/WindowsPath.h"

#include <vector>

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

} // namespace

std::string windowsPathFolder(std::string_view path)
{
    // The root: a drive, or two separators and a computer name; then its separator.
    std::size_t at = 0;
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':') {
        at = 2;
    } else if (path.size() >= 3 && isSeparator(path[0]) && isSeparator(path[1]) && !isSeparator(path[2])) {
        at = 2;
        while (at < path.size() && !isSeparator(path[at]))
            ++at;
    }
    if (at < path.size() && isSeparator(path[at]))
        ++at;
    std::string folder(path.substr(0, at));
    for (char& c : folder)
        if (c == '\\')
            c = '/';

    std::vector<std::string_view> elements;
    while (at < path.size()) {
        while (at < path.size() && isSeparator(path[at]))
            ++at;
        const std::size_t start = at;
        while (at < path.size() && !isSeparator(path[at]))
            ++at;
        if (at > start)
            elements.push_back(path.substr(start, at - start));
    }
    if (!elements.empty())
        elements.pop_back();

    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (i > 0)
            folder += '/';
        folder += elements[i];
    }
    return folder;
}
