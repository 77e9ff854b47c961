// Feeds arbitrary bytes to the database loader as a file's content (and to the run
// state decoder), merges a reading into whatever it yields, and checks that the bytes
// to be saved load back the same.
#include "database/Merge.h"
#include "platform/DiagnosticLog.h"

#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

std::uint64_t take(const std::uint8_t*& data, std::size_t& size)
{
    std::uint64_t value = 0;
    const std::size_t n = size < 8 ? size : 8;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first bytes choose the clock and the reading; the rest is the file.
    const FileTime now = take(data, size) & 0x7FFF'FFFF'FFFF'FFFF;
    const FileTime boot = take(data, size) & 0x7FFF'FFFF'FFFF'FFFF;
    const std::uint64_t rawSent = take(data, size);
    const std::uint64_t rawReceived = take(data, size);
    const std::string_view content(reinterpret_cast<const char*>(data), size);

    TrafficDatabase database;
    database.fileContent.assign(content);
    database.indexRecords(now - retentionSpan);
    database.runState = decodeRunState(content, databaseFingerprint(content));
    for (const auto* list : {&database.agedRecords, &database.records})
        for (const TrafficRecord& record : *list)
            require(record.entryCount <= TrafficRecord::maxAdapters
                    && record.entriesAt + 16 * record.entryCount <= database.fileContent.size());

    DiagnosticLog log;
    mergeOpening(database, openingRecord(boot, now));
    const std::size_t adapters = rawSent % 7;
    for (std::size_t i = 0; i < adapters; ++i) {
        const AdapterReading reading{"fuzz", static_cast<std::uint32_t>(i), rawSent >> i,
                                     (i & 1) ? std::nullopt : std::optional(rawReceived << i)};
        mergeAdapter(database, i, reading, (rawReceived & 1) ? CounterWidth::bits32 : CounterWidth::bits64, log);
    }

    TrafficDatabase again;
    again.fileContent = database.fileContent;
    again.indexRecords(0);
    require(again.fileContent == database.fileContent);
    require(again.agedRecords.empty());
    require(again.records.size() == database.agedRecords.size() + database.records.size());
    auto loaded = again.records.begin();
    for (const auto* list : {&database.agedRecords, &database.records})
        for (const TrafficRecord& record : *list) {
            require(loaded->intervalStart == record.intervalStart && loaded->entryCount == record.entryCount);
            for (std::size_t i = 0; i < record.entryCount; ++i)
                require(again.counts(*loaded, i) == database.counts(record, i));
            ++loaded;
        }

    if (database.runState) {
        const std::string states = encodeRunStates(database.nextState, 1, &*database.runState, 2);
        require(decodeRunState(states, 1) == database.nextState && decodeRunState(states, 2) == database.runState);
    }
    return 0;
}
