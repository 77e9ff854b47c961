#pragma once

#include "database/FileTime.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <vector>

// Bytes one adapter sent and received within one record. Stored signed; totals read
// the same bits unsigned.
struct AdapterCounters {
    std::int64_t sent = 0;
    std::int64_t received = 0;

    bool operator==(const AdapterCounters&) const = default;
};

// One interval of one boot session: from a boot or a local midnight until the next.
struct TrafficRecord {
    // The file stores the entry count in one byte.
    static constexpr std::size_t maxAdapters = 255;

    std::vector<AdapterCounters> adapters; // entry k belongs to adapter number k
    FileTime bootTime = 0;                 // known only for the record this run updates
    FileTime intervalStart = 0;            // the record's key

    // Counts of one adapter, or of all adapters when the index is negative or
    // beyond this record's entries.
    std::uint64_t sentBytes(int adapterIndex) const;
    std::uint64_t receivedBytes(int adapterIndex) const;
    std::uint64_t totalBytes(int adapterIndex) const;

    // One line of the list dump: the record's start and the adapter's counts.
    void printRecordLine(std::ostream& out, std::size_t adapterIndex) const;

    bool operator==(const TrafficRecord&) const = default;
};
