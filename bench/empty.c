/* A C process that prints one line and ends: what a process start costs at the least.
 * Against it, user_locale.c gives the cost of the user's number settings and empty.cpp
 * that of the C++ runtime's start, two things a run pays before any work of its own. */

#include <stdio.h>

int main(void)
{
    printf("one line\n");
    return 0;
}
