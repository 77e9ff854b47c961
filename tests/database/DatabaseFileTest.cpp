#include "database/TrafficDatabase.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

const FileTime now = *toFileTime({.year = 2026, .month = 12, .day = 6, .hour = 21, .minute = 32});
const FileTime cutOff = now - retentionSpan;

struct StoredRecord {
    FileTime start;
    std::vector<AdapterCounters> counts;
    bool operator==(const StoredRecord&) const = default;
};

std::string fileOf(const std::vector<StoredRecord>& stored)
{
    TrafficDatabase database;
    for (const StoredRecord& record : stored)
        database.appendRecord(record.start, record.counts);
    return database.fileContent;
}

// What the database holds in a list, read back through its records.
std::vector<StoredRecord> contentOf(const TrafficDatabase& database, const std::vector<TrafficRecord>& list)
{
    std::vector<StoredRecord> stored;
    for (const TrafficRecord& record : list) {
        stored.push_back({record.intervalStart, {}});
        for (std::size_t i = 0; i < record.entryCount; ++i)
            stored.back().counts.push_back(database.counts(record, i));
    }
    return stored;
}

TEST(DatabaseFile, HoldsTheDocumentedLayout)
{
    const FileTime start = 0x0102030405060708;
    const std::string expected("\1\0\0\0\x08\x07\x06\x05\x04\x03\x02\x01\1\5\0\0\0\0\0\0\0\7\0\0\0\0\0\0\0", 29);
    EXPECT_EQ(fileOf({{start, {{5, 7}}}}), expected);
    EXPECT_EQ(fileOf({{start, {}}}).size(), 13u);
    // Negative counts keep their two's complement bits.
    EXPECT_EQ(fileOf({{0, {{-1, -2}}}}).substr(13), std::string(8, '\xFF') + '\xFE' + std::string(7, '\xFF'));
    // Counts set later grow the last record in place, and its entry count with it.
    TrafficDatabase grown;
    grown.appendRecord(start);
    grown.setCounts(0, {5, 7});
    EXPECT_EQ(grown.fileContent, expected);
    grown.setCounts(2, {-1, 1});
    EXPECT_EQ(grown.fileContent, fileOf({{start, {{5, 7}, {0, 0}, {-1, 1}}}}));
}

TEST(DatabaseFile, SortsAgedRecordsAsideAndDropsThem)
{
    const std::vector<StoredRecord> kept = {{cutOff, {{1, 2}, {3, 4}}}, {cutOff + 5, {}}, {now, {{-5, std::int64_t{1} << 40}}}};
    const StoredRecord old = {cutOff - 1, {{9, 9}}};
    std::vector<StoredRecord> agedFirst = {old};
    agedFirst.insert(agedFirst.end(), kept.begin(), kept.end());
    // In file order, and with the aged record among newer ones, as a clock set back leaves it.
    for (const std::vector<StoredRecord>& file : {agedFirst, std::vector<StoredRecord>{kept[0], kept[1], old, kept[2]}}) {
        TrafficDatabase database;
        database.fileContent = fileOf(file);
        database.indexRecords(cutOff);
        EXPECT_EQ(contentOf(database, database.records), kept);
        EXPECT_EQ(contentOf(database, database.agedRecords), std::vector<StoredRecord>{old});
        EXPECT_EQ(database.fileContent, fileOf(agedFirst));
        database.keepAgedRecords(0);
        EXPECT_TRUE(database.agedRecords.empty());
        EXPECT_EQ(contentOf(database, database.records), kept);
        EXPECT_EQ(database.fileContent, fileOf(kept));
    }
}

// A damaged file, cut at any byte or claiming more or fewer records than it holds, is
// read as a sound file of the whole records within both its size and its count.
TEST(DatabaseFile, KeepsOnlyWholeRecordsOfDamagedFiles)
{
    const std::vector<StoredRecord> stored = {{now, {{1, 2}}}, {now + 1, {}}, {now + 2, {{3, 4}, {5, 6}}}};
    const std::string whole = fileOf(stored);
    std::vector<std::pair<std::string, std::size_t>> cases; // content, whole records
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        std::size_t held = 0;
        while (held < stored.size() && fileOf({stored.begin(), stored.begin() + held + 1}).size() <= cut)
            ++held;
        cases.emplace_back(whole.substr(0, cut), held);
    }
    const std::string claimsAll = "\xFF\xFF\xFF\xFF" + whole.substr(4);
    cases.insert(cases.end(), {{claimsAll, 3}, {claimsAll.substr(0, whole.size() - 1), 2}, {"\1" + whole.substr(1), 1}});
    for (const auto& [content, records] : cases) {
        SCOPED_TRACE(testing::PrintToString(content));
        TrafficDatabase database;
        database.fileContent = content;
        database.indexRecords(cutOff);
        const std::vector<StoredRecord> kept(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(records));
        EXPECT_EQ(contentOf(database, database.records), kept);
        EXPECT_EQ(database.fileContent, records > 0 ? fileOf(kept) : content.size() < 4 ? "" : std::string(4, '\0'));
        // Room never beyond what the file can hold and the one record a run may add.
        EXPECT_LE(database.records.capacity(), content.size() / 9 + 1);
    }
}

TEST(DatabaseFile, LoadsAndSavesTheFileBesideNothingElse)
{
    const auto folder = std::filesystem::temp_directory_path() / ("brimlet-db-" + std::to_string(std::chrono::system_clock::now().time_since_epoch().count()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    TrafficDatabase database;
    database.load(folder / "traffic", now);
    EXPECT_TRUE(database.records.empty());
    EXPECT_FALSE(std::filesystem::exists(folder / "traffic"));
    database.save();
    EXPECT_EQ(std::filesystem::file_size(folder / "traffic"), 4u); // no records: the count alone
    database.appendRecord(now, {{5, 7}});
    database.save();
    TrafficDatabase again;
    again.load(folder / "traffic", now);
    EXPECT_EQ(again.records, database.records);
    EXPECT_EQ(again.fileContent, database.fileContent);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2); // the database and its run state

    // What one run adds at most, a record with an entry for every adapter, fits into the
    // memory the load took: neither the content nor the index is copied.
    const char* content = again.fileContent.data();
    const TrafficRecord* index = again.records.data();
    again.appendRecord(now + 1);
    for (std::size_t i = 0; i < TrafficRecord::maxAdapters; ++i)
        again.setCounts(i, {1, 2});
    EXPECT_EQ(again.fileContent.data(), content);
    EXPECT_EQ(again.records.data(), index);

    std::filesystem::remove(folder / "traffic");
    std::filesystem::create_directory(folder / "traffic"); // exists, but can not be read as a file
    EXPECT_THROW(database.load(folder / "traffic", now), std::runtime_error);
    std::filesystem::remove_all(folder);
}

} // namespace
