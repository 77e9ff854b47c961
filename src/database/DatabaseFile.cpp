#include "database/TrafficDatabase.h"

#include "platform/Platform.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr std::size_t countSize = 4;
constexpr std::size_t recordHeadSize = 9;
constexpr std::size_t entrySize = 16;

// The file's byte order is that of a little-endian machine, which copies a whole
// field at once; any other machine takes it apart byte by byte.
constexpr bool littleEndianHost = std::endian::native == std::endian::little;

// Writes the low bytes of value, least significant first, and returns their end.
char* putLittleEndian(char* out, std::uint64_t value, int bytes)
{
    if constexpr (littleEndianHost) {
        std::memcpy(out, &value, static_cast<std::size_t>(bytes));
    } else {
        for (int i = 0; i < bytes; ++i)
            out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out + bytes;
}

std::uint64_t getLittleEndian(const char* in, int bytes)
{
    std::uint64_t value = 0;
    if constexpr (littleEndianHost) {
        std::memcpy(&value, in, static_cast<std::size_t>(bytes));
    } else {
        for (int i = bytes - 1; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(in[i]);
    }
    return value;
}

std::size_t entryCount(const TrafficRecord& record) { return std::min(record.adapters.size(), TrafficRecord::maxAdapters); }

char* encodeRecord(char* out, const TrafficRecord& record)
{
    const std::size_t entries = entryCount(record);
    out = putLittleEndian(out, record.intervalStart, 8);
    out = putLittleEndian(out, entries, 1);
    for (std::size_t i = 0; i < entries; ++i) {
        out = putLittleEndian(out, static_cast<std::uint64_t>(record.adapters[i].sent), 8);
        out = putLittleEndian(out, static_cast<std::uint64_t>(record.adapters[i].received), 8);
    }
    return out;
}

} // namespace

void encodeRecords(const std::vector<TrafficRecord>& aged, const std::vector<TrafficRecord>& records,
                   std::string& out)
{
    // Sized once and filled in place rather than grown byte by byte.
    std::size_t size = countSize;
    for (const auto* list : {&aged, &records})
        for (const TrafficRecord& record : *list)
            size += recordHeadSize + entrySize * entryCount(record);
    out.assign(size, '\0');
    char* at = putLittleEndian(out.data(), aged.size() + records.size(), 4);
    for (const auto* list : {&aged, &records})
        for (const TrafficRecord& record : *list)
            at = encodeRecord(at, record);
}

std::string encodeRecords(const std::vector<TrafficRecord>& aged, const std::vector<TrafficRecord>& records)
{
    std::string out;
    encodeRecords(aged, records, out);
    return out;
}

void decodeRecords(std::string_view content, FileTime cutOff, std::vector<TrafficRecord>& aged,
                   std::vector<TrafficRecord>& records)
{
    if (content.size() < countSize)
        return;
    std::uint64_t count = getLittleEndian(content.data(), 4);
    // Never trust the count further than the file's size can back it.
    records.reserve(std::min<std::uint64_t>(count, (content.size() - countSize) / recordHeadSize));

    std::size_t at = countSize;
    for (; count > 0; --count) {
        if (content.size() - at < recordHeadSize)
            return;
        TrafficRecord record;
        record.intervalStart = getLittleEndian(content.data() + at, 8);
        const auto entries = static_cast<std::size_t>(static_cast<unsigned char>(content[at + 8]));
        at += recordHeadSize;
        if (content.size() - at < entries * entrySize)
            return;
        record.adapters.resize(entries);
        for (AdapterCounters& entry : record.adapters) {
            entry.sent = static_cast<std::int64_t>(getLittleEndian(content.data() + at, 8));
            entry.received = static_cast<std::int64_t>(getLittleEndian(content.data() + at + 8, 8));
            at += entrySize;
        }
        (record.intervalStart >= cutOff ? records : aged).push_back(std::move(record));
    }
}

std::string encodeOffsets(const TrafficDatabase& database)
{
    const std::size_t count = std::min(std::max(database.rawOffsets.size(), database.earlierRawOffsets.size()),
                                       TrafficRecord::maxAdapters);
    std::string out(recordHeadSize + 64 * count, '\0');
    char* at = putLittleEndian(out.data(), database.offsetsBootTime, 8);
    at = putLittleEndian(at, count, 1);
    for (const auto* table : {&database.rawOffsets, &database.earlierRawOffsets})
        for (std::size_t i = 0; i < count; ++i) {
            const RawCounterOffset offset = i < table->size() ? (*table)[i] : RawCounterOffset{};
            for (const std::uint64_t value : {offset.sessionSent, offset.sessionReceived, offset.sent, offset.received})
                at = putLittleEndian(at, value, 8);
        }
    return out;
}

void decodeOffsets(std::string_view content, TrafficDatabase& database)
{
    if (content.size() < recordHeadSize)
        return;
    const auto count = static_cast<std::size_t>(static_cast<unsigned char>(content[8]));
    if (content.size() != recordHeadSize + 64 * count)
        return;
    database.offsetsBootTime = getLittleEndian(content.data(), 8);
    const char* at = content.data() + recordHeadSize;
    for (auto* table : {&database.rawOffsets, &database.earlierRawOffsets}) {
        table->resize(count);
        for (RawCounterOffset& offset : *table)
            for (std::uint64_t* value : {&offset.sessionSent, &offset.sessionReceived, &offset.sent, &offset.received}) {
                *value = getLittleEndian(at, 8);
                at += 8;
            }
    }
}

std::filesystem::path TrafficDatabase::offsetsPath() const
{
    std::string name = ".";
    name += path.filename().string();
    name += ".offsets";
    return std::filesystem::path(path).replace_filename(name);
}

void TrafficDatabase::load(const std::filesystem::path& file, FileTime now)
{
    path = file;
    if (auto content = platform::readFile(path)) {
        fileContent = std::move(*content);
        decodeRecords(fileContent, now - retentionSpan, agedRecords, records);
    }
    if (const auto content = platform::readFile(offsetsPath()))
        decodeOffsets(*content, *this);
}

void TrafficDatabase::save()
{
    auto nonZero = [](const RawCounterOffset& offset) { return offset.sent != 0 || offset.received != 0; };
    const bool needed = std::any_of(rawOffsets.begin(), rawOffsets.end(), nonZero)
                        || std::any_of(earlierRawOffsets.begin(), earlierRawOffsets.end(), nonZero);
    // The offsets go first: they hold what both the old and the new database need.
    if (needed)
        platform::replaceFile(offsetsPath(), encodeOffsets(*this));
    encodeRecords(agedRecords, records, fileContent);
    platform::replaceFile(path, fileContent);
    if (!needed) {
        std::error_code ignored; // at worst a stale file, which the next merge does not trust
        std::filesystem::remove(offsetsPath(), ignored);
    }
}
