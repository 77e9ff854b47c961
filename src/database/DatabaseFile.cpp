#include "database/TrafficDatabase.h"

#include "database/FileFormat.h"
#include "platform/Platform.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

using namespace fileFormat;

// The most one run adds: a record, grown to an entry for every adapter.
constexpr std::size_t recordGrowth = recordHeadSize + entrySize * TrafficRecord::maxAdapters;

// The file's byte order is that of a little-endian machine, which copies a whole
// field at once; any other machine takes it apart byte by byte.
constexpr bool littleEndianHost = std::endian::native == std::endian::little;

// Writes the low bytes of value, least significant first, and returns their end.
char* putLittleEndian(char* out, std::uint64_t value, std::size_t bytes)
{
    if constexpr (littleEndianHost) {
        std::memcpy(out, &value, bytes);
    } else {
        for (std::size_t i = 0; i < bytes; ++i)
            out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out + bytes;
}

std::uint64_t getLittleEndian(const char* in, std::size_t bytes)
{
    std::uint64_t value = 0;
    if constexpr (littleEndianHost) {
        std::memcpy(&value, in, bytes);
    } else {
        for (std::size_t i = bytes; i > 0; --i)
            value = (value << 8) | static_cast<unsigned char>(in[i - 1]);
    }
    return value;
}

// Where a record's bytes begin: its start and entry count precede its entries.
std::size_t recordBegin(const TrafficRecord& record) { return record.entriesAt - recordHeadSize; }
std::size_t recordEnd(const TrafficRecord& record) { return record.entriesAt + entrySize * record.entryCount; }

void storeRecordCount(TrafficDatabase& database)
{
    putLittleEndian(database.fileContent.data(), database.agedRecords.size() + database.records.size(), recordCountSize);
}

} // namespace

void TrafficDatabase::indexRecords(FileTime cutOff)
{
    agedRecords.clear();
    records.clear();
    if (fileContent.size() < recordCountSize) {
        fileContent.clear();
        return;
    }
    std::uint64_t count = getLittleEndian(fileContent.data(), recordCountSize);
    // Never trust the count further than the file's size can back it. One more, for the
    // record a run may add.
    const auto expected = std::min<std::uint64_t>(count, (fileContent.size() - recordCountSize) / recordHeadSize);
    records.reserve(expected + 1);
    platform::prepareForFilling(records.data(), expected * sizeof(TrafficRecord));

    bool agedAfterOthers = false;
    std::size_t at = recordCountSize;
    for (; count > 0; --count) {
        if (fileContent.size() - at < recordHeadSize)
            break;
        TrafficRecord record;
        record.intervalStart = getLittleEndian(fileContent.data() + at, intervalStartSize);
        record.entryCount = getLittleEndian(fileContent.data() + at + intervalStartSize, entryCountSize);
        record.entriesAt = at + recordHeadSize;
        if (fileContent.size() - record.entriesAt < entrySize * record.entryCount)
            break;
        at = recordEnd(record);
        const bool aged = record.intervalStart < cutOff;
        agedAfterOthers = agedAfterOthers || (aged && !records.empty());
        (aged ? agedRecords : records).push_back(record);
    }
    // Whatever follows the last whole record is not part of the database.
    fileContent.resize(at);

    // A clock set back can leave an aged record after newer ones; the aged go first,
    // so that the last record's bytes end the content.
    if (agedAfterOthers) {
        std::string sorted(recordCountSize, '\0');
        sorted.reserve(fileContent.size() + recordGrowth);
        for (auto* list : {&agedRecords, &records})
            for (TrafficRecord& record : *list) {
                const std::size_t begin = sorted.size();
                sorted.append(fileContent, recordBegin(record), recordEnd(record) - recordBegin(record));
                record.entriesAt = begin + recordHeadSize;
            }
        fileContent = std::move(sorted);
    }
    storeRecordCount(*this);
}

void TrafficDatabase::appendRecord(FileTime intervalStart, const std::vector<AdapterCounters>& counts,
                                   FileTime bootTime)
{
    if (fileContent.empty())
        fileContent.assign(recordCountSize, '\0');
    const TrafficRecord record{intervalStart, bootTime, fileContent.size() + recordHeadSize, 0};
    fileContent.resize(record.entriesAt);
    putLittleEndian(fileContent.data() + recordBegin(record), intervalStart, intervalStartSize);
    records.push_back(record);
    storeRecordCount(*this);
    for (std::size_t i = 0; i < std::min(counts.size(), TrafficRecord::maxAdapters); ++i)
        setCounts(i, counts[i]);
}

AdapterCounters TrafficDatabase::counts(const TrafficRecord& record, std::size_t adapter) const
{
    if (adapter >= record.entryCount)
        return {};
    const char* at = fileContent.data() + record.entriesAt + entrySize * adapter;
    return {static_cast<std::int64_t>(getLittleEndian(at, countSize)),
            static_cast<std::int64_t>(getLittleEndian(at + countSize, countSize))};
}

