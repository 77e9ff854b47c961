#include "driver/TakeReading.h"

#include "database/Merge.h"
#include "platform/AdapterChoice.h"
#include "platform/CounterSource.h"
#include "platform/DiagnosticLog.h"
#include "platform/VisibleText.h"

#include <ostream>

namespace {

// A raw counter as the log shows it: signed, then unsigned, in the counter's width.
void logCounter(const DiagnosticLog& log, const char* label, std::uint64_t value, CounterWidth width)
{
    const auto signedValue = width == CounterWidth::bits32
                                 ? std::int64_t{static_cast<std::int32_t>(static_cast<std::uint32_t>(value))}
                                 : static_cast<std::int64_t>(value);
    *log << label << signedValue << " (unsigned " << value << ")";
    log.line();
}

void logAdapter(const DiagnosticLog& log, std::size_t number, const AdapterReading& adapter)
{
    *log << "Interface " << number << ": " << platform::visibleText(adapter.name);
    log.line();
    if (adapter.received)
        logCounter(log, " Received: ", *adapter.received, adapter.width);
    if (adapter.sent)
        logCounter(log, " Sent: ", *adapter.sent, adapter.width);
}

} // namespace

void takeReading(TrafficDatabase& database, MergeSession& session, platform::CounterSource& source,
                 const std::optional<std::vector<std::string>>& patterns, const ClockReading& clock,
                 const DiagnosticLog& log)
{
    const Reading reading = source.read(clock);
    const TrafficRecord opening = openReading(database, session, reading.boot, clock);
    if (log) {
        *log << "boot @ ";
        writeTimeStamp(*log, opening.intervalStart);
        log.line();
    }
    const platform::AdapterChoice choice = platform::chooseAdapters(reading.adapters, patterns);
    for (std::size_t number = 0; number < choice.numbered.size(); ++number) {
        const AdapterReading& adapter = reading.adapters[choice.numbered[number]];
        if (log && number == choice.counted) {
            *log << "Interface " << number << " and above: left out of every total (a record holds "
                 << platform::maxCountedAdapters << " adapters)";
            log.line();
        }
        if (log)
            logAdapter(log, number, adapter);
        if (number < choice.counted)
            mergeAdapter(database, session, number, adapter, log);
    }
    rememberAdapters(session, reading.adapters, patterns.has_value());
}
