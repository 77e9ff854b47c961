#include "platform/Platform.h"

#include "platform/windows/SystemTime.h"

namespace platform {

CalendarTime localNow()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return calendarTime(now);
}

FileTime utcNow()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<FileTime>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace platform
