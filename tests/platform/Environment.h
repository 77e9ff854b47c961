#pragma once

#include <cstdlib>

// Names a setting through the environment for the life of the object, as a user does;
// nullptr leaves the variable unset. It is unset again afterwards.
struct EnvironmentVariable {
    EnvironmentVariable(const char* name, const char* value) : name(name) { value ? setenv(name, value, 1) : unsetenv(name); }
    ~EnvironmentVariable() { unsetenv(name); }

    const char* name;
};
