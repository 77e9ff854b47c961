// What a user, another user or another program can hand the program: refused and
// overlong server names, the longest pattern one argument can carry, damaged database
// files, links planted where the database lies, a folder closed to writing.
// Each gives a clear message or the documented behaviour, and nothing is lost.

#include "DatabaseFile.h"
#include "Figures.h"
#include "Harness.h"
#include "NetworkRig.h"
#include "ProofRuns.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>

namespace proof {
namespace {

using namespace e2e;
using std::chrono::hours;
namespace fs = std::filesystem;

constexpr uid_t nobody = 65534;

std::string printable(const std::string& text)
{
    std::string out;
    for (const char c : text.substr(0, 40))
        out += (c >= 0x20 && c < 0x7F) ? std::string(1, c) : "\\x" + std::to_string(static_cast<unsigned char>(c));
    return text.size() > 40 ? out + "... (" + std::to_string(text.size()) + " bytes)" : out;
}

// A database of two days before the boot and today's record; every run here reads it.
std::string someDatabase()
{
    return encodeDatabase({{fileTime(dayAfterBoot(-3)), {{1, 2}, {3, 4}}},
                           {fileTime(dayAfterBoot(-2)), {}},
                           {fileTime(dayAfterBoot(2)), {{50, 60}}}});
}

// A server name that can not name a file beside the program, or names a server the
// program can not reach, fails the run with its report, and leaves the folder as it was.
TEST(HostileInput, ServerNames)
{
    struct Case {
        std::string name;
        std::string report;
    };
    const std::string refused = "Unknown Program Exception";
    const std::string unreachable = "Program Exception: Failed to connect server.";
    std::vector<Case> cases;
    for (char c = 0x01; c <= 0x1F; ++c)
        cases.push_back({std::string("host") + c + "name", refused});
    for (const char c : std::string("<>:\\|*?\"/"))
        cases.push_back({std::string("host") + c + "name", refused});
    cases.push_back({"host ", refused});
    cases.push_back({" ", refused});
    // Names the file system would refuse: "traffic." and 247 bytes is the longest name a
    // folder may hold. A server is reached before its database is read, and on this
    // system only the local computer is, so these stop at the connection.
    for (const std::size_t length : {247u, 248u, 300u, 5000u, 131071u})
        cases.push_back({std::string(length, 'h'), unreachable});

    TestFolder folder;
    NetworkNamespace quiet;
    writeBytes(folder.database(), someDatabase());
    const FileIdentity identity = identityOf(folder.database());
    const auto entries = folder.programFolderEntries();
    int tried = 0;
    for (const Case& c : cases)
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"server", c.name, "ok"}, {"list", "server", c.name}}) {
            SCOPED_TRACE(printable(c.name) + (arguments[0] == "list" ? " (list)" : ""));
            RunOptions options;
            options.arguments = arguments;
            options.networkNamespace = quiet.name();
            const RunResult result = folder.run(options);
            EXPECT_EQ(result.exitStatus, 1);
            EXPECT_EQ(result.out, c.report);
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(folder.programFolderEntries(), entries);
            EXPECT_EQ(identityOf(folder.database()), identity);
            ++tried;
        }
    EXPECT_EQ(readBytes(folder.database()), someDatabase());
    reportFigure("namesTried", tried);
}

// One argument may hold 128 KiB less its terminating zero byte. A pattern that long is
// printed in full, every conversion and line break of it.
TEST(HostileInput, PatternAsLongAsOneArgumentMayBe)
{
    constexpr std::size_t longest = 128 * 1024 - 1;
    TestFolder folder;
    TrafficRig rig(1);
    rig.send({0, 3, 700, 2, 90});
    const KernelCounters counted = rig.kernel(0);
    struct Case {
        const char* what;
        std::string unit;    // repeated to fill the pattern, then 'x' up to the tail
        std::string printed; // what one unit prints
        std::string tail;    // the pattern's last bytes; they print nothing
    };
    const std::string sent = std::to_string(counted.sent);
    const std::string received = std::to_string(counted.received);
    const Case cases[] = {
        {"conversions", "%u %d|", sent + " " + received + "|", ""},
        {"line breaks", "%b", "\n", ""},
        {"conversion cut off at the end", "%Mu", sent, "%k"},
        {"plain text", "abcdefgh", "abcdefgh", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string pattern;
        std::string expected;
        while (pattern.size() + c.unit.size() + c.tail.size() <= longest) {
            pattern += c.unit;
            expected += c.printed;
        }
        const std::size_t padding = longest - c.tail.size() - pattern.size();
        pattern.append(padding, 'x');
        expected.append(padding, 'x');
        pattern += c.tail;
        ASSERT_EQ(pattern.size(), longest);
        fs::remove(folder.database());

        const RunResult result = folder.run(patternRun(rig.networkNamespace(), dayAfterBoot(2) + hours(12), {pattern}));
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out.size(), expected.size());
        EXPECT_TRUE(result.out == expected) << "the output differs from the pattern's";
        EXPECT_EQ(decodeDatabase(readBytes(folder.database())).size(), 1u);
    }
}

