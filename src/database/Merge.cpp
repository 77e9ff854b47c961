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
    return record.intervalStart >= bootTime || (!startsAtMidnight(record) && sameBootTime(record.intervalStart, bootTime));
}

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

TrafficRecord openReading(TrafficDatabase& database, MergeSession& session, const BootReading& boot,
                          const ClockReading& clock)
{
    RunState& next = session.next;
    next = RunState{boot.id,          boot.utcBootTime,    clock.utc,
                    boot.localBootTime, boot.uptime.value_or(0), boot.byEvidence,
                    boot.uptimeIsAgents, boot.engineBoots.value_or(0), {}};
    // A boot that can not be told from others leaves only the records to count by.
    if (boot.id.empty() && boot.utcBootTime == 0 && !boot.byEvidence)
        session.last.reset();
    session.sameBoot = session.last && session.last->sameBoot(next);
    session.elapsed = 0;
    if (session.sameBoot) {
        const RunState& last = *session.last;
        next.sessionBootTime = last.sessionBootTime;
        if (last.uptime != 0 && next.uptime >= last.uptime)
            session.elapsed = next.uptime - last.uptime;
        else if (next.readingTime > last.readingTime)
            session.elapsed = next.readingTime - last.readingTime;
    }
    const FileTime now = clock.localTime;
    TrafficRecord opening = openingRecord(next.sessionBootTime, now);
    // The clock shows a time before the record's start: it was set back, or an autumn
    // clock change repeats an hour. The session's record of today goes on, so that one
    // boot and day keep one record; otherwise today's midnight opens one.
    const std::vector<TrafficRecord>& records = database.records;
    if (opening.intervalStart > now)
        opening.intervalStart = session.sameBoot && !records.empty() && startOfDay(records.back().intervalStart) == startOfDay(now)
                                    ? records.back().intervalStart
                                    : startOfDay(now);
    mergeOpening(database, opening);
    return opening;
}

std::uint64_t counterDifference(CounterWidth width, std::uint64_t previous, std::uint64_t raw, FileTime elapsed)
{
    if (raw >= previous)
        return raw - previous;
    if (width == CounterWidth::bits64)
        return raw;
    // 10 Gbit/s is 125 bytes in 100 ns; divided, so that no stretch of time overflows.
    const std::uint64_t wrapped = (std::uint64_t{1} << 32) - previous + raw;
    return (wrapped + 124) / 125 <= elapsed ? wrapped : raw;
}

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
                                    && sameBootTime(records.back().intervalStart, opening.bootTime)));
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

