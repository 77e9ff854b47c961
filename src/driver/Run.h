#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// One whole run: arguments, lock, one mode, failure report, clean-up. Output that can
// not be written is no failure: the run goes on as if it had been. Returns the exit
// status: 0 for a sound run, 1 for a run that reported a failure ("Program Exception: ",
// "Unknown Program Exception"), -1 when another run kept the lock.
int runBrimlet(const std::vector<std::string>& arguments, std::ostream& out);