void TrafficDatabase::setCounts(std::size_t adapter, const AdapterCounters& counts)
{
    TrafficRecord& last = records.back();
    if (adapter >= last.entryCount) {
        last.entryCount = adapter + 1;
        fileContent.resize(recordEnd(last)); // the last record's bytes end the content
        putLittleEndian(fileContent.data() + recordBegin(last) + intervalStartSize, last.entryCount, entryCountSize);
    }
    char* at = fileContent.data() + last.entriesAt + entrySize * adapter;
    at = putLittleEndian(at, static_cast<std::uint64_t>(counts.sent), countSize);
    putLittleEndian(at, static_cast<std::uint64_t>(counts.received), countSize);
}

void TrafficDatabase::keepAgedRecords(std::size_t keep)
{
    if (keep >= agedRecords.size())
        return;
    const std::size_t drop = agedRecords.size() - keep;
    // The aged records lie first, so the dropped ones are the content's front.
    const std::size_t end = keep > 0 ? recordBegin(agedRecords[drop])
                            : records.empty() ? fileContent.size()
                                              : recordBegin(records.front());
    fileContent.erase(recordCountSize, end - recordCountSize);
    agedRecords.erase(agedRecords.begin(), agedRecords.begin() + static_cast<std::ptrdiff_t>(drop));
    for (auto* list : {&agedRecords, &records})
        for (TrafficRecord& record : *list)
            record.entriesAt -= end - recordCountSize;
    storeRecordCount(*this);
}

std::string encodeOffsets(const TrafficDatabase& database)
{
    const std::size_t count = std::min(std::max(database.rawOffsets.size(), database.earlierRawOffsets.size()),
                                       TrafficRecord::maxAdapters);
    std::string out(offsetsHeadSize + offsetTables * offsetSize * count, '\0');
    char* at = putLittleEndian(out.data(), database.offsetsBootTime, offsetsBootSize);
    at = putLittleEndian(at, count, entryCountSize);
    for (const auto* table : {&database.rawOffsets, &database.earlierRawOffsets})
        for (std::size_t i = 0; i < count; ++i) {
            const RawCounterOffset offset = i < table->size() ? (*table)[i] : RawCounterOffset{};
            for (const std::uint64_t value : {offset.sessionSent, offset.sessionReceived, offset.sent, offset.received})
                at = putLittleEndian(at, value, sizeof value);
        }
    return out;
}

void decodeOffsets(std::string_view content, TrafficDatabase& database)
{
    if (content.size() < offsetsHeadSize)
        return;
    const auto count = static_cast<std::size_t>(getLittleEndian(content.data() + offsetsBootSize, entryCountSize));
    if (content.size() != offsetsHeadSize + offsetTables * offsetSize * count)
        return;
    database.offsetsBootTime = getLittleEndian(content.data(), offsetsBootSize);
    const char* at = content.data() + offsetsHeadSize;
    for (auto* table : {&database.rawOffsets, &database.earlierRawOffsets}) {
        table->resize(count);
        for (RawCounterOffset& offset : *table)
            for (std::uint64_t* value : {&offset.sessionSent, &offset.sessionReceived, &offset.sent, &offset.received}) {
                *value = getLittleEndian(at, sizeof *value);
                at += sizeof *value;
            }
    }
}

namespace {

std::filesystem::path offsetsPathOf(const std::filesystem::path& database)
{
    std::string name = ".";
    name += database.filename().string();
    name += ".offsets";
    return std::filesystem::path(database).replace_filename(name);
}

} // namespace

std::filesystem::path TrafficDatabase::offsetsPath() const { return offsetsPathOf(path); }

void removeAbandonedSaves(const std::filesystem::path& path)
{
    platform::removeAbandonedTemporaries({path, offsetsPathOf(path)});
}

void TrafficDatabase::load(const std::filesystem::path& file, FileTime now)
{
    path = file;
    auto content = platform::readFile(path, recordGrowth);
    fileContent = content ? std::move(*content) : std::string();
    indexRecords(now - retentionSpan);
    if (const auto offsets = platform::readFile(offsetsPath()))
        decodeOffsets(*offsets, *this);
}

void TrafficDatabase::save()
{
    auto nonZero = [](const RawCounterOffset& offset) { return offset.sent != 0 || offset.received != 0; };
    const bool needed = std::any_of(rawOffsets.begin(), rawOffsets.end(), nonZero)
                        || std::any_of(earlierRawOffsets.begin(), earlierRawOffsets.end(), nonZero);
    // The offsets go first: they hold what both the old and the new database need.
    if (needed)
        platform::replaceFile(offsetsPath(), encodeOffsets(*this));
    if (fileContent.empty())
        fileContent.assign(recordCountSize, '\0'); // a database without records
    platform::replaceFile(path, fileContent);
    if (!needed) {
        std::error_code ignored; // at worst a stale file, which the next merge does not trust
        std::filesystem::remove(offsetsPath(), ignored);
    }
}
