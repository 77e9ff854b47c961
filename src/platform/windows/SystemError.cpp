#include "platform/windows/SystemError.h"

namespace platform {

std::string systemErrorText(DWORD error)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string description = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
    LocalFree(text);
    while (!description.empty()
           && (description.back() == '\n' || description.back() == '\r' || description.back() == ' '
               || description.back() == '.'))
        description.pop_back();
    return description;
}

} // namespace platform
