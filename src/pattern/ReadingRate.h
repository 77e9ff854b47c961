#pragma once

#include "database/TrafficRecord.h"

#include <cstdint>
#include <vector>

// What a rate needs of one run: the bytes its reading added and how long after the
// previous reading of the same boot it was taken.
struct ReadingRate {
    FileTime elapsed = 0;                 // 0 without a previous reading of this boot
    std::vector<AdapterCounters> counted; // by adapter number
};

// Bytes per second, rounded down, sent ('u'), received ('d') or both ('t') by one
// adapter, or by all when the index is negative. 0 where less than a millisecond passed:
// so short a time measures nothing, and no previous reading measures nothing at all.
std::uint64_t bytesPerSecond(const ReadingRate& rate, char identifier, int adapterIndex);
