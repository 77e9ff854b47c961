#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// The files that belong to one database, all in the program's folder: the database
// itself, the run state that the merge keeps beside it, and the lock that serialises
// the runs on it. Hidden names start with '.', which no database name can.
struct DatabaseFiles {
    std::filesystem::path database; // "traffic", or "traffic." and the server name
    std::filesystem::path state;    // ".traffic.state", ".traffic.<server>.state"
    std::filesystem::path lock;     // ".traffic.lock", ".traffic.<server>.lock"
};

// The files of the given server's database in folder (an empty server: the local
// computer). A name that no portable file name can hold is refused with an
// UnknownFailure, and so is one that has the form of a temporary file.
DatabaseFiles databaseFiles(const std::filesystem::path& folder, const std::string& server);

// The temporary file that a save of file by the given process writes first, beside it:
// "<file>.new-<process id>".
std::filesystem::path temporaryFile(const std::filesystem::path& file, std::uint64_t processId);

// The process whose temporary file of file the name is, in the form temporaryFile
// writes (decimal digits, no sign, no leading zero); nothing for any other name.
std::optional<std::uint64_t> temporaryOwner(const std::filesystem::path& file, const std::filesystem::path& name);
