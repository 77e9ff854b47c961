#include "platform/DiagnosticLog.h"

#include "base/Failures.h"
#include "platform/Platform.h"

#include <cstdio>
#include <ostream>

void DiagnosticLog::open(const CalendarTime& now)
{
    if (refused)
        return;
    try {
        stream = platform::openForAppending("traffic.log");
    } catch (const ProgramError& failure) {
        // Said once, apart from the pattern's output; the run goes on without a log.
        std::fprintf(stderr, "%s\n", failure.what());
        refused = true;
        return;
    }
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
