#include "base/DatabaseFiles.h"

#include "base/Failures.h"

#include <string_view>

namespace {

// Written narrow and compared in the path's own characters, which are wide on Windows.
constexpr const char* temporaryInfix = ".new-";

std::filesystem::path hiddenBeside(const std::filesystem::path& database, const char* suffix)
{
    std::filesystem::path name = ".";
    name += database.filename();
    name += suffix;
    return std::filesystem::path(database).replace_filename(name);
}

} // namespace

DatabaseFiles databaseFiles(const std::filesystem::path& folder, const std::string& server)
{
    const std::string name = server.empty() ? "traffic" : "traffic." + server;
    for (const char c : name)
        if ((c >= 0x01 && c <= 0x1F) || std::string_view("<>:\\|*?\"/").find(c) != std::string_view::npos)
            throw UnknownFailure("file name with a forbidden character");
    if (name.back() == ' ')
        throw UnknownFailure("file name ending with a blank");
    // The run that holds the lock removes temporary files of processes that no longer
    // run: a database must not look like one.
    if (temporaryOwner(name.substr(0, name.rfind(temporaryInfix)), name))
        throw UnknownFailure("file name of a temporary file");
    const std::filesystem::path database = folder / name;
    return {database, hiddenBeside(database, ".state"), hiddenBeside(database, ".lock")};
}

std::filesystem::path temporaryFile(const std::filesystem::path& file, std::uint64_t processId)
{
    std::filesystem::path temporary = file;
    temporary += temporaryInfix + std::to_string(processId);
    return temporary;
}

std::optional<std::uint64_t> temporaryOwner(const std::filesystem::path& file, const std::filesystem::path& name)
{
    std::filesystem::path prefix = file.filename();
    prefix += temporaryInfix;
    const auto& expected = prefix.native();
    const auto candidate = name.filename().native();
    if (candidate.size() <= expected.size() || candidate.compare(0, expected.size(), expected) != 0
        || candidate[expected.size()] == '0' || candidate.size() - expected.size() > 19)
        return std::nullopt;
    std::uint64_t id = 0;
    for (std::size_t at = expected.size(); at < candidate.size(); ++at) {
        if (candidate[at] < '0' || candidate[at] > '9')
            return std::nullopt;
        id = id * 10 + static_cast<std::uint64_t>(candidate[at] - '0');
    }
    return id;
}
