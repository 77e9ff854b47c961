#pragma once

// What the program asks of the operating system, declared once. Each build compiles
// exactly one implementation (platform/linux or platform/windows); nothing outside
// src/platform includes an operating system header.

#include "base/FileTime.h"
#include "platform/NumberFormat.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The clocks, now.
ClockReading readClock();

// The user's short date, and the user's time of day with seconds, for the given fields.
std::string formatDate(const CalendarTime& time);
std::string formatTime(const CalendarTime& time);

// A plain decimal text (digits, at most one '.', no sign) as the user's locale writes
// numbers: grouped integer part, the locale's separators, rounded or padded to
// exactly fractionDigits digits after the separator.
std::string formatForUser(std::string_view decimalText, int fractionDigits);

// The user's number settings, and a mark of where they come from: the variables that
// name the locale and the stamps of the system's locale files. Where reading them costs
// a run more than its own work (the C library maps its whole locale archive for them),
// a run hands them on to the next one, which takes them while the mark still fits. A
// mark of 0 is never taken: it stands for settings read afresh each time, or for files
// the mark can not vouch for.
struct UserNumbers {
    std::uint64_t source = 0;
    NumberFormat format;

    bool operator==(const UserNumbers&) const = default;
};
// The settings formatForUser uses from now on: known, where its mark is that of the
// user's settings now, else the settings read anew.
UserNumbers userNumbers(const UserNumbers& known);

// The folder that holds the running executable, with '/' separators.
std::filesystem::path executableFolder();

// Readies the memory at data, which is about to be filled whole: backed by huge pages
// where whole ones fit, and all its pages mapped in one call. Filling a block page by
// page costs a fault for every 4 KiB, and a fault is expensive on virtual machines.
// Where the system offers nothing of the kind, nothing happens.
void prepareForFilling(void* data, std::size_t size);

// Overwrites the text's characters with zeros in a way the compiler keeps: a secret the
// run has done with leaves no copy in memory given back.
void clearSecret(std::string& text);

// Which file a read found and how it stood: a later overwrite goes only to that very
// file, unchanged since.
struct FileStamp {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    std::uint64_t size = 0;
    std::uint64_t modified = 0;
    std::uint64_t changed = 0;

    bool operator==(const FileStamp&) const = default;
};

// The whole content of a file; nothing when it does not exist. Any other failure to
// read it raises a ProgramError naming the file and the reason. The content has room
// for growth more bytes, so that a caller that appends that much never moves it. Where
// stamp is given, it receives the file's stamp.
std::optional<std::string> readFile(const std::filesystem::path& path, std::size_t growth = 0,
                                    FileStamp* stamp = nullptr);

// The aligned span of a file within which one write is whole or absent after a kill:
// one page of the system's file cache. The device writes it whole where its sectors
// are that large; docs/reliability.md says what a power cut does otherwise.
constexpr std::size_t wholeWriteSpan = 4096;

// Writes bytes over the file's content from offset on, with one write, and with sync
// one data sync: no new file, no change of size or name. Only where the file is still
// the one stamp describes and the bytes lie within it; false where it is not, or where
// the write or the sync fails (the caller then replaces the file whole).
bool overwriteFile(const std::filesystem::path& path, const FileStamp& stamp, std::size_t offset,
                   std::string_view bytes, bool sync = true);

// Replaces the file with the given content so that, whatever happens meanwhile, the
// file holds either the old or the new content in full. A failure raises a
// ProgramError naming the file and the reason, and leaves the old content in place.
// Without syncFolder the new name reaches the disk with the folder's next sync, which
// lets two files saved one after the other share one.
void replaceFile(const std::filesystem::path& path, std::string_view content, bool syncFolder = true);

// The file opened for appending text. A file that is not a regular one (a fifo, a
// device) is refused with a ProgramError naming it and the reason, at once, without
// waiting for a reader. Where the file can not be opened at all the stream is failed,
// and what is written to it goes nowhere.
std::unique_ptr<std::ostream> openForAppending(const std::filesystem::path& path);

// Readies the process before anything else runs: each of the standard descriptors 0, 1
// and 2 that is closed gets the null device, so that no file the run opens takes its
// number, and output to a reader that has gone away fails as an error of the stream
// instead of ending the process. Where the system needs neither, nothing happens.
void prepareProcess();

// Removes the temporary files "<file>.new-<pid>" that replaceFile left beside each of
// the files, which lie in one folder, in processes that no longer run (killed inside
// their save). The file of a process that still runs stays; failures are ignored.
void removeAbandonedTemporaries(std::initializer_list<std::filesystem::path> files);

// The lock that serialises the runs on one database. On Linux it is the lock file
// given, beside the database; on Windows one named mutex that every run takes.
class InstanceLock {
public:
    enum class Result { acquired, timedOut, unavailable };

    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    // Takes the lock, waiting up to timeoutMilliseconds for another run to give it up.
    // unavailable: the lock could not be set up at all (a lock file that can not be
    // made, or that is not a regular file of the user's own); the run goes on without it.
    Result acquire(const std::filesystem::path& lockFile, int timeoutMilliseconds);
    void release();

private:
    std::intptr_t handle = -1;
};

} // namespace platform
