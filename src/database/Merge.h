#pragma once

#include "database/MergeSession.h"
#include "platform/CounterSource.h"
#include "platform/Platform.h"

struct DiagnosticLog;

// The record a reading opens: its interval begins at the boot, or at today's local
// midnight when the boot was before it.
TrafficRecord openingRecord(FileTime bootTime, FileTime now);

// Starts this run's state and makes the record that the reading goes into the last
// one. With the last run's state of the same boot the session goes on with the boot
// time its records were written with, whatever the clock or the time zone now say;
// otherwise the boot's local time opens it. The record begins at or before the clock.
// A boot of no identity (no id, no UTC time) counts from the records alone.
TrafficRecord openReading(TrafficDatabase& database, MergeSession& session, const BootReading& boot,
                          const ClockReading& clock);

// Makes the record that this reading goes into the last one: the last record when it
// has the opening record's start (or is the same boot), else a copy of the opening
// record appended. Forgets aged records that are not part of the running session.
void mergeOpening(TrafficDatabase& database, const TrafficRecord& opening);

// Makes the next run's state remember every adapter the boot has shown, after the ones
// this run counted: an adapter of the reading that it did not count with its counters as
// read, or, with keepUncounted (the patterns chose the adapters, and another run may
// count it), as they stood when it was last counted; then every adapter that the last
// state of this boot knew and this reading lacks. Neither is then counted whole by a
// later run. At most maxRememberedAdapters, the most recent first.
void rememberAdapters(MergeSession& session, const std::vector<AdapterReading>& adapters, bool keepUncounted);

// The bytes that flowed between two readings of one raw counter, elapsed 100-ns units
// apart. A 64-bit counter that went down was made anew and counts from zero. A 32-bit
// one wrapped only when the bytes that implies could flow in that time at 10 Gbit/s;
// otherwise it, too, started again.
std::uint64_t counterDifference(CounterWidth width, std::uint64_t previous, std::uint64_t raw, FileTime elapsed);

// Folds the raw counters of adapter number into the last record and notes them in the
// run's state. With a state of the last run each adapter adds its difference to its own
// previous reading (found by name and index; an adapter the state does not know counts
// whole); without one, counts continue from the sums of the session's records. number
// is below platform::maxCountedAdapters.
void mergeAdapter(TrafficDatabase& database, MergeSession& session, std::size_t number,
                  const AdapterReading& reading, const DiagnosticLog& log);
