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
        const DatabaseFiles files = databaseFiles("/opt/meter", settings.server);
        // An accepted name stays one file in the folder, and no save's temporary file.
        for (const auto& path : {files.database, files.state, files.lock})
            if (path.parent_path() != "/opt/meter" || temporaryOwner(files.database, path))
                __builtin_trap();
        if (files.database.filename().string().rfind("traffic", 0) != 0)
            __builtin_trap();
    } catch (const UnknownFailure&) {
    }
    return 0;
}
