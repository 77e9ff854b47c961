#include "TestClock.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace e2e {

std::int64_t bootEpoch()
{
    std::ifstream stat("/proc/stat");
    std::string key;
    while (stat >> key) {
        if (std::int64_t value = 0; key == "btime" && stat >> value)
            return value;
        stat.ignore(4096, '\n');
    }
    throw std::runtime_error("no btime in /proc/stat");
}

} // namespace e2e
