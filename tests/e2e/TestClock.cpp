#include "TestClock.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

namespace e2e {

std::string germanTimeStamp(WallClock local)
{
    using namespace std::chrono;
    const year_month_day date(floor<days>(local));
    const hh_mm_ss time(local - floor<days>(local));
    char text[64];
    std::snprintf(text, sizeof text, "%02u.%02u.%04d %02ld:%02ld:%02lld", static_cast<unsigned>(date.day()),
                  static_cast<unsigned>(date.month()), static_cast<int>(date.year()),
                  static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                  static_cast<long long>(time.seconds().count()));
    return text;
}

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
