#include "SampleDatabase.h"

#include <cstdint>

namespace {

constexpr std::size_t adapterCount = 4;

// A fixed sequence, so that every run of the benchmark measures the same numbers.
std::uint64_t nextRandom(std::uint64_t& state)
{
    state = state * 6364136223846793005u + 1442695040888963407u;
    return state >> 16;
}

} // namespace

TrafficDatabase sampleDatabase(std::size_t count, FileTime now)
{
    const FileTime span = 364 * fileTimeDay + fileTimeDay / 2;
    const FileTime newest = now - fileTimeDay / 4;
    const FileTime step = count > 1 ? span / (count - 1) : 0;

    TrafficDatabase database;
    std::vector<AdapterCounters> counts(adapterCount);
    std::uint64_t state = 42;
    for (std::size_t i = 0; i < count; ++i) {
        for (AdapterCounters& entry : counts) {
            entry.sent = static_cast<std::int64_t>(nextRandom(state) % (std::uint64_t{1} << 31));
            entry.received = static_cast<std::int64_t>(nextRandom(state) % (std::uint64_t{1} << 34));
        }
        database.appendRecord(newest - (count - 1 - i) * step, counts);
    }
    return database;
}
