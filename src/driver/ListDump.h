#pragma once

#include <iosfwd>

struct Reading;
struct TrafficDatabase;
namespace platform { struct AdapterChoice; }

// Writes every record's counts for each adapter of the reading that counts, adapter
// number 0 first: the dump that "list" asks for.
void printList(const TrafficDatabase& database, const Reading& reading, const platform::AdapterChoice& choice,
               std::ostream& out);
