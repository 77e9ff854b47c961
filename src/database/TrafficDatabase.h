#pragma once

#include "database/TrafficRecord.h"

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

struct CalendarTime;
struct DiagnosticLog;
namespace platform { class CounterSource; }

// How long records are kept: a fixed 365 days.
constexpr FileTime retentionSpan = 365 * fileTimeDay;

// The traffic database of one measured computer.
struct TrafficDatabase {
    // The records of the last 365 days, in creation order. Only the last one is ever
    // changed.
    std::vector<TrafficRecord> records;
    // Records older than that, kept only while they may belong to the boot session
    // still running: the merge needs them to know what the counters stood at. They
    // are never shown, and leave the file once their session is over.
    std::vector<TrafficRecord> agedRecords;
    std::filesystem::path path;

    // Reads the file at path; a missing file is an empty database. now is the local
    // time that decides which records are older than 365 days.
    void load(const std::filesystem::path& path, FileTime now);
    // Writes every record back to the file at path, atomically.
    void save() const;

    // Writes the pattern with its conversions replaced by totals as of now.
    void printPattern(std::string_view pattern, const CalendarTime& now, std::ostream& out) const;
    // Writes every record's counts for every adapter the source reports now.
    void printList(platform::CounterSource& source, std::ostream& out) const;
};

// The file form of the records: a 32-bit record count, then per record its start,
// a one-byte entry count and 16 bytes per entry, all little-endian.
std::string encodeRecords(const std::vector<TrafficRecord>& aged, const std::vector<TrafficRecord>& records);

// The records a file's content holds, as far as they are complete, split at the
// cut-off into those older than it and the rest.
void decodeRecords(std::string_view content, FileTime cutOff, std::vector<TrafficRecord>& aged,
                   std::vector<TrafficRecord>& records);
