#include "platform/windows/WindowsPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WindowsPath, FolderOfTheExecutable)
{
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"C:\\Tools\\Meter\\x.exe", "C:/Tools/Meter"},
        {"C:/Tools/Meter/x.exe", "C:/Tools/Meter"},
        {"C:\\Tools/Meter\\x.exe", "C:/Tools/Meter"},
        {"c:\\Tools\\\\Meter\\x.exe", "c:/Tools/Meter"},
        {"C:\\x.exe", "C:/"},
        {"C:x.exe", "C:"},
        {"\\\\server\\share\\Meter\\x.exe", "//server/share/Meter"},
        {"\\\\server\\share\\x.exe", "//server/share"},
        {"//server/x.exe", "//server/"},
        {"\\Tools\\x.exe", "/Tools"},
        {"x.exe", ""},
        // Name rules of other systems play no part: a colon or blank inside an element stays.
        {"C:\\My Tools\\a:b \\x.exe", "C:/My Tools/a:b "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(windowsPathFolder(c.path), c.folder);
    }
}

TEST(WindowsPath, LongerThanTheClassicLimit)
{
    std::string folder = "C:";
    while (folder.size() < 400)
        folder += "/deeper";
    std::string path = folder + "/brimlet.exe";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    EXPECT_EQ(windowsPathFolder(path), folder);
}

} // namespace
