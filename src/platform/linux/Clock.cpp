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

FileTime utcNow()
{
    constexpr std::int64_t secondsFrom1601To1970 = 11'644'473'600;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<FileTime>(now.tv_sec + secondsFrom1601To1970) * fileTimeSecond
           + static_cast<FileTime>(now.tv_nsec / 100);
}

} // namespace platform
