// What a user, another user or another program can hand the program: the longest pattern
// one argument can carry, a link planted where the database lies. Each gives
// the documented behaviour, and nothing is lost. (Server names, damaged files and failed
// saves are tested in tests/driver, tests/database and tests/e2e; what others plant at
// the lock in tests/e2e/RunHygieneTest.cpp.)

#include "DatabaseFile.h"
#include "Harness.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>


#include <functional>

namespace proof {
namespace {

using namespace e2e;
using std::chrono::hours;
namespace fs = std::filesystem;

// One argument may hold 128 KiB less its terminating zero byte. A pattern that long is
// printed in full, every conversion and line break of it.
TEST(HostileInput, PatternAsLongAsOneArgumentMayBe)
{
    constexpr std::size_t longest = 128 * 1024 - 1;
    TestFolder folder;
    TrafficRig rig(1);
    rig.send({0, 3, 700, 2, 90});
    const std::string sent = std::to_string(rig.kernel(0).sent), received = std::to_string(rig.kernel(0).received);
    struct Case {
        std::string unit;    // repeated to fill the pattern, then 'x' up to the tail
        std::string printed; // what one unit prints
        std::string tail;    // the pattern's last bytes; they print nothing
    };
    const Case cases[] = {{"%u %d|", sent + " " + received + "|", ""}, {"%b", "\n", ""}, {"%Mu", sent, "%k"}, {"abcdefgh", "abcdefgh", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        std::string pattern, expected;
        for (; pattern.size() + c.unit.size() + c.tail.size() <= longest; pattern += c.unit)
            expected += c.printed;
        expected.append(longest - c.tail.size() - pattern.size(), 'x');
        pattern.append(longest - c.tail.size() - pattern.size(), 'x');
        pattern += c.tail;
        fs::remove(folder.database());
        const RunResult result = folder.run(patternRun(rig.networkNamespace(), dayAfterBoot(2) + hours(12), {pattern}));
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_TRUE(result.out == expected) << "the output differs from the pattern's";
        EXPECT_EQ(decodeDatabase(readBytes(folder.database())).size(), 1u);
    }
}

// The database's name may be a link: the program reads what the link points to, and its
// save puts a regular file in the link's place, holding what it read and the new
// reading. It never writes through the link, so a link planted by someone else can not
// make it overwrite another file, and the file the link pointed to stays as it was.
// (Links to what is no regular file fail the run: tests/e2e/FailureReportTest.cpp.)
TEST(HostileInput, DatabaseReplacedByALink)
{
    TestFolder folder;
    TrafficRig rig(1);
    rig.send({0, 3, 700, 2, 90});
    const RunOptions options = patternRun(rig.networkNamespace(), dayAfterBoot(2) + hours(12));
    const std::string stored = encodeDatabase({{fileTime(dayAfterBoot(-3)), {{1, 2}, {3, 4}}}, {fileTime(dayAfterBoot(2)), {{50, 60}}}});
    // What the run makes of the same records in a regular file, and of no file.
    writeBytes(folder.database(), stored);
    ASSERT_EQ(folder.run(options).out, "ok");
    const std::string merged = readBytes(folder.database());
    fs::remove(folder.database());
    ASSERT_EQ(folder.run(options).out, "ok");
    const std::string fresh = readBytes(folder.database());

    const fs::path elsewhere = folder.root() / "elsewhere";
    fs::create_directory(elsewhere);
    writeBytes(elsewhere / "traffic", stored);
    for (const auto& [target, content] : {std::pair(elsewhere / "traffic", merged), std::pair(elsewhere / "nothing", fresh)}) {
        SCOPED_TRACE(target);
        fs::remove(folder.database());
        fs::create_symlink(target, folder.database());
        const std::string targetBefore = stateOf(target);
        EXPECT_EQ(folder.run(options).out, "ok");
        EXPECT_EQ(stateOf(target), targetBefore);
        EXPECT_EQ(readBytes(folder.database()), content);
        EXPECT_EQ(folder.programFolderEntries(), (std::vector<std::string>{".traffic.state", "brimlet", "traffic"}));
    }
}

} // namespace
} // namespace proof
