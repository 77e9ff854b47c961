#include "platform/DiagnosticLog.h"

#include "platform/Platform.h"

#include <ostream>

void DiagnosticLog::open(const CalendarTime& now)
{
    stream = std::make_unique<std::ofstream>("traffic.log", std::ios::app);
    *stream << "Application start: ";
    writeTimeStamp(*stream, now);
    line();
}

void DiagnosticLog::line() const
{
    if (stream)
        *stream << '\n' << std::flush;
}

void DiagnosticLog::close()
{
    line();
    stream.reset();
}

std::ostream& writeTimeStamp(std::ostream& out, const CalendarTime& time)
{
    return out << platform::formatDate(time) << ' ' << platform::formatTime(time);
}

std::ostream& writeTimeStamp(std::ostream& out, FileTime stamp)
{
    if (const auto time = toCalendarTime(stamp))
        writeTimeStamp(out, *time);
    return out;
}
