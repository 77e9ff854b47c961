// Writes a traffic database of the given number of records for the benchmark, in the
// program's own file layout.
//
//   brimlet_make_database RECORDS FILE

#include "SampleDatabase.h"

#include "database/TrafficDatabase.h"
#include "platform/Platform.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: brimlet_make_database RECORDS FILE\n";
        return 2;
    }
    const std::size_t count = std::strtoull(argv[1], nullptr, 10);
    const FileTime now = platform::readClock().localTime;
    const std::string content = sampleDatabase(count, now).fileContent;

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
        std::cerr << "can not write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
