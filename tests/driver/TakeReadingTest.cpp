#include "driver/TakeReading.h"

#include "database/MergeSession.h"
#include "platform/CounterSource.h"
#include "platform/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const FileTime hour = 3600 * fileTimeSecond;
const FileTime day1 = *toFileTime({.year = 2026, .month = 3, .day = 1}), boot = day1 + 20 * hour;

// Readings given as data, one per call.
struct ScriptedSource : platform::CounterSource {
    Reading reading;
    Reading read(const ClockReading&) override { return reading; }
};

AdapterReading adapter(std::string name, std::uint64_t sent, std::uint64_t received, CounterWidth width = CounterWidth::bits64)
{
    return {std::move(name), 0, width, sent, received};
}

std::string stamp(FileTime time)
{
    std::ostringstream text;
    writeTimeStamp(text, time);
    return text.str();
}

// Runs of one boot, each with the run state the one before left: what each logs (a name's
// control characters, C0 and C1, escaped) and the counts the day's record holds after it.
TEST(TakeReading, LogsTheReadingBesideTheMergeLineByLine)
{
    struct Run { FileTime at; std::vector<AdapterReading> adapters; std::string log; AdapterCounters first; };
    const std::string bootLine = "boot @ " + stamp(boot) + "\n", dayLine = "boot @ " + stamp(day1 + 24 * hour) + "\n";
    const Run runs[] = {
        {boot + hour, {adapter("lan0", 90, 2100), adapter("wan\x1b[2J\n\xc2\x9b\xc3\xa4", 3'000'000'000, 5, CounterWidth::bits32)},
         bootLine + "Interface 0: lan0\n Received: 2100 (unsigned 2100)\n Sent: 90 (unsigned 90)\n"
                    "Interface 1: wan\\x1b[2J\\n\\xc2\\x9b\xc3\xa4\n Received: 5 (unsigned 5)\n Sent: -1294967296 (unsigned 3000000000)\n",
         {90, 2100}},
        {day1 + 30 * hour, {adapter("lan0", 100, 2500)},
         dayLine + "Interface 0: lan0\n Received: 2500 (unsigned 2500)\n Sent: 100 (unsigned 100)\ncorrected to: 400/10\n",
         {10, 400}},
        {day1 + 31 * hour, {adapter("lan0", 160, 2600)},
         dayLine + "Interface 0: lan0\n Received: 2600 (unsigned 2600)\n Sent: 160 (unsigned 160)\ncorrected to: 500/70\n"
                   "sent total: 70\nrecv total: 500\n",
         {70, 500}},
    };
    TrafficDatabase database;
    std::optional<RunState> last;
    for (const Run& run : runs) {
        SCOPED_TRACE(stamp(run.at));
        ScriptedSource source;
        source.reading = {{"boot-1", boot, boot}, run.adapters};
        MergeSession session{last, 0, {}, false};
        DiagnosticLog log;
        log.stream = std::make_unique<std::ostringstream>();
        takeReading(database, session, source, std::nullopt, {*toCalendarTime(run.at), run.at, run.at}, log);
        EXPECT_EQ(static_cast<std::ostringstream&>(*log).str(), run.log);
        EXPECT_EQ(database.counts(database.records.back(), 0), run.first);
        last = session.next;
    }
}

// A record holds 255 adapters: those after are logged, said to be left out, and counted nowhere.
TEST(TakeReading, LeavesOutAdaptersBeyondWhatARecordHolds)
{
    ScriptedSource source;
    source.reading.boot = {"boot-1", boot, boot};
    for (int i = 0; i < 257; ++i)
        source.reading.adapters.push_back(adapter("eth" + std::to_string(i), 1, 2));
    TrafficDatabase database;
    MergeSession session;
    DiagnosticLog log;
    log.stream = std::make_unique<std::ostringstream>();
    takeReading(database, session, source, std::nullopt, {*toCalendarTime(boot), boot, boot}, log);
    const std::string logged = static_cast<std::ostringstream&>(*log).str();
    EXPECT_NE(logged.find("\nInterface 254: eth254\n Received: 2 (unsigned 2)\n Sent: 1 (unsigned 1)\n"
                          "Interface 255 and above: left out of every total (a record holds 255 adapters)\n"
                          "Interface 255: eth255\n Received: 2 (unsigned 2)\n Sent: 1 (unsigned 1)\nInterface 256: eth256\n"),
              std::string::npos);
    EXPECT_EQ(database.records.back().entryCount, 255u);
    EXPECT_EQ(session.next.adapters.size(), 255u);
}

} // namespace
