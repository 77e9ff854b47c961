#include "driver/ReadAdapters.h"

#include "database/Merge.h"
#include "platform/CounterSource.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"

#include <ostream>

namespace {

// A raw counter as the log shows it: signed, then unsigned, in the counter's width.
void logCounter(const DiagnosticLog& log, const char* label, std::uint64_t value, CounterWidth width)
{
    if (!log)
        return;
    const auto signedValue = width == CounterWidth::bits32
                                 ? std::int64_t{static_cast<std::int32_t>(static_cast<std::uint32_t>(value))}
                                 : static_cast<std::int64_t>(value);
    *log << label << signedValue << " (unsigned " << value << ")";
    log.line();
}

} // namespace

void readAdapters(TrafficDatabase& database, platform::CounterSource& source, bool printOnly,
                  const DiagnosticLog& log, std::ostream& out, FileTime now)
{
    if (!printOnly) {
        const FileTime bootTime = source.readBootTime();
        const TrafficRecord opening =
            openReading(database, source.readBootIdentity(), bootTime, now, platform::utcNow());
        if (log) {
            *log << "boot @ ";
            writeTimeStamp(*log, opening.intervalStart);
            log.line();
        }
    }

    const CounterWidth width = source.counterWidth();
    std::size_t number = 0;
    source.forEachAdapter(true, [&](const AdapterReading& reading) {
        if (printOnly)
            out << "Interface " << number << ": " << reading.name;
        // A record holds the counts of 255 adapters: the 256th and any after it are read
        // and logged, but left out of every total.
        if (log && !printOnly && number == TrafficRecord::maxAdapters) {
            *log << "Interface " << number << " and above: left out of every total (a record holds "
                 << TrafficRecord::maxAdapters << " adapters)";
            log.line();
        }
        if (log) {
            *log << "Interface " << number << ": " << reading.name;
            log.line();
        }
        if (reading.received) {
            logCounter(log, " Received: ", *reading.received, width);
            if (printOnly)
                out << " Received: " << *reading.received;
        }
        if (reading.sent) {
            logCounter(log, " Sent: ", *reading.sent, width);
            if (printOnly)
                out << " Sent: " << *reading.sent;
        }
        if (printOnly)
            out << '\n' << std::flush;
        else
            mergeAdapter(database, number, reading, width, log);
        ++number;
    });
}
