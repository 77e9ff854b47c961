#pragma once

#include "database/TrafficDatabase.h"

#include <cstddef>

// The benchmark's database: count records of four adapters with fixed pseudo-random
// counts, evenly spaced so that the newest began six hours before now and the oldest
// 364.75 days before it, inside the 365 days that a load keeps. 730 records are two a
// day for a year.
TrafficDatabase sampleDatabase(std::size_t count, FileTime now);
