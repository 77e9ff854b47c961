#include "database/TrafficDatabase.h"

#include "database/ByteOrder.h"
#include "database/FileFormat.h"
#include "platform/Platform.h"

#include <algorithm>

namespace {

using namespace fileFormat;

// The most one run adds: a record, grown to an entry for every adapter.
constexpr std::size_t recordGrowth = recordHeadSize + entrySize * TrafficRecord::maxAdapters;

// Where a record's bytes begin: its start and entry count precede its entries.
std::size_t recordBegin(const TrafficRecord& record) { return record.entriesAt - recordHeadSize; }
std::size_t recordEnd(const TrafficRecord& record) { return record.entriesAt + entrySize * record.entryCount; }

// The file's content takes another shape: only a whole save writes it.
void reshape(TrafficDatabase& database) { database.loadedFile.reset(); }

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
        reshape(*this);
        fileContent.clear();
        return;
    }
    const std::uint64_t storedCount = getLittleEndian(fileContent.data(), recordCountSize);
    std::uint64_t count = storedCount;
    // Never trust the count further than the file's size can back it. One more, for the
    // record a run may add.
    const auto expected = std::min<std::uint64_t>(count, (fileContent.size() - recordCountSize) / recordHeadSize);
    records.reserve(expected + 1);
    platform::prepareForFilling(records.data(), expected * sizeof(TrafficRecord));

    const FileTime clock = cutOff + retentionSpan;
    std::optional<FileTime> newest; // the newest record that began by the clock
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
        if (record.intervalStart <= clock && (!newest || record.intervalStart > *newest))
            newest = record.intervalStart;
        records.push_back(record);
    }
    if (newest && *newest + fileTimeDay < clock)
        cutOff = *newest + fileTimeDay >= retentionSpan ? *newest + fileTimeDay - retentionSpan : 0;

    bool agedAfterOthers = false;
    bool othersSeen = false;
    for (const TrafficRecord& record : records) {
        const bool aged = record.intervalStart < cutOff;
        if (aged)
            agedRecords.push_back(record);
        agedAfterOthers = agedAfterOthers || (aged && othersSeen);
        othersSeen = othersSeen || !aged;
    }
    if (!agedRecords.empty())
        std::erase_if(records, [&](const TrafficRecord& record) { return record.intervalStart < cutOff; });
    // Whatever follows the last whole record is not part of the database.
    if (at != fileContent.size() || storedCount != records.size() + agedRecords.size())
        reshape(*this);
    fileContent.resize(at);

    // A clock set back can leave an aged record after newer ones; the aged go first,
    // so that the last record's bytes end the content.
    if (agedAfterOthers) {
        reshape(*this);
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
    reshape(*this);
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
        reshape(*this);
        last.entryCount = adapter + 1;
        fileContent.resize(recordEnd(last)); // the last record's bytes end the content
        putLittleEndian(fileContent.data() + recordBegin(last) + intervalStartSize, last.entryCount, entryCountSize);
    }
    const std::size_t begin = last.entriesAt + entrySize * adapter;
    char entry[entrySize];
    putLittleEndian(putLittleEndian(entry, static_cast<std::uint64_t>(counts.sent), countSize),
                    static_cast<std::uint64_t>(counts.received), countSize);
    // Only the bytes that differ widen the range an in-place save writes.
    std::size_t first = 0;
    std::size_t end = entrySize;
    while (first < end && fileContent[begin + first] == entry[first])
        ++first;
    while (end > first && fileContent[begin + end - 1] == entry[end - 1])
        --end;
    if (first == end)
        return;
    std::copy(entry + first, entry + end, fileContent.begin() + static_cast<std::ptrdiff_t>(begin + first));
    changedBegin = changedBegin < changedEnd ? std::min(changedBegin, begin + first) : begin + first;
    changedEnd = std::max(changedEnd, begin + end);
}

void TrafficDatabase::keepAgedRecords(std::size_t keep)
{
    if (keep >= agedRecords.size())
        return;
    reshape(*this);
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

void TrafficDatabase::load(const std::filesystem::path& path, FileTime now)
{
    platform::FileStamp stamp;
    auto content = platform::readFile(path, recordGrowth, &stamp);
    fileContent = content ? std::move(*content) : std::string();
    loadedFile = content ? std::optional(stamp) : std::nullopt;
    changedBegin = changedEnd = 0;
    indexRecords(now - retentionSpan);
}

bool TrafficDatabase::savesInPlace() const
{
    constexpr std::size_t span = platform::wholeWriteSpan;
    return loadedFile && (changedBegin >= changedEnd || changedBegin / span == (changedEnd - 1) / span);
}

void TrafficDatabase::save(const std::filesystem::path& path)
{
    // Where nothing changed, the overwrite writes nothing: it only proves the file is the one loaded.
    const std::size_t changed = changedEnd > changedBegin ? changedEnd - changedBegin : 0;
    if (savesInPlace()
        && platform::overwriteFile(path, *loadedFile, changedBegin, std::string_view(fileContent).substr(changedBegin, changed),
                                   changed > 0))
        return;
    if (fileContent.empty())
        fileContent.assign(recordCountSize, '\0'); // a database without records
    platform::replaceFile(path, fileContent);
}
