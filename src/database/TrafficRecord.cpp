#include "database/TrafficRecord.h"

namespace {

template <class Count>
std::uint64_t adapterSum(const TrafficRecord& record, int adapterIndex, Count count)
{
    if (adapterIndex >= 0 && static_cast<std::size_t>(adapterIndex) < record.adapters.size())
        return count(record.adapters[static_cast<std::size_t>(adapterIndex)]);
    std::uint64_t sum = 0;
    for (const AdapterCounters& entry : record.adapters)
        sum += count(entry);
    return sum;
}

} // namespace

std::uint64_t TrafficRecord::sentBytes(int adapterIndex) const
{
    return adapterSum(*this, adapterIndex,
                      [](const AdapterCounters& e) { return static_cast<std::uint64_t>(e.sent); });
}

std::uint64_t TrafficRecord::receivedBytes(int adapterIndex) const
{
    return adapterSum(*this, adapterIndex, [](const AdapterCounters& e) {
        return static_cast<std::uint64_t>(e.received);
    });
}

std::uint64_t TrafficRecord::totalBytes(int adapterIndex) const
{
    return adapterSum(*this, adapterIndex, [](const AdapterCounters& e) {
        return static_cast<std::uint64_t>(e.sent) + static_cast<std::uint64_t>(e.received);
    });
}
