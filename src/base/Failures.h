#pragma once

#include <stdexcept>

// The two kinds of failure a run reports. Every step raises one of these or lets the
// standard library's own failures through (std::bad_alloc for memory exhaustion,
// std::length_error for a container grown past its limit); the driver reports those
// exactly as it reports an UnknownFailure.

// A failure of the program's own steps whose text tells the user what went wrong:
// reported as "Program Exception: " and the text.
class ProgramError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure reported as "Unknown Program Exception", whatever its text: a database
// file name that no portable file name can hold, a text that can not be converted
// between code pages, a boot time text too short to read. The text is for tests and
// debuggers only.
class UnknownFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
