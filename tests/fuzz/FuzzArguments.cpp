// Splits the input at NUL bytes into arguments and reads them as a command line.
#include "driver/RunSettings.h"

#include "base/DatabaseFiles.h"
#include "base/Failures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] == 0)
            arguments.emplace_back();
        else
            arguments.back() += static_cast<char>(data[i]);
    const RunSettings settings = readArguments(arguments);
    try {
        const std::filesystem::path path = databaseFiles("/opt/meter", settings.server).database;
        // An accepted name stays one file in the folder.
        if (path.parent_path() != "/opt/meter" || path.filename().string().rfind("traffic", 0) != 0)
            __builtin_trap();
    } catch (const UnknownFailure&) {
    }
    return 0;
}
