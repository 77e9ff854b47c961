#include "SavedState.h"

#include "DatabaseFile.h"

#include <filesystem>

namespace proof {

namespace fs = std::filesystem;

namespace {

constexpr const char* stateName = ".traffic.state";

std::optional<std::string> contentOf(const fs::path& file)
{
    if (!fs::exists(fs::symlink_status(file)))
        return std::nullopt;
    return e2e::readBytes(file);
}

void put(const fs::path& file, const std::optional<std::string>& content)
{
    fs::remove(file);
    if (content)
        e2e::writeBytes(file, *content);
}

} // namespace

SavedState savedState(const e2e::TestFolder& folder)
{
    return {contentOf(folder.database()), contentOf(folder.programFolder() / stateName)};
}

void restoreState(const e2e::TestFolder& folder, const SavedState& state)
{
    for (const std::string& name : leftovers(folder))
        fs::remove_all(folder.programFolder() / name);
    put(folder.database(), state.database);
    put(folder.programFolder() / stateName, state.runState);
}

std::vector<std::string> leftovers(const e2e::TestFolder& folder)
{
    std::vector<std::string> names;
    for (const std::string& name : folder.programFolderEntries())
        if (name != "brimlet" && name != folder.database().filename() && name != stateName)
            names.push_back(name);
    return names;
}

bool databaseIsSound(const SavedState& state)
{
    if (!state.database)
        return true;
    try {
        e2e::decodeDatabase(*state.database);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::ostream& operator<<(std::ostream& out, const SavedState& state)
{
    out << "{database ";
    if (!state.database) {
        out << "missing";
    } else {
        try {
            for (const e2e::StoredRecord& record : e2e::decodeDatabase(*state.database))
                out << record << " ";
        } catch (const std::exception& failure) {
            out << "unsound (" << state.database->size() << " bytes: " << failure.what() << ")";
        }
    }
    out << ", run state ";
    if (state.runState) {
        out << std::hex;
        for (const char byte : *state.runState)
            out << (static_cast<unsigned char>(byte) >> 4) << (static_cast<unsigned char>(byte) & 0xF);
        out << std::dec;
    }
    else
        out << "missing";
    return out << "}";
}

} // namespace proof
