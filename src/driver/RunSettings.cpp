#include "driver/RunSettings.h"

#include <charconv>
#include <cstring>

RunSettings readArguments(const std::vector<std::string>& arguments)
{
    RunSettings settings;
    if (arguments.empty()) {
        settings.helpPage = true;
        settings.patternMode = false;
        return settings;
    }
    // What a new user types first, as the only argument; along with others each is a
    // pattern.
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

void takeCredentials(RunSettings& settings, const char* user, const char* password)
{
    if (settings.user.empty() && user)
        settings.user = user;
    if (settings.password.empty() && password)
        settings.password = password;
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
