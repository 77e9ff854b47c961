#include "platform/Platform.h"

#include <windows.h>

namespace platform {

namespace {

constexpr const char* mutexName = "BrimletMutex1";
constexpr std::intptr_t noHandle = -1;

} // namespace

InstanceLock::~InstanceLock() { release(); }

// One named mutex for every run of the session, whatever its database: the lock file is
// not used here.
InstanceLock::Result InstanceLock::acquire(const std::filesystem::path&, int timeoutMilliseconds)
{
    const HANDLE mutex = CreateMutexA(nullptr, TRUE, mutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS
        && WaitForSingleObject(mutex, static_cast<DWORD>(timeoutMilliseconds)) == WAIT_TIMEOUT)
        return Result::timedOut; // the handle stays open until the process ends
    // Created and owned, or waited for (a predecessor that died leaves the mutex
    // abandoned, which hands it over as well).
    if (!mutex)
        return Result::unavailable;
    handle = reinterpret_cast<std::intptr_t>(mutex);
    return Result::acquired;
}

void InstanceLock::release()
{
    // The handle itself is left for the end of the process to close.
    if (handle != noHandle)
        ReleaseMutex(reinterpret_cast<HANDLE>(handle));
    handle = noHandle;
}

} // namespace platform
