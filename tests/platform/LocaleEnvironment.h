#pragma once

#include <cstdlib>
#include <optional>
#include <string>

// Names the user's locale through the environment for the life of the object, as a user
// does; nullptr leaves a variable unset. The old values come back afterwards.
class LocaleEnvironment {
public:
    explicit LocaleEnvironment(const char* all, const char* numeric = nullptr, const char* lang = nullptr)
    {
        const char* values[] = {all, numeric, lang};
        for (int i = 0; i < 3; ++i) {
            if (const char* old = std::getenv(names[i]))
                saved[i] = old;
            put(names[i], values[i]);
        }
    }
    LocaleEnvironment(const LocaleEnvironment&) = delete;
    LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;
    ~LocaleEnvironment()
    {
        for (int i = 0; i < 3; ++i)
            put(names[i], saved[i] ? saved[i]->c_str() : nullptr);
    }

private:
    static void put(const char* name, const char* value)
    {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

    static constexpr const char* names[3] = {"LC_ALL", "LC_NUMERIC", "LANG"};
    std::optional<std::string> saved[3];
};
