#pragma once

#include "database/TrafficRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How wide the source's raw counters are: 32-bit counters wrap around, 64-bit ones
// only ever start again from zero when their interface is created anew.
enum class CounterWidth { bits32, bits64 };

// One adapter's raw counters since boot, as read; a counter that could not be read is
// absent.
struct AdapterReading {
    std::string name;
    std::optional<std::uint64_t> sent;
    std::optional<std::uint64_t> received;
};

// One run's reading, in the order it reaches the merge: the opening record first,
// then entry i for the adapter numbered i.
struct CounterSample {
    TrafficRecord opening;
    std::vector<AdapterReading> readings;
    CounterWidth width = CounterWidth::bits32;
};
