#pragma once

#include "base/FileTime.h"

#include <iosfwd>

struct TrafficDatabase;
struct DiagnosticLog;
namespace platform { class CounterSource; }

// Writes the usage text, then connects to the local computer and lists its adapters
// with their raw counters, so that the user can pick an adapter number.
void printHelpPage(TrafficDatabase& database, platform::CounterSource& source, const DiagnosticLog& log,
                   std::ostream& out, FileTime now);