// Damaged files: empty, cut short at every byte, or claiming 4294967295 records. A run
// keeps the records read whole and treats the file as if it held only those; its save
// writes a sound file.
TEST(HostileInput, DamagedDatabaseFiles)
{
    const std::vector<StoredRecord> records = decodeDatabase(someDatabase());
    const std::string whole = someDatabase();
    struct Case {
        std::string what;
        std::string content;
        std::size_t wholeRecords;
    };
    std::vector<Case> cases = {{"empty", "", 0}};
    for (std::size_t cut = 1; cut <= whole.size(); ++cut) {
        std::size_t held = 0;
        while (held < records.size() && encodeDatabase({records.begin(), records.begin() + static_cast<std::ptrdiff_t>(held) + 1}).size() <= cut)
            ++held;
        cases.push_back({"cut to " + std::to_string(cut) + " bytes", whole.substr(0, cut), held});
    }
    const std::string claimsAll = "\xFF\xFF\xFF\xFF";
    cases.push_back({"claims 4294967295 records, holds none", claimsAll, 0});
    cases.push_back({"claims 4294967295 records, holds three", claimsAll + whole.substr(4), 3});
    cases.push_back({"claims 4294967295 records, ends inside the third", claimsAll + whole.substr(4, whole.size() - 5), 2});

    TestFolder folder;
    TrafficRig rig(1);
    rig.send({0, 3, 700, 2, 90});
    const RunOptions options = patternRun(rig.networkNamespace(), dayAfterBoot(2) + hours(12));
    // What a run makes of a sound file that holds the first n records.
    std::map<std::size_t, std::string> resultFor;
    for (std::size_t n = 0; n <= records.size(); ++n) {
        writeBytes(folder.database(), encodeDatabase({records.begin(), records.begin() + static_cast<std::ptrdiff_t>(n)}));
        ASSERT_EQ(folder.run(options).out, "ok");
        resultFor[n] = readBytes(folder.database());
        const auto saved = decodeDatabase(resultFor[n]);
        ASSERT_GE(saved.size(), n);
        EXPECT_TRUE(std::equal(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(n), saved.begin(),
                               [](const StoredRecord& a, const StoredRecord& b) { return a.start == b.start; }));
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(folder.database(), c.content);
        const RunResult result = folder.run(options);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, "ok") << result.err;
        const std::string saved = readBytes(folder.database());
        EXPECT_NO_THROW(decodeDatabase(saved));
        EXPECT_EQ(saved, resultFor[c.wholeRecords]);
    }
    reportFigure("filesTried", static_cast<std::int64_t>(cases.size()));
}

// A file the program never opens anew by its name: a change of ownership, times or bytes
// shows here.
struct Untouched {
    fs::path path;
    std::string content;
    struct stat status {};

    explicit Untouched(fs::path file) : path(std::move(file))
    {
        content = readBytes(path);
        lstat(path.c_str(), &status);
    }
    ::testing::AssertionResult check() const
    {
        struct stat now {};
        lstat(path.c_str(), &now);
        if (readBytes(path) != content || now.st_ino != status.st_ino || now.st_mtim.tv_nsec != status.st_mtim.tv_nsec
            || now.st_mtim.tv_sec != status.st_mtim.tv_sec || now.st_uid != status.st_uid)
            return ::testing::AssertionFailure() << path << " was written to";
        return ::testing::AssertionSuccess();
    }
};

