#pragma once

// Runs of the real program shared by the proof tests: pattern-mode runs in a private
// network namespace at a frozen local time.

#include "Harness.h"
#include "TestClock.h"

#include <string>
#include <vector>

namespace proof {

// Midnight of the local day that lies the given number of days after the boot's.
inline e2e::WallClock dayAfterBoot(int day)
{
    return e2e::midnightOf(e2e::wallClockAt(e2e::bootEpoch())) + std::chrono::days(day);
}

// A pattern-mode run with the pattern "ok" (no conversion: what it leaves behind is its
// database), inside the namespace, at the given local time; extra options as given.
inline e2e::RunOptions patternRun(const std::string& networkNamespace, e2e::WallClock at,
                                  std::vector<std::string> arguments = {"ok"})
{
    e2e::RunOptions options;
    options.arguments = std::move(arguments);
    options.networkNamespace = networkNamespace;
    options.frozenClock = e2e::epochSeconds(at);
    return options;
}

} // namespace proof
