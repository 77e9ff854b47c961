#include "platform/Platform.h"

#include "platform/linux/LocalTime.h"

#include <ctime>

namespace platform {

ClockReading readClock()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    ClockReading clock;
    clock.local = localCalendar(now.tv_sec, LocalInstant::clock).value_or(CalendarTime{});
    clock.local.milliseconds = static_cast<int>(now.tv_nsec / 1'000'000);
    clock.localTime = toFileTime(clock.local).value_or(0);
    clock.utc = static_cast<FileTime>(now.tv_sec + secondsFrom1601To1970) * fileTimeSecond
                + static_cast<FileTime>(now.tv_nsec / 100);
    return clock;
}

} // namespace platform
