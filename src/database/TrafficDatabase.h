#pragma once

#include "database/TrafficRecord.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// How long records are kept: a fixed 365 days.
constexpr FileTime retentionSpan = 365 * fileTimeDay;

// How far one adapter's 64-bit raw counters stood from the sum of the running boot
// session's counts at the last reading. The two agree until an interface is created
// anew and its counters start again from zero; from then on the merge needs the
// difference to measure the next reading.
struct RawCounterOffset {
    std::uint64_t sessionSent = 0; // the sums the offsets were taken against
    std::uint64_t sessionReceived = 0;
    std::uint64_t sent = 0; // raw counter minus sum, modulo 2^64
    std::uint64_t received = 0;

    bool operator==(const RawCounterOffset&) const = default;
};

// The traffic database of one measured computer.
struct TrafficDatabase {
    // The records in their file form: a 32-bit record count, then per record its start,
    // a one-byte entry count and 16 bytes per entry, all little-endian, the aged records
    // first. Load and save move these bytes as they are and the merge changes them in
    // place, so a run holds one copy of its data and never takes it apart. Empty, or
    // always a whole file with the right count.
    std::string fileContent;
    // The records of the last 365 days, in creation order. Only the last one is ever
    // changed; its bytes end the file form.
    std::vector<TrafficRecord> records;
    // Records older than that, kept only while they may belong to the boot session
    // still running: the merge needs them to know what the counters stood at. They
    // are never shown, and leave the file once their session is over.
    std::vector<TrafficRecord> agedRecords;
    std::filesystem::path path;
    // Raw counter offsets by adapter number, for the boot that began at offsetsBootTime,
    // as they stand after this run, and as they stood against the file before it. Both
    // are kept (in a small file of their own beside the database, written before it and
    // only while an offset is not zero), so that whichever of the two database files a
    // run cut short leaves behind finds its own.
    FileTime offsetsBootTime = 0;
    std::vector<RawCounterOffset> rawOffsets;
    std::vector<RawCounterOffset> earlierRawOffsets;

    // Reads the file at path; a missing file is an empty database. now is the local
    // time that decides which records are older than 365 days.
    void load(const std::filesystem::path& path, FileTime now);
    // Writes every record back to the file at path, atomically.
    void save();
    // Where the raw counter offsets are kept: a hidden file that no database name can take.
    std::filesystem::path offsetsPath() const;

    // Finds the records of fileContent as far as they are whole and sorts them at the
    // cut-off into aged records and the rest. The content keeps only those records,
    // the aged ones first, and states their number.
    void indexRecords(FileTime cutOff);
    // Appends a record whose entry k holds the counts of adapter number k.
    void appendRecord(FileTime intervalStart, const std::vector<AdapterCounters>& counts = {},
                      FileTime bootTime = 0);
    // Counts of one adapter in a record; zero where the record has no entry for it.
    AdapterCounters counts(const TrafficRecord& record, std::size_t adapter) const;
    // Sets one adapter's counts in the last record, giving it the entries up to that
    // adapter's as needed. adapter is below TrafficRecord::maxAdapters.
    void setCounts(std::size_t adapter, const AdapterCounters& counts);
    // Forgets all but the newest keep aged records.
    void keepAgedRecords(std::size_t keep);
};

// Removes what saves of the database at path left behind in processes that no longer
// run: the temporary files of the database and of its offsets file.
void removeAbandonedSaves(const std::filesystem::path& path);

// The file form of raw counter offsets: the boot, a one-byte count n, then n offsets of
// 32 bytes as they stand now and n as they stood before.
std::string encodeOffsets(const TrafficDatabase& database);
// Offsets from a file's content; none unless the content is whole.
void decodeOffsets(std::string_view content, TrafficDatabase& database);
