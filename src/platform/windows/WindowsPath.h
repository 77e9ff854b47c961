#pragma once

#include <string>
#include <string_view>

// The folder of a file given by a Windows path, in '/' form. Both '\' and '/'
// separate elements; a drive ("C:") or a pair of separators and a computer name
// ("\\server") forms the root. The last element is dropped and a root keeps its
// separator: C:\Tools\Meter\x.exe gives C:/Tools/Meter, C:\x.exe gives C:/ and
// \\server\share\x.exe gives //server/share. Holds no operating system call, so
// that it can be tested on any system.
std::string windowsPathFolder(std::string_view path);
