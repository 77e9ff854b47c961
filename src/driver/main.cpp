#include "driver/Run.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    return runBrimlet(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), std::cout);
}
