#pragma once

#include "base/FileTime.h"

#include <optional>
#include <string>
#include <vector>

struct DiagnosticLog;
struct MergeSession;
struct TrafficDatabase;
namespace platform { class CounterSource; }

// Takes one reading from the source and merges it into the database: the boot opens the
// record it goes into, then each adapter that counts adds its traffic. The log shows the
// boot and every chosen adapter's raw counters beside the merge's own lines.
void takeReading(TrafficDatabase& database, MergeSession& session, platform::CounterSource& source,
                 const std::optional<std::vector<std::string>>& patterns, const ClockReading& clock,
                 const DiagnosticLog& log);
