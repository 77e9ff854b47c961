#include "platform/Platform.h"

#include <windows.h>

namespace platform {

// Large pages on Windows need the "Lock pages in memory" privilege, which users do not
// hold; ordinary allocations stay as they are, their pages mapped at first touch.
void prepareForFilling(void*, std::size_t) {}

void clearSecret(std::string& text) { SecureZeroMemory(text.data(), text.size()); }

} // namespace platform
