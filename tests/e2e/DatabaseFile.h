#pragma once

// The database file as the tests write and read it, coded here on its own so that a
// fault in the program's own coding can not hide itself: a 32-bit record count, then per
// record its start (64 bits), a one-byte entry count and per entry sent and received
// (64 bits each), all little-endian.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct StoredCounts {
    std::int64_t sent = 0;
    std::int64_t received = 0;

    bool operator==(const StoredCounts&) const = default;
};

struct StoredRecord {
    std::uint64_t start = 0;
    std::vector<StoredCounts> entries;

    bool operator==(const StoredRecord&) const = default;
};

std::string encodeDatabase(const std::vector<StoredRecord>& records);
// Throws unless the content is exactly a count and that many whole records.
std::vector<StoredRecord> decodeDatabase(std::string_view content);

std::ostream& operator<<(std::ostream& out, const StoredCounts& counts);
std::ostream& operator<<(std::ostream& out, const StoredRecord& record);

} // namespace e2e
