#include "platform/Platform.h"

#include "platform/windows/SystemTime.h"

namespace platform {

CalendarTime localNow()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return calendarTime(now);
}

} // namespace platform
