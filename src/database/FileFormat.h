#pragma once

// The layout of the files the program keeps, named once for the code that reads and
// writes them. Every number is little-endian; docs/file-format.md describes the files.

#include <cstddef>

namespace fileFormat {

// The database: a record count, then the records, each a head (its interval start and
// an entry count) followed by its entries (bytes sent and received by one adapter).
constexpr std::size_t recordCountSize = 4;
constexpr std::size_t intervalStartSize = 8;
constexpr std::size_t entryCountSize = 1;
constexpr std::size_t recordHeadSize = intervalStartSize + entryCountSize;
constexpr std::size_t countSize = 8; // one direction's byte count
constexpr std::size_t entrySize = 2 * countSize;

// The raw counter offsets beside it: the boot they belong to and an entry count, then
// the entries as they stand after the run and as they stood before it, each four
// 64-bit values.
constexpr std::size_t offsetsBootSize = 8;
constexpr std::size_t offsetsHeadSize = offsetsBootSize + entryCountSize;
constexpr std::size_t offsetSize = 4 * 8;
constexpr std::size_t offsetTables = 2;

} // namespace fileFormat
