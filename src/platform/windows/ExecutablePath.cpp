#include "platform/Platform.h"

#include "base/Failures.h"
#include "platform/windows/SystemError.h"
#include "platform/windows/WindowsPath.h"

#include <windows.h>

#include <string>

namespace platform {

namespace {

// The executable's full name in the ANSI code page; the buffer grows until the name
// fits, for folders deeper than MAX_PATH.
std::string moduleFileName()
{
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer.data(),
                                                static_cast<DWORD>(buffer.size()));
        if (length == 0)
            throw ProgramError("Can not find the program's own file: " + systemErrorText(GetLastError()));
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Narrow text of the ANSI code page as the wide text that Windows paths are made of.
std::wstring wideText(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (length == 0
        || MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length) != length)
        throw ProgramError("Can not read the program's folder name");
    return wide;
}

} // namespace

std::filesystem::path executableFolder()
{
    // Built from wide text: the standard library's own conversion of narrow path text
    // differs between compilers.
    return std::filesystem::path(wideText(windowsPathFolder(moduleFileName())));
}

} // namespace platform
