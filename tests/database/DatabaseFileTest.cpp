#include "database/MergeSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <tuple>

namespace {

const FileTime now = *toFileTime({.year = 2026, .month = 12, .day = 6, .hour = 21, .minute = 32});
const FileTime day = fileTimeDay;

using Records = std::vector<std::pair<FileTime, std::vector<AdapterCounters>>>; // each record's start and counts

std::string fileOf(const Records& records)
{
    TrafficDatabase database;
    for (const auto& [start, counts] : records)
        database.appendRecord(start, counts);
    return database.fileContent;
}

// The file form of a list of the database's records, read back through their index.
std::string fileOf(const TrafficDatabase& database, const std::vector<TrafficRecord>& list)
{
    Records records;
    for (const TrafficRecord& record : list) {
        records.push_back({record.intervalStart, {}});
        for (std::size_t i = 0; i < record.entryCount; ++i)
            records.back().second.push_back(database.counts(record, i));
    }
    return fileOf(records);
}

// Records that began more than 365 days before the clock are aged: sorted to the front of
// the file (a clock set back leaves them among newer ones), and dropped when the merge
// keeps none. A clock far ahead ages nothing: the year ends a day after the newest record
// that began by the clock.
TEST(DatabaseFile, AgesRecordsOlderThan365Days)
{
    const std::tuple<std::vector<FileTime>, FileTime, std::vector<FileTime>> cases[] = { // starts, clock, the aged ones
        {{now - 365 * day, now - 365 * day - 1, now - day / 2}, now, {now - 365 * day - 1}},
        {{now - 395 * day, now - 380 * day, now - 30 * day}, now, {now - 395 * day}}, // no run for a month
        {{now - 360 * day, now}, now + 300 * day, {}},
        {{now - 366 * day, now, now + 400 * day}, now + 300 * day, {now - 366 * day}},
    };
    for (const auto& [starts, clock, agedStarts] : cases) {
        Records file, aged, kept;
        for (const FileTime start : starts) {
            file.push_back({start, {{static_cast<std::int64_t>(file.size()), 2}}});
            (std::ranges::count(agedStarts, start) ? aged : kept).push_back(file.back());
        }
        TrafficDatabase database;
        database.fileContent = fileOf(file);
        database.indexRecords(clock - retentionSpan);
        EXPECT_EQ(fileOf(database, database.records), fileOf(kept));
        EXPECT_EQ(fileOf(database, database.agedRecords), fileOf(aged));
        aged.insert(aged.end(), kept.begin(), kept.end());
        EXPECT_EQ(database.fileContent, fileOf(aged));
        database.keepAgedRecords(0);
        EXPECT_EQ(database.fileContent, fileOf(kept));
    }
}

// A damaged file, cut at any byte or claiming more or fewer records than it holds, is
// read as a sound file of the whole records within both its size and its count.
TEST(DatabaseFile, KeepsOnlyWholeRecordsOfDamagedFiles)
{
    const Records stored = {{now, {{1, 2}}}, {now + 1, {}}, {now + 2, {{3, 4}, {5, 6}}}};
    const std::string whole = fileOf(stored);
    const std::string claimsAll = "\xFF\xFF\xFF\xFF" + whole.substr(4);
    std::vector<std::pair<std::string, std::size_t>> cases = { // content, whole records
        {claimsAll, 3},
        {claimsAll.substr(0, whole.size() - 1), 2},
        {"\1" + whole.substr(1), 1},
    };
    const std::size_t ends[] = {29, 38, 79}; // where each record ends
    for (std::size_t cut = 0; cut <= whole.size(); ++cut)
        cases.emplace_back(whole.substr(0, cut), std::ranges::count_if(ends, [&](std::size_t end) { return end <= cut; }));
    for (const auto& [content, records] : cases) {
        SCOPED_TRACE(testing::PrintToString(content));
        TrafficDatabase database;
        database.fileContent = content;
        database.indexRecords(now - retentionSpan);
        const std::string kept = fileOf(Records(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(records)));
        EXPECT_EQ(fileOf(database, database.records), kept);
        EXPECT_EQ(database.fileContent, records > 0 ? kept : content.size() < 4 ? "" : std::string(4, '\0'));
        // Room never beyond what the file can hold and the one record a run may add.
        EXPECT_LE(database.records.capacity(), content.size() / 9 + 1);
    }
}

// A save writes in place only where the run changed counts of the last record within one
// whole-write span of the file that was loaded; else a new file takes its place. Either
// way the file holds exactly the content, no tail of a longer one. A link to the file as
// loaded shows which.
TEST(DatabaseFile, LoadsAndSavesBesideItsRunStateOnlyInPlaceWhereTheFileKeepsItsShape)
{
    const auto folder = std::filesystem::temp_directory_path()
                        / ("brimlet-db-" + std::to_string(std::chrono::system_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder);
    const DatabaseFiles files = databaseFiles(folder, "");
    TrafficDatabase empty;
    saveSession(empty, loadSession(empty, files, now), files); // missing: no records, the count alone
    EXPECT_EQ(platform::readFile(files.database), std::string(4, '\0'));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2); // the database and its run state
    // A state that a power cut tore (a byte of it not written) is no state.
    std::string state = *platform::readFile(files.state);
    EXPECT_TRUE(loadSession(empty, files, now).last);
    platform::replaceFile(files.state, state.replace(9, 1, "\x7f"));
    EXPECT_FALSE(loadSession(empty, files, now).last);

    // Aged records; bytes a text mode would translate; the last record's first entry spans offset 4096.
    Records stored(163, {now - 400 * day, {{0x1A0A0D, 2}}});
    stored.push_back({now - day / 2, {{0x00FF, 0x0100}, {5, 7}}});
    const std::tuple<const char*, std::string, std::function<void(TrafficDatabase&)>, bool> cases[] = {
        {"counts grow", fileOf(stored), [](TrafficDatabase& d) { d.setCounts(1, {6, 9}); d.setCounts(0, {0x00FF, 0x0101}); }, true},
        {"a change across the span", fileOf(stored), [](TrafficDatabase& d) { d.setCounts(0, {0x01FF, 0x0101}); }, false},
        {"a new record", fileOf(stored), [](TrafficDatabase& d) { d.appendRecord(now), d.setCounts(TrafficRecord::maxAdapters - 1, {1, 2}); }, false},
        {"a new entry", fileOf(stored), [](TrafficDatabase& d) { d.setCounts(2, {1, 1}); }, false},
        {"aged records dropped", fileOf(stored), [](TrafficDatabase& d) { d.keepAgedRecords(0); }, false},
        {"a damaged file", fileOf(stored) + "x", [](TrafficDatabase& d) { d.setCounts(1, {6, 9}); }, false},
        {"a file that is not the one loaded", fileOf(stored), [&](TrafficDatabase& d) {
             platform::replaceFile(files.database, std::string(4120, '\1')), d.setCounts(1, {6, 9}); }, false},
    };
    for (const auto& [name, content, change, inPlace] : cases) {
        SCOPED_TRACE(name);
        std::filesystem::remove(folder / "loaded");
        platform::replaceFile(files.database, content);
        std::filesystem::create_hard_link(files.database, folder / "loaded");
        TrafficDatabase database;
        database.load(files.database, now);
        // What one run adds at most, a record with an entry for every adapter, fits into the
        // memory the load took: neither the content nor the index is copied.
        const std::pair memory(database.fileContent.data(), database.records.data());
        change(database);
        database.save(files.database);
        EXPECT_EQ(platform::readFile(files.database), database.fileContent);
        EXPECT_EQ(platform::readFile(folder / "loaded") == database.fileContent, inPlace);
        EXPECT_EQ(std::pair(database.fileContent.data(), database.records.data()), memory);
    }
    std::filesystem::remove_all(folder);
}

} // namespace
