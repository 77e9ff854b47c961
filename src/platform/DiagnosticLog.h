#pragma once

#include "base/FileTime.h"

#include <ostream>
#include <memory>

// The optional log "traffic.log" in the current directory. Absent until a "log"
// argument opens it; writers test it before each line and end every line with
// line() so that it reaches the file at once.
struct DiagnosticLog {
    std::unique_ptr<std::ostream> stream;
    bool refused = false; // "traffic.log" is no regular file: the run keeps no log

    explicit operator bool() const { return stream != nullptr; }
    std::ostream& operator*() const { return *stream; }

    // Opens the file for appending (a stream that can not open stays silent; a file that
    // is not a regular one is refused with one line on standard error) and writes the
    // start line with the given local time.
    void open(const CalendarTime& now);
    // Ends the current line and flushes; does nothing while the log is absent.
    void line() const;
    // The closing line break, then the file is closed and the log absent again.
    void close();
};

// The user's short date, one blank and the user's time of day. A stamp that has no
// calendar form writes nothing.
std::ostream& writeTimeStamp(std::ostream& out, const CalendarTime& time);
std::ostream& writeTimeStamp(std::ostream& out, FileTime stamp);
