#include "base/Failures.h"
#include "platform/Platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// The failure's message, or "" when the call succeeded.
template <class Call>
std::string failureOf(Call call)
{
    try {
        call();
        return "";
    } catch (const ProgramError& failure) {
        return failure.what();
    }
}

TEST(Files, ReplaceWholeFilesByteForByteAndNameTheFileOnFailure)
{
    const fs::path folder = fs::temp_directory_path() / ("brimlet-files-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "traffic";
    EXPECT_FALSE(platform::readFile(file).has_value());
    // Binary content: no line end or end-of-file byte is translated.
    for (const std::string& content : {std::string("\x01\0\0\0\r\n\x1a\n\xff", 9), std::string("ab"), std::string()}) {
        platform::replaceFile(file, content);
        EXPECT_EQ(platform::readFile(file), content);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1); // nothing but the file itself

    EXPECT_TRUE(failureOf([&] { platform::readFile(folder); }).starts_with("Can not read " + folder.generic_string() + ": "));
    const fs::path missing = folder / "missing" / "traffic";
    const std::string saveFailure = failureOf([&] { platform::replaceFile(missing, "x"); });
    EXPECT_TRUE(saveFailure.starts_with("Can not save " + missing.generic_string() + ": ")) << saveFailure;
    EXPECT_GT(saveFailure.size(), ("Can not save " + missing.generic_string() + ": ").size());
    fs::remove_all(folder);
}

TEST(ExecutableFolder, IsTheFolderOfTheRunningProgram)
{
    wchar_t name[32768];
    const DWORD length = GetModuleFileNameW(nullptr, name, 32768);
    ASSERT_GT(length, 0u);
    const fs::path program(std::wstring(name, length));
    EXPECT_EQ(platform::executableFolder().generic_wstring(), program.parent_path().generic_wstring());
}

} // namespace
