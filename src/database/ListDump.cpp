#include "database/TrafficDatabase.h"

#include "driver/DiagnosticLog.h"
#include "platform/CounterSource.h"

#include <ostream>

void TrafficRecord::printRecordLine(std::ostream& out, std::size_t adapterIndex) const
{
    writeTimeStamp(out, intervalStart) << ": ";
    if (adapterIndex < adapters.size()) // an adapter that appeared later has no counts here
        out << adapters[adapterIndex].sent << " bytes sent, " << adapters[adapterIndex].received
            << " bytes received.";
    else
        out << "no data recorded";
    out << '\n' << std::flush;
}

void TrafficDatabase::printList(platform::CounterSource& source, std::ostream& out) const
{
    std::size_t number = 0;
    source.forEachAdapter(false, [&](const AdapterReading& reading) {
        out << "Interface " << number << ": " << reading.name << '\n' << std::flush;
        if (records.empty())
            out << "no data recorded\n" << std::flush;
        for (const TrafficRecord& record : records)
            record.printRecordLine(out, number);
        out << '\n' << std::flush;
        ++number;
    });
}
