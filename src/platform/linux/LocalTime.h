#pragma once

#include "base/FileTime.h"

#include <cstdint>
#include <ctime>
#include <optional>

namespace platform {

constexpr std::int64_t secondsFrom1601To1970 = 11'644'473'600;

// The two instants a run turns into local time: the memo keeps the offset of each apart.
enum class LocalInstant { clock, boot };

// The local wall clock's fields at t (seconds since 1970 UTC), as localtime_r gives them:
// from the zone memo where it holds t, else from the C library, whose answer the memo
// then keeps for the next run. Nothing where the time has no local date.
std::optional<CalendarTime> localCalendar(time_t t, LocalInstant instant);

// The zone memo lives in the database's lock file, which only its owner can write: a run
// reads it once it holds the lock, and writes it back before letting the lock go where
// it learned something new. Loading the zone costs a run more than all its arithmetic;
// the memo spares that in nearly every run. A run without the lock keeps no memo.
void readZoneMemo(int lockFile);
void writeZoneMemo(int lockFile);

} // namespace platform
