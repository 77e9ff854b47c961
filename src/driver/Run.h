#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// One whole run: lock, arguments, one mode, failure report, clean-up. Returns the
// exit status: 0 for every run that got the lock, -1 when another run kept it.
int runBrimlet(const std::vector<std::string>& arguments, std::ostream& out);
