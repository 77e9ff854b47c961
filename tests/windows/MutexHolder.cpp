// Test aid: takes the program's named mutex, says "held", keeps it for the given
// milliseconds and ends without releasing it, as a run that dies would.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const HANDLE mutex = CreateMutexA(nullptr, TRUE, "BrimletMutex1");
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS)
        return 1;
    std::puts("held");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[1])));
    return 0;
}
