#include "platform/Platform.h"

#include "platform/linux/LocalTime.h"

#include <ctime>

namespace platform {

CalendarTime localNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return calendarTime(local, static_cast<int>(now.tv_nsec / 1'000'000));
}

} // namespace platform
