#pragma once

#include "database/TrafficDatabase.h"
#include "platform/CounterSource.h"

struct DiagnosticLog;

// Readings whose boot time lies this close to a record that began at a boot belong to
// that boot: the kernel's idea of the boot time moves when the clock is adjusted.
constexpr FileTime bootTimeTolerance = 15 * fileTimeSecond;

// The record a reading opens: its interval begins at the boot, or at today's local
// midnight when the boot was before it.
TrafficRecord openingRecord(FileTime bootTime, FileTime now);

// Makes the record that this reading goes into the last one: the last record when it
// has the opening record's start (or is the same boot), else a copy of the opening
// record appended. Forgets aged records that are not part of the running session.
void mergeOpening(TrafficDatabase& database, const TrafficRecord& opening);

// Folds one adapter's raw counters into the last record. Counts continue from the raw
// counters as they stood at the previous reading of the same boot session.
void mergeAdapter(TrafficDatabase& database, std::size_t index, const AdapterReading& reading,
                  CounterWidth width, const DiagnosticLog& log);
