#include "driver/ListDump.h"

#include "database/TrafficDatabase.h"
#include "platform/AdapterChoice.h"
#include "platform/DiagnosticLog.h"
#include "platform/VisibleText.h"

#include <ostream>

namespace {

// One line of the dump: the record's start and the adapter's counts.
void printRecordLine(const TrafficDatabase& database, const TrafficRecord& record, std::size_t adapterIndex,
                     std::ostream& out)
{
    writeTimeStamp(out, record.intervalStart) << ": ";
    if (adapterIndex < record.entryCount) { // an adapter that appeared later has no counts here
        const AdapterCounters counts = database.counts(record, adapterIndex);
        out << counts.sent << " bytes sent, " << counts.received << " bytes received.";
    } else {
        out << "no data recorded";
    }
    out << '\n' << std::flush;
}

} // namespace

void printList(const TrafficDatabase& database, const Reading& reading, const platform::AdapterChoice& choice,
               std::ostream& out)
{
    for (std::size_t number = 0; number < choice.numbered.size(); ++number) {
        out << "Interface " << number << ": " << platform::visibleText(reading.adapters[choice.numbered[number]].name) << '\n'
            << std::flush;
        if (database.records.empty())
            out << "no data recorded\n" << std::flush;
        for (const TrafficRecord& record : database.records)
            printRecordLine(database, record, number, out);
        out << '\n' << std::flush;
    }
}
