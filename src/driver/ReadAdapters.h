#pragma once

#include "base/FileTime.h"

#include <iosfwd>

struct TrafficDatabase;
struct DiagnosticLog;
namespace platform { class CounterSource; }

// Takes one reading of every adapter. Update mode (printOnly false) merges the boot
// time and then each adapter into the database as soon as it is read; print mode
// writes one line per adapter to out and leaves the database alone.
void readAdapters(TrafficDatabase& database, platform::CounterSource& source, bool printOnly,
                  const DiagnosticLog& log, std::ostream& out, FileTime now);
