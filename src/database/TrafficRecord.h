#pragma once

#include "base/FileTime.h"
#include "platform/AdapterChoice.h"

#include <cstddef>
#include <cstdint>

// Bytes one adapter sent and received within one record. Stored signed; totals read
// the same bits unsigned.
struct AdapterCounters {
    std::int64_t sent = 0;
    std::int64_t received = 0;

    bool operator==(const AdapterCounters&) const = default;
};

// One interval of one boot session: from a boot or a local midnight until the next.
// Its counts stay in the database's file form; the record says where they lie.
struct TrafficRecord {
    // The file stores the entry count in one byte; the adapter choice counts no more.
    static constexpr std::size_t maxAdapters = platform::maxCountedAdapters;

    FileTime intervalStart = 0;  // the record's key
    FileTime bootTime = 0;       // known only for the record this run updates
    std::size_t entriesAt = 0;   // where entry 0 (adapter number 0) begins in the file form
    std::size_t entryCount = 0;

    bool operator==(const TrafficRecord&) const = default;
};
