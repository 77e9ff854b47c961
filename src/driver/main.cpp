#include "driver/Run.h"
#include "platform/Platform.h"

#include <iostream>

int main(int argc, char** argv)
{
    platform::prepareProcess();
    // The streams stay synchronised with C's stdio: unsynchronised, each run would
    // allocate six buffers of its own (three for wide streams) for one line of output.
    return runBrimlet(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), std::cout);
}
