#pragma once

#include "driver/StandardOutput.h"

#include <string>
#include <vector>

// One whole run: arguments, lock, one mode, failure report, clean-up. Output that can
// not be written stops nothing: the run merges and saves as if it had been. Returns the
// exit status: 0 for a sound run, 1 for a run that reported a failure ("Program
// Exception: ", "Unknown Program Exception") or whose output could not be written, -1
// when another run kept the lock.
int runBrimlet(const std::vector<std::string>& arguments, StandardOutput& out);
