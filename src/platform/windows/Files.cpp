#include "base/DatabaseFiles.h"
#include "base/Failures.h"
#include "platform/Platform.h"
#include "platform/windows/SystemError.h"

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <climits>
#include <optional>
#include <utility>

namespace platform {

namespace {

// A path as the user reads it: narrow text of the ANSI code page, '/' separators.
std::string displayName(const std::filesystem::path& path)
{
    const std::wstring wide = path.generic_wstring();
    if (wide.empty())
        return {};
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

[[noreturn]] void fail(const char* what, const std::filesystem::path& path, DWORD error)
{
    throw ProgramError(std::string(what) + " " + displayName(path) + ": " + systemErrorText(error));
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    HANDLE get() const { return handle; }
    // Closes now, so that a failure to close can be told.
    bool close() { return CloseHandle(std::exchange(handle, INVALID_HANDLE_VALUE)) != 0; }

private:
    HANDLE handle;
};

bool writeAll(HANDLE file, std::string_view content)
{
    while (!content.empty()) {
        const DWORD chunk = content.size() > INT_MAX ? INT_MAX : static_cast<DWORD>(content.size());
        DWORD written = 0;
        if (!WriteFile(file, content.data(), chunk, &written, nullptr))
            return false;
        content.remove_prefix(written);
    }
    return true;
}

std::uint64_t wide(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

std::optional<FileStamp> stampOf(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information))
        return std::nullopt;
    return FileStamp{information.dwVolumeSerialNumber, wide(information.nFileIndexHigh, information.nFileIndexLow),
                     wide(information.nFileSizeHigh, information.nFileSizeLow),
                     wide(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime),
                     wide(information.ftCreationTime.dwHighDateTime, information.ftCreationTime.dwLowDateTime)};
}

} // namespace

// Paths are handed to the wide-character calls: their native form is wide, while the
// narrow form that the standard library makes of them need not be the ANSI code page.
std::optional<std::string> readFile(const std::filesystem::path& path, std::size_t growth, FileStamp* stamp)
{
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return std::nullopt;
        fail("Can not read", path, error);
    }
    std::string content;
    const std::optional<FileStamp> found = stampOf(file.get());
    if (found)
        content.reserve(static_cast<std::size_t>(found->size) + growth);
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
            fail("Can not read", path, GetLastError());
        if (got == 0)
            break;
        content.append(buffer, got);
    }
    if (stamp) {
        *stamp = found.value_or(FileStamp{});
        stamp->size = content.size(); // a file that changed while it was read matches no later stamp
    }
    return content;
}

bool overwriteFile(const std::filesystem::path& path, const FileStamp& stamp, std::size_t offset,
                   std::string_view bytes, bool sync)
{
    // A link at the name is opened itself, whose stamp is not its target's: nothing is
    // written through it.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE || stampOf(file.get()) != stamp || offset > stamp.size
        || bytes.size() > stamp.size - offset)
        return false;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &at)
           && written == bytes.size() && (!sync || FlushFileBuffers(file.get())) && file.close();
}

void replaceFile(const std::filesystem::path& path, std::string_view content, bool)
{
    // The new content goes to a file of its own beside the old one, reaches the disk,
    // and only then takes the old one's name; the move writes through, so there is no
    // folder to sync.
    const std::filesystem::path temporary = temporaryFile(path, GetCurrentProcessId());

    FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        fail("Can not save", path, GetLastError());
    DWORD error = ERROR_SUCCESS;
    if (!writeAll(file.get(), content) || !FlushFileBuffers(file.get()))
        error = GetLastError();
    if (!file.close() && error == ERROR_SUCCESS)
        error = GetLastError();
    if (error == ERROR_SUCCESS
        && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS) {
        DeleteFileW(temporary.c_str());
        fail("Can not save", path, error);
    }
}

std::unique_ptr<std::ostream> openForAppending(const std::filesystem::path& path)
{
    return std::make_unique<std::ofstream>(path, std::ios::app);
}

void removeAbandonedTemporaries(std::initializer_list<std::filesystem::path> files)
{
    if (files.size() == 0)
        return;
    std::filesystem::path pattern = *files.begin();
    pattern.replace_filename(L"*.new-*");
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        // The pattern matches short 8.3 names too: the long name decides.
        const std::filesystem::path name = found.cFileName;
        for (const std::filesystem::path& file : files) {
            const std::optional<std::uint64_t> owner = temporaryOwner(file, name);
            if (!owner)
                continue;
            const auto pid = static_cast<DWORD>(*owner);
            if (*owner > MAXDWORD || pid == GetCurrentProcessId())
                break;
            // No process of that id: OpenProcess fails with ERROR_INVALID_PARAMETER (any
            // other failure, such as access denied, means that it runs).
            if (const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid))
                CloseHandle(process);
            else if (GetLastError() == ERROR_INVALID_PARAMETER)
                DeleteFileW(std::filesystem::path(file).replace_filename(name).c_str());
            break;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace platform
