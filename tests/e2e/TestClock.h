#pragma once

// Local wall-clock times for the runs. Every run sees the same fixed zone, 5:30 ahead of
// UTC and without daylight saving, so local midnights differ from UTC midnights and need
// no time zone database to compute.

#include <chrono>
#include <cstdint>
#include <string>

namespace e2e {

constexpr const char* testZone = "TST-5:30";
constexpr std::int64_t zoneOffsetSeconds = 5 * 3600 + 30 * 60;

// The fields a local clock shows, held as if they were UTC.
using WallClock = std::chrono::sys_seconds;

constexpr WallClock wallClock(int year, unsigned month, unsigned day, int hour = 0, int minute = 0, int second = 0)
{
    using namespace std::chrono;
    return sys_days(std::chrono::year(year) / month / day) + hours(hour) + minutes(minute) + seconds(second);
}

constexpr std::int64_t epochSeconds(WallClock local) { return local.time_since_epoch().count() - zoneOffsetSeconds; }

constexpr WallClock wallClockAt(std::int64_t epoch) { return WallClock(std::chrono::seconds(epoch + zoneOffsetSeconds)); }

constexpr WallClock midnightOf(WallClock local) { return std::chrono::floor<std::chrono::days>(local); }

// 100-nanosecond units since 1601-01-01 00:00 of the local clock, as the database stores them.
constexpr std::uint64_t fileTime(WallClock local)
{
    constexpr std::int64_t secondsFrom1601To1970 = 11'644'473'600;
    return static_cast<std::uint64_t>(local.time_since_epoch().count() + secondsFrom1601To1970) * 10'000'000;
}

static_assert(fileTime(wallClock(1601, 1, 1)) == 0);
static_assert(epochSeconds(wallClock(1970, 1, 1, 5, 30)) == 0);

// The text of a time stamp under de_DE.UTF-8, for example "05.12.2026 00:00:00".
std::string germanTimeStamp(WallClock local);

// The kernel's boot time, in seconds since 1970.
std::int64_t bootEpoch();

// Midnight of the local day that lies the given number of days after the boot's.
inline WallClock dayAfterBoot(int day) { return midnightOf(wallClockAt(bootEpoch())) + std::chrono::days(day); }

} // namespace e2e
