#include "base/Failures.h"
#include "platform/Platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

class FilesTest : public testing::Test {
protected:
    fs::path folder;

    FilesTest()
    {
        folder = fs::temp_directory_path() / ("brimlet-files-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~FilesTest() override { fs::remove_all(folder); }

    std::string failureOf(void (*call)(const fs::path&), const fs::path& path)
    {
        try {
            call(path);
            return "";
        } catch (const ProgramError& failure) {
            return failure.what();
        }
    }
};

TEST_F(FilesTest, ReplacesWholeFilesByteForByte)
{
    const fs::path file = folder / "traffic";
    EXPECT_FALSE(platform::readFile(file).has_value());

    // Binary content: no line end or end-of-file byte is translated.
    const std::string first("\x01\0\0\0\r\n\x1a\n\xff", 9);
    platform::replaceFile(file, first);
    EXPECT_EQ(platform::readFile(file), first);
    platform::replaceFile(file, "ab");
    EXPECT_EQ(platform::readFile(file), "ab");
    platform::replaceFile(file, "");
    EXPECT_EQ(platform::readFile(file), "");

    // Nothing but the file itself is left in the folder.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST_F(FilesTest, FailuresNameTheFileAndTheReason)
{
    const std::string readFailure = failureOf([](const fs::path& p) { platform::readFile(p); }, folder);
    EXPECT_EQ(readFailure.rfind("Can not read " + folder.generic_string() + ": ", 0), 0u) << readFailure;

    const fs::path missingFolder = folder / "missing" / "traffic";
    const std::string saveFailure =
        failureOf([](const fs::path& p) { platform::replaceFile(p, "x"); }, missingFolder);
    EXPECT_EQ(saveFailure.rfind("Can not save " + missingFolder.generic_string() + ": ", 0), 0u) << saveFailure;
    EXPECT_GT(saveFailure.size(), ("Can not save " + missingFolder.generic_string() + ": ").size());
}

TEST(ExecutableFolder, IsTheFolderOfTheRunningProgram)
{
    wchar_t name[32768];
    const DWORD length = GetModuleFileNameW(nullptr, name, 32768);
    ASSERT_GT(length, 0u);
    const fs::path expected = fs::path(std::wstring(name, length)).parent_path();
    EXPECT_EQ(platform::executableFolder().generic_wstring(), expected.generic_wstring());
    EXPECT_TRUE(fs::exists(platform::executableFolder() / fs::path(std::wstring(name, length)).filename()));
}

} // namespace
