#include "platform/Platform.h"

#include "platform/windows/SystemTime.h"

namespace platform {

ClockReading readClock()
{
    SYSTEMTIME local{};
    GetLocalTime(&local);
    FILETIME utc{};
    GetSystemTimeAsFileTime(&utc);
    ClockReading clock;
    clock.local = calendarTime(local);
    clock.localTime = toFileTime(clock.local).value_or(0);
    clock.utc = (static_cast<FileTime>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
    return clock;
}

} // namespace platform
