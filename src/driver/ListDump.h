#pragma once

#include <iosfwd>

struct TrafficDatabase;
namespace platform { class CounterSource; }

// Writes every record's counts for every adapter the source reports now: the dump
// that "list" asks for.
void printList(const TrafficDatabase& database, platform::CounterSource& source, std::ostream& out);
