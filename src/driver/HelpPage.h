#pragma once

#include <iosfwd>

struct Reading;
namespace platform { struct AdapterChoice; }

// The usage text of the help page.
void printUsage(std::ostream& out);

// The help page's list of the adapters that count, with their raw counters, so that the
// user can pick an adapter number.
void printAdapters(const Reading& reading, const platform::AdapterChoice& choice, std::ostream& out);
