#pragma once

#include <windows.h>

#include <string>

namespace platform {

// The system's own description of an error code, without its closing line break.
std::string systemErrorText(DWORD error);

} // namespace platform