namespace {

void logCounts(const DiagnosticLog& log, const AdapterReading& reading, bool continued, bool hasEntry,
               const CountUpdate& sent, const CountUpdate& received)
{
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
}

// The counts from the sums of the session's records: the raw counters are taken to
// have stood at those sums at the previous reading.
void mergeBySessionSums(TrafficDatabase& database, std::size_t index, const AdapterReading& reading,
                        const DiagnosticLog& log)
{
    const CounterWidth width = reading.width;
    const TrafficRecord& current = database.records.back();
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

    auto apply = [&](std::int64_t stored, const std::optional<std::uint64_t>& raw, std::uint64_t baseline) {
        if (!raw)
            return CountUpdate{0, stored, false};
        if (width == CounterWidth::bits32)
            return update32(stored, hasEntry, *raw, baseline);
        return update64(stored, *raw, baseline + static_cast<std::uint64_t>(stored), baseline);
    };
    const CountUpdate sent = apply(entry.sent, reading.sent, baselineSent);
    const CountUpdate received = apply(entry.received, reading.received, baselineReceived);
    logCounts(log, reading, continued, hasEntry, sent, received);
    database.setCounts(index, {sent.count, received.count});
}

// The adapter as the next run's state holds it: its counters as read; one that could not
// be read keeps its last known value.
AdapterState noted(const AdapterReading& reading, const AdapterState* previous)
{
    AdapterState state{reading.index, nameHash(reading.name), reading.width, 0, 0};
    state.sent = reading.sent ? *reading.sent : previous ? previous->sent : 0;
    state.received = reading.received ? *reading.received : previous ? previous->received : 0;
    return state;
}

const AdapterState* lastKnown(const MergeSession& session, const AdapterReading& reading)
{
    return session.last && session.sameBoot ? session.last->find(reading) : nullptr;
}

// The counts from the adapter's last known counters in the last run's state (previous),
// or its whole counters where the boot has not shown it.
void mergeByIdentity(TrafficDatabase& database, const MergeSession& session, std::size_t index,
                     const AdapterReading& reading, const AdapterState* previous, const DiagnosticLog& log)
{
    const CounterWidth width = reading.width;
    const TrafficRecord& current = database.records.back();
    const RunState& next = session.next;
    const FileTime elapsed = session.elapsed;
    const bool hasEntry = index < current.entryCount;
    const AdapterCounters entry = database.counts(current, index);

    auto apply = [&](std::int64_t stored, const std::optional<std::uint64_t>& raw, std::uint64_t previousRaw) {
        CountUpdate update{stored, stored, false};
        if (raw) {
            update.restarted = previous && *raw < previousRaw;
            // An interface read by its 32-bit counters once and its 64-bit ones another
            // time: the 32-bit ones are the low bits of the others.
            const std::uint64_t difference =
                !previous                 ? *raw
                : previous->width != width ? std::uint32_t(*raw - previousRaw)
                                          : counterDifference(width, previousRaw, *raw, elapsed);
            update.count = static_cast<std::int64_t>(static_cast<std::uint64_t>(stored) + difference);
            update.reduced = update.count;
        }
        return update;
    };
    const CountUpdate sent = apply(entry.sent, reading.sent, previous ? previous->sent : 0);
    const CountUpdate received = apply(entry.received, reading.received, previous ? previous->received : 0);
    // A record that began at a midnight continues the session from the day before.
    logCounts(log, reading, current.intervalStart != next.sessionBootTime, hasEntry, sent, received);
    database.setCounts(index, {sent.count, received.count});
}

} // namespace

void mergeAdapter(TrafficDatabase& database, MergeSession& session, std::size_t number,
                  const AdapterReading& reading, const DiagnosticLog& log)
{
    const AdapterState* previous = lastKnown(session, reading);
    const AdapterCounters before = database.counts(database.records.back(), number);
    if (session.last)
        mergeByIdentity(database, session, number, reading, previous, log);
    else
        mergeBySessionSums(database, number, reading, log);
    session.next.adapters.push_back(noted(reading, previous));
    const AdapterCounters after = database.counts(database.records.back(), number);
    session.counted.resize(std::max(session.counted.size(), number + 1));
    // Counts wrap modulo 2^64 as the totals do: the difference is taken with the same bits unsigned.
    auto added = [](std::int64_t from, std::int64_t to) {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(to) - static_cast<std::uint64_t>(from));
    };
    session.counted[number] = {added(before.sent, after.sent), added(before.received, after.received)};
}

void rememberAdapters(MergeSession& session, const std::vector<AdapterReading>& adapters, bool keepUncounted)
{
    std::vector<AdapterState>& next = session.next.adapters;
    for (const AdapterReading& adapter : adapters) {
        if (adapter.loopback || session.next.find(adapter))
            continue;
        const AdapterState* previous = lastKnown(session, adapter);
        next.push_back(keepUncounted && previous ? *previous : noted(adapter, previous));
    }
    if (session.last && session.sameBoot)
        for (const AdapterState& known : session.last->adapters)
            if (!session.next.find(known.index, known.nameHash))
                next.push_back(known);
    if (next.size() > maxRememberedAdapters)
        next.resize(maxRememberedAdapters);
}
