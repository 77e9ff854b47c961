#include "driver/Run.h"
#include "platform/Platform.h"

int main(int argc, char** argv)
{
    platform::prepareProcess();
    StandardOutput out;
    return runBrimlet(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), out);
}
