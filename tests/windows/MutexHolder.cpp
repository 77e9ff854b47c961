// Test aid: takes the program's named mutex (waiting, as a holder that has just ended may
// still own it for a moment), says "held", keeps it for 8 seconds and ends without
// releasing it, as a run that dies would.
#include <windows.h>

#include <cstdio>

int main()
{
    const DWORD waited = WaitForSingleObject(CreateMutexA(nullptr, FALSE, "BrimletMutex1"), 10000);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        return 1;
    std::puts("held");
    std::fflush(stdout);
    Sleep(8000);
}
