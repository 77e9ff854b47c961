// Test aid: takes the program's named mutex, says "held", keeps it for the given
// milliseconds and ends without releasing it, as a run that dies would.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    // Waits rather than insisting on a new mutex: a holder that has just ended may
    // still be on record as its owner for a moment, until Wine has seen it go.
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, "BrimletMutex1");
    if (!mutex) {
        std::fprintf(stderr, "CreateMutexA failed: error %lu\n", GetLastError());
        return 1;
    }
    const DWORD waited = WaitForSingleObject(mutex, 10000);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        std::fprintf(stderr, "WaitForSingleObject returned %lu, error %lu\n", waited, GetLastError());
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[1])));
    return 0;
}
