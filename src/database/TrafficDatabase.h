#pragma once

#include "database/TrafficRecord.h"
#include "platform/Platform.h"

#include <filesystem>
#include <string>
#include <vector>

// How long records are kept: a fixed 365 days.
constexpr FileTime retentionSpan = 365 * fileTimeDay;

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
    // The file as the load found it, while fileContent is that file but for the bytes
    // from changedBegin to changedEnd; none once the content took another shape (a
    // record added or dropped, an entry added, a file mended on load, no file).
    std::optional<platform::FileStamp> loadedFile;
    std::size_t changedBegin = 0;
    std::size_t changedEnd = 0;

    // Reads the file at path; a missing file is an empty database. now is the local
    // time that decides which records are older than 365 days.
    void load(const std::filesystem::path& path, FileTime now);
    // Writes every record to the file at path: where only counts of the last record
    // changed, within one whole-write span, over those bytes in place; otherwise a new
    // file atomically takes the old one's place. Either way the file then holds exactly
    // fileContent; where nothing changed, nothing is written.
    void save(const std::filesystem::path& path);
    // Whether save writes in place (or not at all).
    bool savesInPlace() const;

    // Finds the records of fileContent as far as they are whole and sorts them at the
    // cut-off (365 days before the run's clock) into aged records and the rest. So that
    // one run under a clock far ahead ages nothing, the cut-off is never later than 365
    // days before the day after the newest record that began by that clock. The content
    // keeps only those records, the aged ones first, and states their number.
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
