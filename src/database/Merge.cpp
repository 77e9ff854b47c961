#include "database/Merge.h"

#include "platform/DiagnosticLog.h"

#include <algorithm>
#include <iterator>
#include <ostream>

namespace {

bool startsAtMidnight(const TrafficRecord& record) { return record.intervalStart % fileTimeDay == 0; }

// Whether a record began during the boot session that started at bootTime. A record
// that began at a boot may show that boot a little off.
bool belongsToBoot(const TrafficRecord& record, FileTime bootTime)
{
    if (record.intervalStart >= bootTime)
        return true;
    return !startsAtMidnight(record) && bootTime - record.intervalStart <= bootTimeTolerance;
}

bool sameBoot(FileTime a, FileTime b) { return (a > b ? a - b : b - a) <= bootTimeTolerance; }

// Calls visit for every record of the running session before the last one, newest
// first: the unbroken run of records back from the last that began during its boot.
template <class Visit>
void forEarlierSessionRecords(const TrafficDatabase& database, Visit visit)
{
    const FileTime bootTime = database.records.back().bootTime;
    for (auto list : {&database.records, &database.agedRecords}) {
        auto end = list->rend();
        for (auto it = list == &database.records ? std::next(list->rbegin()) : list->rbegin(); it != end; ++it) {
            if (!belongsToBoot(*it, bootTime))
                return;
            visit(*it);
        }
    }
}

// Low and high parts of a stored count, both truncated toward zero.
std::int64_t lowPart(std::int64_t x) { return x % (std::int64_t{1} << 32); }
std::int64_t highPart(std::int64_t x) { return x / (std::int64_t{1} << 32); }

struct CountUpdate {
    std::int64_t reduced = 0; // the raw value measured from the session's earlier records
    std::int64_t count = 0;   // the record's new count
    bool restarted = false;   // the raw value went down since the previous reading
};

// A 32-bit counter: every decrease is one wrap-around.
CountUpdate update32(std::int64_t stored, bool hasEntry, std::uint64_t raw, std::uint64_t baseline)
{
    CountUpdate result;
    result.reduced = static_cast<std::uint32_t>(raw - baseline);
    if (!hasEntry) {
        result.count = result.reduced;
        return result;
    }
    const std::int64_t low = lowPart(stored);
    std::int64_t high = highPart(stored);
    if (low > result.reduced) {
        result.restarted = true;
        if (low != 0)
            ++high;
    }
    result.count = static_cast<std::int64_t>(static_cast<std::uint64_t>(high) * (std::uint64_t{1} << 32)
                                             + static_cast<std::uint64_t>(result.reduced));
    return result;
}

// A 64-bit counter never wraps: a decrease means the interface was created anew, and
// its new value is all the traffic since then. previous is the raw value at the
// previous reading.
CountUpdate update64(std::int64_t stored, std::uint64_t raw, std::uint64_t previous, std::uint64_t baseline)
{
    CountUpdate result;
    result.reduced = static_cast<std::int64_t>(raw >= baseline ? raw - baseline : raw);
    result.restarted = raw < previous;
    result.count = static_cast<std::int64_t>(static_cast<std::uint64_t>(stored)
                                             + (result.restarted ? raw : raw - previous));
    return result;
}

} // namespace

TrafficRecord openingRecord(FileTime bootTime, FileTime now)
{
    TrafficRecord opening;
    opening.bootTime = bootTime;
    opening.intervalStart = std::max(bootTime, startOfDay(now));
    return opening;
}

