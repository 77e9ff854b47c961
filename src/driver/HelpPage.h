#pragma once

#include "base/FileTime.h"

#include <iosfwd>

struct TrafficDatabase;
struct DiagnosticLog;
struct RunSettings;
namespace platform { class CounterSource; }

// Writes the usage text, then connects to the measured computer (the settings' server,
// else the local one) and lists its adapters with their raw counters, so that the user
// can pick an adapter number.
void printHelpPage(TrafficDatabase& database, platform::CounterSource& source, const RunSettings& settings,
                   const DiagnosticLog& log, std::ostream& out, FileTime now);