// The database's name may be a link: the program reads what the link points to, and its
// save puts a regular file in the link's place, holding what it read and the new
// reading. It never writes through the link, so a link planted by someone else can not
// make it overwrite another file, and the file the link pointed to stays as it was.
TEST(HostileInput, DatabaseReplacedByALink)
{
    TestFolder folder;
    TrafficRig rig(1);
    rig.send({0, 3, 700, 2, 90});
    const RunOptions options = patternRun(rig.networkNamespace(), dayAfterBoot(2) + hours(12));
    // What the run makes of the same records in a regular file.
    writeBytes(folder.database(), someDatabase());
    ASSERT_EQ(folder.run(options).out, "ok");
    const std::string merged = readBytes(folder.database());
    fs::remove(folder.database());
    ASSERT_EQ(folder.run(options).out, "ok");
    const std::string fresh = readBytes(folder.database());

    const fs::path elsewhere = folder.root() / "elsewhere";
    fs::create_directory(elsewhere);
    struct Case {
        const char* what;
        fs::path target;
        std::function<void(const fs::path&)> make; // makes the target, if any
        std::string out;       // empty: a successful run
        std::string content;   // the regular file in the link's place after the run
    };
    const Case cases[] = {
        {"link to a database elsewhere", elsewhere / "traffic",
         [](const fs::path& target) { writeBytes(target, someDatabase()); }, "ok", merged},
        {"link to a file that does not exist", elsewhere / "nothing", [](const fs::path&) {}, "ok", fresh},
        {"link to a folder", elsewhere / "folder", [](const fs::path& target) { fs::create_directory(target); },
         "Program Exception: Can not read " + folder.database().string() + ": Invalid argument", ""},
        {"link to a device", "/dev/zero", [](const fs::path&) {},
         "Program Exception: Can not read " + folder.database().string() + ": Invalid argument", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(folder.database());
        c.make(c.target);
        const bool targetExisted = fs::exists(c.target);
        std::optional<Untouched> target;
        if (fs::is_regular_file(c.target))
            target.emplace(c.target);
        fs::create_symlink(c.target, folder.database());

        const RunResult result = folder.run(options);

        EXPECT_EQ(result.exitStatus, c.content.empty() ? 1 : 0);
        EXPECT_EQ(result.out, c.out);
        if (target) {
            EXPECT_TRUE(target->check());
        }
        EXPECT_EQ(fs::exists(c.target), targetExisted);
        if (c.content.empty()) {
            EXPECT_TRUE(fs::is_symlink(folder.database())) << "a failed run replaced the link";
        } else {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder.database())));
            EXPECT_EQ(readBytes(folder.database()), c.content);
        }
        EXPECT_EQ(folder.programFolderEntries(), (std::vector<std::string>{".traffic.state", "brimlet", "traffic"}));
    }
}

// A database that is a named pipe, or a link to one, would make a read wait for a
// writer that never comes, while the run holds the lock of every run of the user.
TEST(HostileInput, DatabaseThatIsAPipe)
{
    TestFolder folder;
    NetworkNamespace quiet;
    const fs::path pipe = folder.root() / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "link to a pipe" : "pipe");
        fs::remove(folder.database());
        if (linked)
            fs::create_symlink(pipe, folder.database());
        else
            ASSERT_EQ(mkfifo(folder.database().c_str(), 0644), 0);

        RunOptions options;
        options.arguments = {"ok"};
        options.networkNamespace = quiet.name();
        // Longer than the lock's wait: a run that takes this long makes others give up.
        const auto run = folder.start(options);
        RunResult result;
        try {
            result = run->wait(std::chrono::seconds(6));
        } catch (const std::runtime_error& hung) {
            ADD_FAILURE() << "the run hung: " << hung.what();
            continue;
        }
        EXPECT_EQ(result.exitStatus, 1);
        const std::string report = "Program Exception: Can not read " + folder.database().string() + ": ";
        EXPECT_EQ(result.out.substr(0, report.size()), report) << result.out;
        EXPECT_EQ(fs::status(folder.database()).type(), fs::file_type::fifo);
    }
}

// A folder the user may not write to: the reading is printed, the failed save reported,
// and no file is made; a database already there stays as it was.
TEST(HostileInput, FolderThatCanNotBeWritten)
{
    struct Case {
        const char* what;
        bool databaseExists;
        bool readOnlyMount;
        std::string reason;
    };
    const Case cases[] = {
        {"closed to the user, no database yet", false, false, "Permission denied"},
        {"closed to the user, database there", true, false, "Permission denied"},
        {"read-only mount, no database yet", false, true, "Read-only file system"},
    };
    TrafficRig rig(1);
    rig.send({0, 3, 700, 2, 90});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder folder;
        if (c.databaseExists) {
            writeBytes(folder.database(), someDatabase());
            fs::permissions(folder.database(), fs::perms(0666));
        }
        const auto entries = folder.programFolderEntries();
        RunOptions options = patternRun(rig.networkNamespace(), dayAfterBoot(2) + hours(12));
        if (c.readOnlyMount)
            options.readOnly = {folder.programFolder()};
        else
            options.user = nobody;

        const RunResult result = folder.run(options);

        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "okProgram Exception: Can not save " + folder.database().string() + ": " + c.reason);
        EXPECT_EQ(folder.programFolderEntries(), entries);
        if (c.databaseExists) {
            EXPECT_EQ(readBytes(folder.database()), someDatabase());
        }
    }
}

} // namespace
} // namespace proof
