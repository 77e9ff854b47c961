#pragma once

#include <string>
#include <string_view>

namespace platform {

// A name from the system or a remote agent as the terminal and the log show it: control
// characters (C0, DEL, and C1 in their UTF-8 form) as visible escapes ("\n", "\x1b",
// "\xc2\x9b"), so that a name can neither move the cursor nor forge a line; every other
// byte as it is.
std::string visibleText(std::string_view text);

} // namespace platform
