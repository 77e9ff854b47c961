#include "platform/windows/WindowsPath.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WindowsPath, FolderOfTheExecutable)
{
    // Longer than the classic 260 characters.
    std::string deep = "C:", deepFolder = "C:";
    while (deep.size() < 400)
        deep += "\\deeper", deepFolder += "/deeper";
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Tools\\Meter\\x.exe", "C:/Tools/Meter"}, {"C:/Tools/Meter/x.exe", "C:/Tools/Meter"},
        {"C:\\Tools/Meter\\x.exe", "C:/Tools/Meter"}, {"c:\\Tools\\\\Meter\\x.exe", "c:/Tools/Meter"},
        {"C:\\x.exe", "C:/"}, {"C:x.exe", "C:"}, {"\\\\server\\share\\Meter\\x.exe", "//server/share/Meter"},
        {"\\\\server\\share\\x.exe", "//server/share"}, {"//server/x.exe", "//server/"}, {"\\Tools\\x.exe", "/Tools"},
        {"x.exe", ""}, {deep + "\\brimlet.exe", deepFolder},
        // Name rules of other systems play no part: a colon or blank inside an element stays.
        {"C:\\My Tools\\a:b \\x.exe", "C:/My Tools/a:b "},
    };
    for (const auto& [path, folder] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(windowsPathFolder(path), folder);
    }
}

} // namespace
