#pragma once

// Holds the program's lock from a process of its own, the way a running program holds
// it, until that process is killed.

#include <sys/types.h>

#include <filesystem>

namespace e2e {

class LockHolder {
public:
    // Makes the lock file the way the program makes it, then takes the lock.
    explicit LockHolder(const std::filesystem::path& lockFile);
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    ~LockHolder() { kill(); }

    void kill();

private:
    pid_t pid = -1;
};

} // namespace e2e
