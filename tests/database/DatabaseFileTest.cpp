#include "database/TrafficDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

const FileTime now = *toFileTime({.year = 2026, .month = 12, .day = 6, .hour = 21, .minute = 32});
const FileTime cutOff = now - retentionSpan;

struct StoredRecord {
    FileTime start;
    std::vector<AdapterCounters> counts;
};

TrafficDatabase databaseOf(const std::vector<StoredRecord>& stored)
{
    TrafficDatabase database;
    for (const StoredRecord& record : stored)
        database.appendRecord(record.start, record.counts);
    return database;
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

bool operator==(const StoredRecord& a, const StoredRecord& b) { return a.start == b.start && a.counts == b.counts; }

std::string bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

TEST(DatabaseFile, HoldsTheDocumentedLayout)
{
    const FileTime start = 0x0102030405060708;
    const std::string expected = bytes({1, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1, 1, 5, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(databaseOf({{start, {{5, 7}}}}).fileContent, expected);
    EXPECT_EQ(expected.size(), 29u);
    EXPECT_EQ(databaseOf({{start, {}}}).fileContent.size(), 13u);

    // Negative counts keep their two's complement bits.
    const std::string negative = databaseOf({{0, {{-1, -2}}}}).fileContent;
    EXPECT_EQ(negative.substr(13, 16), bytes({255, 255, 255, 255, 255, 255, 255, 255, 254, 255, 255, 255, 255, 255, 255, 255}));

    // Counts set later grow the last record in place, and its entry count with it.
    TrafficDatabase grown = databaseOf({{start, {}}});
    grown.setCounts(0, {5, 7});
    EXPECT_EQ(grown.fileContent, expected);
    grown.setCounts(2, {-1, 1});
    EXPECT_EQ(grown.fileContent, databaseOf({{start, {{5, 7}, {0, 0}, {-1, 1}}}}).fileContent);
}

TEST(DatabaseFile, SortsAgedRecordsAsideAndDropsThem)
{
    const std::vector<StoredRecord> kept = {{cutOff, {{1, 2}, {3, 4}}}, {cutOff + 5, {}},
                                            {now, {{-5, std::int64_t{1} << 40}}}};
    const StoredRecord old = {cutOff - 1, {{9, 9}}};
    // In file order, and with the aged record among newer ones, as a clock set back leaves it.
    for (const std::vector<StoredRecord>& file : {std::vector<StoredRecord>{old, kept[0], kept[1], kept[2]},
                                                  std::vector<StoredRecord>{kept[0], kept[1], old, kept[2]}}) {
        TrafficDatabase database = databaseOf(file);
        database.indexRecords(cutOff);
        EXPECT_EQ(contentOf(database, database.records), kept);
        EXPECT_EQ(contentOf(database, database.agedRecords), std::vector<StoredRecord>{old});
        std::vector<StoredRecord> agedFirst = {old};
        agedFirst.insert(agedFirst.end(), kept.begin(), kept.end());
        EXPECT_EQ(database.fileContent, databaseOf(agedFirst).fileContent);

        database.keepAgedRecords(0);
        EXPECT_TRUE(database.agedRecords.empty());
        EXPECT_EQ(contentOf(database, database.records), kept);
        EXPECT_EQ(database.fileContent, databaseOf(kept).fileContent);
    }
}

TEST(DatabaseFile, KeepsOnlyWholeRecordsOfDamagedFiles)
{
    const std::vector<StoredRecord> stored = {{now, {{1, 2}}}, {now + 1, {{3, 4}, {5, 6}}}};
    const std::string two = databaseOf(stored).fileContent;
    struct Case {
        const char* what;
        std::string content;
        std::size_t records;
    };
    std::string claimsMore = two;
    claimsMore[0] = claimsMore[1] = claimsMore[2] = claimsMore[3] = static_cast<char>(0xFF);
    std::string claimsFewer = two;
    claimsFewer[0] = 1;
    const Case cases[] = {
        {"empty file", "", 0},
        {"cut inside the count", two.substr(0, 3), 0},
        {"count only", two.substr(0, 4), 0},
        {"cut inside the first record's head", two.substr(0, 10), 0},
        {"cut inside the first record's entry", two.substr(0, 28), 0},
        {"first record whole", two.substr(0, 29), 1},
        {"cut inside the second record's entries", two.substr(0, two.size() - 1), 1},
        {"whole", two, 2},
        {"count 4294967295", claimsMore, 2},
        {"count lower than the records held", claimsFewer, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrafficDatabase database;
        database.fileContent = c.content;
        database.indexRecords(cutOff);
        EXPECT_EQ(database.records.size(), c.records);
        EXPECT_TRUE(database.agedRecords.empty());
        // Room never beyond what the file can hold and the one record a run may add.
        EXPECT_LE(database.records.capacity(), c.content.size() / 9 + 1);
        // What is left is a sound file of exactly the records kept.
        const std::vector<StoredRecord> whole(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(c.records));
        const std::string expected = c.records > 0 ? databaseOf(whole).fileContent
                                     : c.content.size() < 4 ? ""
                                                            : bytes({0, 0, 0, 0});
        EXPECT_EQ(database.fileContent, expected);
        EXPECT_EQ(contentOf(database, database.records), whole);
    }
}

class DatabaseFileOnDisk : public testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("brimlet-db-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
};

TEST_F(DatabaseFileOnDisk, MissingFileIsEmptyAndSaveCreatesIt)
{
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
    EXPECT_EQ(std::filesystem::file_size(folder / "traffic"), 29u);
    // Nothing but the database and its run state is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 2);

    // What one run adds at most, a record with an entry for every adapter, fits into
    // the memory the load took: neither the content nor the index is copied.
    const char* content = again.fileContent.data();
    const TrafficRecord* index = again.records.data();
    again.appendRecord(now + 1);
    for (std::size_t i = 0; i < TrafficRecord::maxAdapters; ++i)
        again.setCounts(i, {1, 2});
    EXPECT_EQ(again.fileContent.data(), content);
    EXPECT_EQ(again.records.data(), index);
    EXPECT_EQ(again.fileContent.size(), 29u + 9 + 16 * TrafficRecord::maxAdapters);
}

TEST_F(DatabaseFileOnDisk, UnreadableFileFailsTheRun)
{
    std::filesystem::create_directory(folder / "traffic"); // exists, but can not be read as a file
    TrafficDatabase database;
    EXPECT_THROW(database.load(folder / "traffic", now), std::runtime_error);
}

} // namespace
