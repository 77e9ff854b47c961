#include "driver/TakeReading.h"

#include "database/MergeSession.h"
#include "platform/CounterSource.h"
#include "platform/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const FileTime hour = 3600 * fileTimeSecond;
const FileTime day1 = *toFileTime({.year = 2026, .month = 3, .day = 1}), boot = day1 + 20 * hour;

// A source whose reading is given as data.
struct ScriptedSource : platform::CounterSource {
    Reading reading;
    Reading read(const ClockReading&) override { return reading; }
};

// One run at the time given on a database, with the state the run before it left; its log.
std::string run(TrafficDatabase& database, std::optional<RunState>& last, std::vector<AdapterReading> adapters,
                FileTime at = boot + hour)
{
    ScriptedSource source;
    source.reading = {{.id = "boot-1", .utcBootTime = boot, .localBootTime = boot}, std::move(adapters)};
    MergeSession session;
    session.last = last;
    DiagnosticLog log;
    log.stream = std::make_unique<std::ostringstream>();
    takeReading(database, session, source, std::nullopt, {*toCalendarTime(at), at, at}, log);
    last = session.next;
    return static_cast<std::ostringstream&>(*log).str();
}

AdapterReading adapter(std::string name, std::uint64_t sent, std::uint64_t received = 0, std::uint32_t index = 0,
                       CounterWidth width = CounterWidth::bits64)
{
    return {std::move(name), index, width, sent, received};
}

std::string bootLine(FileTime start)
{
    std::ostringstream text;
    writeTimeStamp(text << "boot @ ", start) << '\n';
    return text.str();
}

// Runs of one boot: what each logs beside the merge's lines (a name's control characters, C0
// and C1, escaped), and adapter 0's counts after it.
TEST(TakeReading, LogsTheReadingBesideTheMergeLineByLine)
{
    const std::tuple<FileTime, std::vector<AdapterReading>, std::string, AdapterCounters> runs[] = {
        {boot + hour, {adapter("lan0", 90, 2100), adapter("wan\x1b[2J\n\xc2\x9b\xc3\xa4", 3'000'000'000, 5, 0, CounterWidth::bits32)},
         bootLine(boot) + "Interface 0: lan0\n Received: 2100 (unsigned 2100)\n Sent: 90 (unsigned 90)\n"
                          "Interface 1: wan\\x1b[2J\\n\\xc2\\x9b\xc3\xa4\n Received: 5 (unsigned 5)\n Sent: -1294967296 (unsigned 3000000000)\n",
         {90, 2100}},
        {day1 + 30 * hour, {adapter("lan0", 100, 2500)},
         bootLine(day1 + 24 * hour) + "Interface 0: lan0\n Received: 2500 (unsigned 2500)\n Sent: 100 (unsigned 100)\n"
                                      "corrected to: 400/10\n",
         {10, 400}},
    };
    TrafficDatabase database;
    std::optional<RunState> last;
    for (const auto& [at, adapters, log, first] : runs) {
        EXPECT_EQ(run(database, last, adapters, at), log);
        EXPECT_EQ(database.counts(database.records.back(), 0), first);
    }
    // A record holds 255 adapters: those after are logged, said to be left out, counted nowhere, remembered.
    std::vector<AdapterReading> many;
    for (int i = 0; i < 257; ++i)
        many.push_back(adapter("eth" + std::to_string(i), 1, 2));
    database = {};
    last.reset();
    EXPECT_NE(run(database, last, many)
                  .find("\nInterface 254: eth254\n Received: 2 (unsigned 2)\n Sent: 1 (unsigned 1)\n"
                        "Interface 255 and above: left out of every total (a record holds 255 adapters)\n"
                        "Interface 255: eth255\n Received: 2 (unsigned 2)\n Sent: 1 (unsigned 1)\nInterface 256: eth256\n"),
              std::string::npos);
    EXPECT_EQ(database.records.back().entryCount, 255u);
    EXPECT_EQ(last->adapters.size(), 257u);
}

// Runs of one boot on one day: an adapter counts its whole counter only where it is new (an
// index the boot has not shown) or its counter went down; renamed or left out by the agent,
// it goes on from its last counted counters. tests/e2e shows the same through the kernel's
// renames and swaps and through runs that BRIMLET_ADAPTERS narrows.
TEST(TakeReading, CountsAWholeCounterOnlyOnEvidence)
{
    const std::pair<std::vector<AdapterReading>, AdapterCounters> runs[] = { // adapters 0 and 1 sent
        {{adapter("eth0", 100, 0, 2), adapter("eth1", 1000, 0, 3)}, {100, 1000}},
        {{adapter("eth1", 220, 0, 2)}, {220, 1000}}, // adapter 0 takes 1's name; 1 left out of the reading
        {{adapter("eth1", 230, 0, 2), adapter("lan0", 1700, 0, 3)}, {230, 1700}},
        {{adapter("eth1", 240, 0, 2), adapter("lan0", 50, 0, 7)}, {240, 1750}}, // its name, a new index
        {{adapter("eth1", 250, 0, 2), adapter("lan0", 20, 0, 7)}, {250, 1770}}, // its counter went down
    };
    TrafficDatabase database;
    std::optional<RunState> last;
    for (const auto& [adapters, sent] : runs) {
        run(database, last, adapters);
        ASSERT_EQ(database.records.size(), 1u);
        EXPECT_EQ(AdapterCounters(database.counts(database.records[0], 0).sent, database.counts(database.records[0], 1).sent), sent)
            << &sent - &runs[0].second;
    }
}

} // namespace
