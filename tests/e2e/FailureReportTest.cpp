#include "DatabaseFile.h"
#include "Harness.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

namespace e2e {
namespace {

namespace fs = std::filesystem;
// Runs the program as the user and group "nobody".
const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

// A server name that can not be part of a file name beside the program is refused
// before anything is connected, read or written, whatever the mode; a name that passes
// fails at the connection, before any file is opened (no such host exists in the test's
// namespace). The rules themselves are tested in tests/driver.
TEST(FailureReport, ServerNamesReachNoFile)
{
    const std::string refused = "Unknown Program Exception";
    const std::string unreachable = "Program Exception: Failed to connect server.";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"server", "net/host", "ok"}, refused}, {{"list", "server", "net/host"}, refused},
        {{"server", "net/host"}, refused}, // no pattern: the name is refused before the help page
        {{"ok", "server", "host:1"}, refused}, {{"server", "MyServer", "ok"}, unreachable},
        // Longer than a file name may be, up to the most one argument may hold.
        {{"list", "server", std::string(248, 'h')}, unreachable}, {{"server", std::string(131071, 'h'), "ok"}, unreachable},
    };
    TestFolder folder;
    NetworkNamespace quiet;
    writeBytes(folder.database(), encodeDatabase({{fileTime(dayAfterBoot(1)), {{1, 2}}}}));
    fs::create_directory(folder.programFolder() / "traffic.net"); // where a name split into folders would go
    const std::string state = stateOf(folder.database());
    const auto entries = folder.programFolderEntries();
    for (const auto& [arguments, report] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments).substr(0, 80));
        const RunResult result = folder.run(patternRun(quiet.name(), dayAfterBoot(2), arguments));
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, report);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(folder.programFolderEntries(), entries);
        EXPECT_EQ(stateOf(folder.database()), state);
        EXPECT_TRUE(fs::is_empty(folder.programFolder() / "traffic.net"));
    }
}

// Writes into the file until no byte more fits.
void fill(const fs::path& file)
{
    std::ofstream out(file, std::ios::binary);
    const std::string block(4096, 'x');
    while (out.write(block.data(), block.size()).flush()) {
    }
    out.clear();
    while (out.put('x').flush()) {
    }
}

// A database that can not be read or saved is a reported failure of the run, at once,
// and every file stays as it was, to the byte: the database, whatever stands in its place,
// and the folder, which keeps no temporary file. Once there is room again the next run saves.
TEST(FailureReport, DatabaseThatCanNotBeReadOrSavedIsReportedAndKept)
{
    struct Case {
        const char* what;
        bool database;          // a regular database there beforehand
        const char* failedStep; // "read" or "save"; the pattern is printed before the save
        std::string reason;
        std::function<void(const TestFolder&, RunOptions&)> prepare = [](const TestFolder&, RunOptions&) {};
        std::uintmax_t diskInodes = 0; // a full tmpfs over the program's folder, with this many inodes
    };
    const auto readOnly = [](const TestFolder& folder, RunOptions& options) { options.readOnly = {folder.programFolder()}; };
    const auto closed = [](const TestFolder&, RunOptions& options) { options.wrapper = asNobody; };
    // A link to elsewhere/name, or to an absolute path.
    const auto plantLink = [](fs::path name) {
        return [name](const TestFolder& folder, RunOptions&) {
            const fs::path target = folder.root() / "elsewhere" / name;
            fs::create_directories(folder.root() / "elsewhere");
            if (!fs::exists(target) && target.filename() == "pipe")
                mkfifo(target.c_str(), 0644);
            else if (!fs::exists(target))
                fs::create_directory(target);
            fs::create_symlink(target, folder.database());
        };
    };
    const Case cases[] = {
        {"folder mounted read-only", true, "save", "Read-only file system", readOnly},
        {"folder mounted read-only, no database yet", false, "save", "Read-only file system", readOnly},
        {"folder closed to the user", true, "save", "Permission denied", closed},
        {"folder closed to the user, no database yet", false, "save", "Permission denied", closed},
        {"file closed to the user", true, "read", "Permission denied",
         [](const TestFolder& folder, RunOptions& options) {
             fs::permissions(folder.database(), fs::perms(0));
             options.wrapper = asNobody;
         }},
        {"no byte left on the disk", true, "save", "No space left on device", {}, 1000},
        // Root, program, database, its lock and run state from an earlier run, filler.
        {"no file left on the disk", true, "save", "No space left on device",
         [](const TestFolder& folder, RunOptions&) {
             writeBytes(folder.lockFile(), "");
             writeBytes(folder.programFolder() / ".traffic.state", "");
         },
         6},
        // Opened as it is, a pipe would hold the run (and with it the lock of every run) for good.
        {"a named pipe", false, "read", "Invalid argument",
         [](const TestFolder& folder, RunOptions&) { mkfifo(folder.database().c_str(), 0644); }},
        {"a link to a pipe", false, "read", "Invalid argument", plantLink("pipe")},
        {"a link to a folder", false, "read", "Invalid argument", plantLink("folder")},
        {"a link to a device", false, "read", "Invalid argument", plantLink("/dev/zero")},
    };
    NetworkNamespace quiet;
    const std::string content = encodeDatabase({{fileTime(dayAfterBoot(1)), {{123, 567}}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder folder;
        struct Unmount {
            fs::path where;
            ~Unmount() { umount2(where.c_str(), MNT_DETACH); }
        } unmount;
        if (c.diskInodes) {
            unmount.where = folder.programFolder();
            const std::string settings = "size=" + std::to_string(fs::file_size(folder.program()) + 256 * 1024)
                                         + ",nr_inodes=" + std::to_string(c.diskInodes) + ",mode=0755";
            ASSERT_EQ(mount("tmpfs", folder.programFolder().c_str(), "tmpfs", 0, settings.c_str()), 0);
            fs::copy_file(BRIMLET_BINARY, folder.program());
            fs::permissions(folder.program(), fs::perms(0755));
        }
        RunOptions options = patternRun(quiet.name(), dayAfterBoot(2) + std::chrono::hours(12));
        if (c.database) {
            writeBytes(folder.database(), content);
            fs::permissions(folder.database(), fs::perms(0666));
        }
        if (c.prepare)
            c.prepare(folder, options);
        if (c.diskInodes)
            fill(folder.programFolder() / "filler");
        const auto entries = folder.programFolderEntries();
        const std::string state = stateOf(folder.database());

        const RunResult result = folder.start(options)->wait(std::chrono::seconds(10));

        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, (c.failedStep == std::string("save") ? "ok" : "") + std::string("Program Exception: Can not ")
                                  + c.failedStep + " " + folder.database().string() + ": " + c.reason);
        EXPECT_EQ(folder.programFolderEntries(), entries);
        EXPECT_EQ(stateOf(folder.database()), state);
        if (c.diskInodes) {
            fs::remove(folder.programFolder() / "filler");
            EXPECT_EQ(folder.run(options).out, "ok");
            const auto records = decodeDatabase(readBytes(folder.database()));
            EXPECT_EQ(records.size(), 2u);
            EXPECT_EQ(records.at(0), (StoredRecord{fileTime(dayAfterBoot(1)), {{123, 567}}}));
        }
    }
}

} // namespace
} // namespace e2e
