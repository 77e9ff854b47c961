#include "database/TrafficDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

const FileTime now = *toFileTime({.year = 2026, .month = 12, .day = 6, .hour = 21, .minute = 32});
const FileTime cutOff = now - retentionSpan;

TrafficRecord record(FileTime start, std::vector<AdapterCounters> adapters)
{
    TrafficRecord r;
    r.intervalStart = start;
    r.adapters = std::move(adapters);
    return r;
}

std::string bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

TEST(DatabaseFile, EncodesTheDocumentedLayout)
{
    const FileTime start = 0x0102030405060708;
    const std::string expected = bytes({1, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1, 1, 5, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(encodeRecords({}, {record(start, {{5, 7}})}), expected);
    EXPECT_EQ(expected.size(), 29u);
    EXPECT_EQ(encodeRecords({}, {}), bytes({0, 0, 0, 0}));
    EXPECT_EQ(encodeRecords({}, {record(start, {})}).size(), 13u);

    // Negative counts keep their two's complement bits.
    const std::string negative = encodeRecords({}, {record(0, {{-1, -2}})});
    EXPECT_EQ(negative.substr(13, 16), bytes({255, 255, 255, 255, 255, 255, 255, 255, 254, 255, 255, 255, 255, 255, 255, 255}));
}

TEST(DatabaseFile, LoadThenSaveReproducesTheFileLessAgedRecords)
{
    const std::vector<TrafficRecord> kept = {record(cutOff, {{1, 2}, {3, 4}}), record(cutOff + 5, {}),
                                             record(now, {{-5, std::int64_t{1} << 40}})};
    const TrafficRecord old = record(cutOff - 1, {{9, 9}});

    std::vector<TrafficRecord> aged, records;
    decodeRecords(encodeRecords({old}, kept), cutOff, aged, records);
    EXPECT_EQ(records, kept);
    ASSERT_EQ(aged.size(), 1u);
    EXPECT_EQ(aged[0], old);
    EXPECT_EQ(encodeRecords({}, records), encodeRecords({}, kept));
}

TEST(DatabaseFile, KeepsOnlyWholeRecordsOfDamagedFiles)
{
    const std::string two = encodeRecords({}, {record(now, {{1, 2}}), record(now + 1, {{3, 4}, {5, 6}})});
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
        std::vector<TrafficRecord> aged, records;
        decodeRecords(c.content, cutOff, aged, records);
        EXPECT_EQ(records.size(), c.records);
        EXPECT_TRUE(aged.empty());
        EXPECT_LE(records.capacity(), c.content.size() / 9); // room never beyond what the file can hold
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

    database.records.push_back(record(now, {{5, 7}}));
    database.save();
    TrafficDatabase again;
    again.load(folder / "traffic", now);
    EXPECT_EQ(again.records, database.records);
    EXPECT_EQ(std::filesystem::file_size(folder / "traffic"), 29u);
    // Nothing but the database is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}

TEST_F(DatabaseFileOnDisk, UnreadableFileFailsTheRun)
{
    std::filesystem::create_directory(folder / "traffic"); // exists, but can not be read as a file
    TrafficDatabase database;
    EXPECT_THROW(database.load(folder / "traffic", now), std::runtime_error);
}

} // namespace
