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

// The run state beside it: a format byte, the user's number settings as the run that
// wrote it used them (their source's mark, then the decimal separator, the thousands
// separator and the grouping, each a text), a state count (1 or 2), then per state its
// head (the fingerprint of its database, the boot time in UTC, the reading's time in
// UTC, the session's local boot time, the boot's uptime, what tells its boots (bit 0:
// evidence alone, bit 1: the uptime is an agent's), the agent's boot count, the boot id
// as a text), an adapter count and the adapters, each its interface index, a hash of its
// name, its counters' width in bits and its raw sent and received counters; after the
// states, a check of every byte before it. A text is a one-byte length and that many
// bytes.
constexpr std::size_t stateFormatSize = 1;
constexpr unsigned stateFormat = 0xB3;
constexpr unsigned stateFormatWithoutNumbers = 0xB2; // the same without the number settings
constexpr std::size_t numbersSourceSize = 8;
constexpr std::size_t stateCountSize = 1;
constexpr std::size_t fingerprintSize = 8;
constexpr std::size_t stateTimeSize = 8;
constexpr std::size_t evidenceSize = 1;
constexpr std::size_t engineBootsSize = 4;
constexpr std::size_t textLengthSize = 1;
constexpr std::size_t maxTextLength = 255;
constexpr std::size_t adapterCountSize = 2;
constexpr std::size_t interfaceIndexSize = 4;
constexpr std::size_t nameHashSize = 4;
constexpr std::size_t widthSize = 1;
constexpr std::size_t adapterStateSize = interfaceIndexSize + nameHashSize + widthSize + 2 * countSize;

} // namespace fileFormat