void mergeOpening(TrafficDatabase& database, const TrafficRecord& opening)
{
    auto& records = database.records;
    const bool sameRecord = !records.empty()
                            && (records.back().intervalStart == opening.intervalStart
                                || (opening.intervalStart == opening.bootTime && !startsAtMidnight(records.back())
                                    && sameBoot(records.back().intervalStart, opening.bootTime)));
    if (!sameBoot(database.offsetsBootTime, opening.bootTime)) {
        database.rawOffsets.clear(); // a new boot starts every counter from zero
        database.earlierRawOffsets.clear();
    }
    database.offsetsBootTime = opening.bootTime;

    if (sameRecord)
        records.back().bootTime = opening.bootTime;
    else
        database.appendRecord(opening.intervalStart, {}, opening.bootTime);

    // Aged records are kept only as the running session's history.
    std::size_t keep = 0;
    if (std::all_of(records.begin(), records.end() - 1,
                    [&](const TrafficRecord& r) { return belongsToBoot(r, opening.bootTime); }))
        for (auto it = database.agedRecords.rbegin(); it != database.agedRecords.rend() && belongsToBoot(*it, opening.bootTime); ++it)
            ++keep;
    database.keepAgedRecords(keep);
}

void mergeAdapter(TrafficDatabase& database, std::size_t index, const AdapterReading& reading,
                  CounterWidth width, const DiagnosticLog& log)
{
    if (index >= TrafficRecord::maxAdapters)
        return;
    const TrafficRecord& current = database.records.back();

    // The counters as they stood when the previous record of this session was last
    // updated: the sum of what the session's earlier records counted.
    bool continued = false;
    std::uint64_t baselineSent = 0;
    std::uint64_t baselineReceived = 0;
    forEarlierSessionRecords(database, [&](const TrafficRecord& record) {
        continued = true;
        const AdapterCounters counts = database.counts(record, index);
        baselineSent += static_cast<std::uint64_t>(counts.sent);
        baselineReceived += static_cast<std::uint64_t>(counts.received);
    });

    const bool hasEntry = index < current.entryCount;
    const AdapterCounters entry = database.counts(current, index);

    // 64-bit counters: the raw values at the previous reading are the session's sums,
    // unless an interface was created anew since the session began.
    for (auto* table : {&database.rawOffsets, &database.earlierRawOffsets})
        if (table->size() <= index)
            table->resize(index + 1);
    RawCounterOffset& offset = database.rawOffsets[index];
    RawCounterOffset& earlier = database.earlierRawOffsets[index];
    const std::uint64_t sumSent = baselineSent + static_cast<std::uint64_t>(entry.sent);
    const std::uint64_t sumReceived = baselineReceived + static_cast<std::uint64_t>(entry.received);
    auto matches = [&](const RawCounterOffset& o) { return o.sessionSent == sumSent && o.sessionReceived == sumReceived; };
    // The offsets that belong to the counts as loaded: the last run's, or, when that run
    // was cut short before its database reached the disk, the ones from before it.
    // Offsets taken against other counts are not to be trusted.
    earlier = matches(offset) ? offset : matches(earlier) ? earlier : RawCounterOffset{sumSent, sumReceived, 0, 0};
    offset = earlier;

    auto apply = [&](std::int64_t stored, const std::optional<std::uint64_t>& raw, std::uint64_t baseline,
                     std::uint64_t& rawOffset) {
        if (!raw)
            return CountUpdate{0, stored, false};
        if (width == CounterWidth::bits32)
            return update32(stored, hasEntry, *raw, baseline);
        const CountUpdate update = update64(stored, *raw, baseline + static_cast<std::uint64_t>(stored) + rawOffset,
                                            baseline + rawOffset);
        rawOffset = *raw - (baseline + static_cast<std::uint64_t>(update.count));
        return update;
    };
    const CountUpdate sent = apply(entry.sent, reading.sent, baselineSent, offset.sent);
    const CountUpdate received = apply(entry.received, reading.received, baselineReceived, offset.received);
    offset.sessionSent = baselineSent + static_cast<std::uint64_t>(sent.count);
    offset.sessionReceived = baselineReceived + static_cast<std::uint64_t>(received.count);

    if (log && continued && reading.sent && reading.received) {
        *log << "corrected to: " << received.reduced << '/' << sent.reduced;
        log.line();
    }
    if (log && hasEntry && reading.sent) {
        *log << (sent.restarted ? "sent corrected, now " : "sent total: ") << sent.count;
        log.line();
    }
    if (log && hasEntry && reading.received) {
        *log << (received.restarted ? "recv corrected, now " : "recv total: ") << received.count;
        log.line();
    }
    database.setCounts(index, {sent.count, received.count});
}
