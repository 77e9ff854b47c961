#pragma once

#include <stdexcept>

// A failure raised by the program's own steps. The driver reports its text after
// "Program Exception: "; every other exception is reported without its text.
class ProgramError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
