#include "DatabaseFile.h"
#include "Harness.h"
#include "NetworkRig.h"
#include "TestClock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::string joined(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const std::string& argument : arguments)
        text += "[" + argument + "]";
    return text;
}

// A server name that can not be part of a file name beside the program is refused
// before anything is connected, read or written, whatever the mode.
TEST(FailureReport, ServerNamesThatCanNotNameTheDatabase)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string out;
        std::string subfolder; // made beforehand, so that a name that splits into folders could reach it
    };
    const std::string refused = "Unknown Program Exception";
    const Case cases[] = {
        {{"server", "a:b", "ok"}, refused, ""},
        {{"ok", "server", "host:1"}, refused, ""},
        {{"server", "net/host", "ok"}, refused, "traffic.net"},
        {{"server", "net/host", "list"}, refused, "traffic.net"},
        {{"server", "net/host"}, refused, "traffic.net"}, // no pattern: the name is refused before the help page
        {{"server", "a\\b", "ok"}, refused, ""},
        {{"server", "a*", "ok"}, refused, ""},
        {{"server", "a ", "ok"}, refused, ""},
        // A bare name passes the name rules and fails where the connection is made.
        {{"server", "MyServer", "ok"}, "Program Exception: Failed to connect server.", ""},
    };
    NetworkNamespace quiet; // a name looked up there reaches no name server
    for (const Case& c : cases) {
        SCOPED_TRACE(joined(c.arguments));
        TestFolder folder;
        if (!c.subfolder.empty())
            fs::create_directory(folder.programFolder() / c.subfolder);
        const auto before = folder.programFolderEntries();

        RunOptions options;
        options.arguments = c.arguments;
        options.networkNamespace = quiet.name();
        const RunResult result = folder.run(options);

        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(folder.programFolderEntries(), before);
        if (!c.subfolder.empty()) {
            EXPECT_TRUE(fs::is_empty(folder.programFolder() / c.subfolder));
        }
    }
}

// A database that can not be saved, or not even read, is a reported failure of the run,
// and the file stays as it was, to the byte.
TEST(FailureReport, DatabaseThatCanNotBeWrittenIsReportedAndKept)
{
    constexpr uid_t nobody = 65534;
    struct Case {
        const char* what;
        bool readOnlyMount;
        std::optional<uid_t> user;
        fs::perms fileMode;
        std::string outBeforeReport; // the pattern is printed before the save
        std::string reason;
    };
    const Case cases[] = {
        {"folder mounted read-only", true, std::nullopt, fs::perms(0644), "ok", "Read-only file system"},
        {"folder closed to the user", false, nobody, fs::perms(0644), "ok", "Permission denied"},
        {"file closed to the user", false, nobody, fs::perms(0), "", "Permission denied"},
    };
    const WallClock now = midnightOf(wallClockAt(bootEpoch())) + std::chrono::days(2) + std::chrono::hours(12);
    const std::string content = encodeDatabase({{fileTime(midnightOf(now)), {{1234, 5678}}}});
    NetworkNamespace quiet;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder folder;
        writeBytes(folder.database(), content);
        fs::permissions(folder.database(), c.fileMode);
        const FileIdentity before = identityOf(folder.database());

        RunOptions options;
        options.arguments = {"ok"};
        options.networkNamespace = quiet.name();
        options.frozenClock = epochSeconds(now);
        options.user = c.user;
        if (c.readOnlyMount)
            options.readOnly = {folder.programFolder()};
        const RunResult result = folder.run(options);

        EXPECT_EQ(result.exitStatus, 1) << result.err;
        const std::string report = c.outBeforeReport + "Program Exception: ";
        EXPECT_EQ(result.out.substr(0, report.size()), report) << result.out;
        EXPECT_NE(result.out.find(folder.database().string()), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(c.reason), std::string::npos) << result.out;
        EXPECT_TRUE(result.out.ends_with(c.reason)) << "no line break after the report";

        EXPECT_EQ(readBytes(folder.database()), content);
        EXPECT_EQ(identityOf(folder.database()), before);
        EXPECT_EQ(folder.programFolderEntries(), (std::vector<std::string>{"brimlet", "traffic"}));
    }
}

} // namespace
} // namespace e2e
