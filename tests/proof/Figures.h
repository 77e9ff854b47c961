#pragma once

// The figures a proof test reaches (kills survived, runs held at once, inputs tried),
// printed as "[figure] Suite.Test: name = value" lines, which scripts/test.sh collects
// from the test log, and kept as properties of the test in its XML report.

#include <cstdint>
#include <string>

namespace proof {

void reportFigure(const std::string& name, std::int64_t value);

} // namespace proof
