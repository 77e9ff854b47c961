#include "driver/RunSettings.h"

#include "base/Failures.h"

#include <charconv>
#include <cstring>
#include <string_view>

RunSettings readArguments(const std::vector<std::string>& arguments)
{
    RunSettings settings;
    if (arguments.empty()) {
        settings.helpPage = true;
        settings.patternMode = false;
        return settings;
    }
    // What a new user types first, as the only argument; along with others they keep
    // their old meaning (a pattern).
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "--version")) {
        (arguments[0] == "--version" ? settings.versionLine : settings.helpPage) = true;
        settings.patternMode = false;
        return settings;
    }
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const std::string& argument = *it;
        std::string* value = argument == "server" ? &settings.server
                             : argument == "user" ? &settings.user
                             : argument == "pass" ? &settings.password
                                                  : nullptr;
        if (value) {
            if (std::next(it) == arguments.end())
                break;
            *value = *++it;
        } else if (argument == "help") {
            settings.helpPage = true;
            settings.patternMode = false;
            break;
        } else if (argument == "list") {
            settings.listMode = true;
            settings.patternMode = false;
        } else if (argument == "log") {
            ++settings.logOpenings;
        } else {
            settings.pattern = argument;
        }
    }
    return settings;
}

int monthStartDay(const char* setting)
{
    if (!setting)
        return 1;
    const char* end = setting + std::strlen(setting);
    int day = 0;
    const auto [stop, error] = std::from_chars(setting, end, day);
    return error == std::errc() && stop == end && day >= 1 && day <= 31 ? day : 1;
}

std::filesystem::path databasePath(const std::filesystem::path& folder, const std::string& server)
{
    const std::string name = server.empty() ? "traffic" : "traffic." + server;
    for (const char c : name)
        if ((c >= 0x01 && c <= 0x1F) || std::string_view("<>:\\|*?\"/").find(c) != std::string_view::npos)
            throw UnknownFailure("file name with a forbidden character");
    if (name.back() == ' ')
        throw UnknownFailure("file name ending with a blank");
    // "<file>.new-<digits>" is the form of a save's temporary file, which the run that
    // holds the lock removes when its process no longer runs.
    const std::size_t digits = name.find_last_not_of("0123456789");
    if (digits + 1 < name.size() && std::string_view(name).substr(0, digits + 1).ends_with(".new-"))
        throw UnknownFailure("file name of a temporary file");
    return folder / name;
}

std::filesystem::path lockPath(const std::filesystem::path& database)
{
    std::filesystem::path name = ".";
    name += database.filename();
    name += ".lock";
    return std::filesystem::path(database).replace_filename(name);
}
