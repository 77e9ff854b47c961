// Feeds arbitrary bytes to the database loader as a file's content (and to the run
// state decoder), merges a reading into whatever it yields, and checks that the bytes
// to be saved load back as the same records.
#include "database/Merge.h"
#include "platform/DiagnosticLog.h"

#include <cstring>

// Each record's start and counts, aged ones first: what the database holds by its index.
static std::vector<std::pair<FileTime, std::vector<AdapterCounters>>> listed(const TrafficDatabase& database)
{
    std::vector<std::pair<FileTime, std::vector<AdapterCounters>>> all;
    for (const auto* list : {&database.agedRecords, &database.records})
        for (const TrafficRecord& record : *list) {
            if (record.entryCount > TrafficRecord::maxAdapters
                || record.entriesAt + 16 * record.entryCount > database.fileContent.size())
                __builtin_trap();
            all.emplace_back(record.intervalStart, std::vector<AdapterCounters>());
            for (std::size_t i = 0; i < record.entryCount; ++i)
                all.back().second.push_back(database.counts(record, i));
        }
    return all;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first 32 bytes choose the clock and the reading; the rest is the file.
    std::uint64_t head[4] = {};
    const std::size_t headSize = size < sizeof head ? size : sizeof head;
    std::memcpy(head, data, headSize);
    const auto [rawNow, rawBoot, rawSent, rawReceived] = head;
    const FileTime now = rawNow & INT64_MAX, boot = rawBoot & INT64_MAX;
    const std::string_view content(reinterpret_cast<const char*>(data) + headSize, size - headSize);

    TrafficDatabase database{.fileContent = std::string(content)};
    database.indexRecords(now - retentionSpan);
    MergeSession session;
    session.last = decodeRunState(content, databaseFingerprint(content));
    listed(database);

    mergeOpening(database, openingRecord(boot, now));
    for (std::size_t i = 0; i < rawSent % 7; ++i)
        mergeAdapter(database, session, i,
                     {"fuzz", static_cast<std::uint32_t>(i), (rawReceived & 1) ? CounterWidth::bits32 : CounterWidth::bits64,
                      rawSent >> i, (i & 1) ? std::nullopt : std::optional(rawReceived << i)},
                     DiagnosticLog{});

    TrafficDatabase again{.fileContent = database.fileContent};
    again.indexRecords(0);
    if (again.fileContent != database.fileContent || listed(again) != listed(database))
        __builtin_trap();

    if (session.last) {
        const std::string states = encodeRunStates(session.next, 1, &*session.last, 2);
        if (decodeRunState(states, 1) != session.next || decodeRunState(states, 2) != session.last)
            __builtin_trap();
    }
    return 0;
}
