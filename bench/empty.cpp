// A C++ process that writes one line through the standard streams, linked as brimlet
// is: its cost beyond empty.c is the C++ runtime's start (static initialisation of the
// streams and of the classic locale's facets).

#include <iostream>

int main()
{
    std::cout << "one line\n";
    return 0;
}
