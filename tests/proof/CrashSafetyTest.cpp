// The real program killed with SIGKILL at every system call of a pattern-mode run, and
// after random delays across the run: whatever point the kill hits, the database holds
// whole the state before that run or the state after it, and the next run completes
// with the state after it. A full disk fails the save, reports it, and keeps the old file.

#include "DatabaseFile.h"
#include "Figures.h"
#include "Harness.h"
#include "NetworkRig.h"
#include "ProofRuns.h"
#include "SavedState.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <thread>

namespace proof {
namespace {

using namespace e2e;
using std::chrono::hours;
namespace fs = std::filesystem;

// How many kills after random delays each history gets; BRIMLET_PROOF_KILLS asks for more.
int randomKills()
{
    const char* asked = std::getenv("BRIMLET_PROOF_KILLS");
    return asked ? std::atoi(asked) : 100;
}

// The history a database has before the run that is killed, made by real runs; the killed
// run takes its reading at noon of the given day after boot.
struct History {
    const char* name;
    int day;
    std::function<void(const TestFolder&, TrafficRig&)> make;
};

void PrintTo(const History& history, std::ostream* out) { *out << history.name; }

void runAt(const TestFolder& folder, const TrafficRig& rig, WallClock at)
{
    const RunResult result = folder.run(patternRun(rig.networkNamespace(), at));
    if (result.exitStatus != 0 || result.out != "ok")
        throw std::runtime_error("a run of the history failed: " + result.out + result.err);
}

const History histories[] = {
    {"FirstRun", 2, [](const TestFolder&, TrafficRig& rig) { rig.send({0, 3, 700, 2, 90}); }},
    {"SameDay", 2,
     [](const TestFolder& folder, TrafficRig& rig) {
         rig.send({0, 3, 700, 2, 90});
         runAt(folder, rig, dayAfterBoot(2) + hours(8));
         rig.send({1, 4, 1514, 1, 64});
     }},
    {"NewDay", 2,
     [](const TestFolder& folder, TrafficRig& rig) {
         rig.send({0, 3, 700, 2, 90});
         runAt(folder, rig, dayAfterBoot(1) + hours(10));
         rig.send({1, 4, 1514, 1, 64});
         runAt(folder, rig, dayAfterBoot(1) + hours(20));
         rig.send({0, 1, 100, 5, 1000});
     }},
    // An interface made anew: the run state knows it by its new index.
    {"AfterRecreation", 2,
     [](const TestFolder& folder, TrafficRig& rig) {
         rig.send({1, 3, 700, 2, 90});
         runAt(folder, rig, dayAfterBoot(1) + hours(10));
         rig.recreate(1);
         rig.send({1, 2, 300, 1, 200});
         runAt(folder, rig, dayAfterBoot(1) + hours(20));
         rig.send({1, 1, 100, 5, 1000});
     }},
};

// What the kills of one test came to.
struct Tally {
    int kills = 0;
    int killed = 0;    // ended by the signal
    int completed = 0; // the kill came too late: the run had ended
    int foundBefore = 0;
    int foundAfter = 0;
    int foundOther = 0;      // neither the state before nor the one after
    int wrongAfterNextRun = 0; // the next run did not reach the state after
    int temporariesLeft = 0; // runs killed inside the save leave their temporary file
    std::int64_t bytesLost = 0; // of the database before the run, when neither it nor the one after was found

    void report() const
    {
        reportFigure("kills", kills);
        reportFigure("killedBySignal", killed);
        reportFigure("completedBeforeTheKill", completed);
        reportFigure("foundStateBefore", foundBefore);
        reportFigure("foundStateAfter", foundAfter);
        reportFigure("foundOtherState", foundOther);
        reportFigure("wrongAfterNextRun", wrongAfterNextRun);
        reportFigure("temporaryFilesLeft", temporariesLeft);
        reportFigure("bytesLost", bytesLost);
    }
};

class CrashSafety : public ::testing::TestWithParam<History> {
protected:
    void SetUp() override
    {
        GetParam().make(folder, rig);
        before = savedState(folder);
        at = dayAfterBoot(GetParam().day) + hours(12);

        // The state after the run, from one that is not disturbed; a second run with the
        // same readings changes no count, so a run after a killed one must reach it too.
        // (The second writes the run state anew: it keeps the state that belongs to the
        // database before it, which is now the first run's.)
        const RunResult first = folder.run(options());
        ASSERT_EQ(first.out, "ok") << first.err;
        after = savedState(folder);
        ASSERT_EQ(folder.run(options()).out, "ok");
        afterAgain = savedState(folder);
        ASSERT_EQ(afterAgain.database, after.database) << "a second run with the same readings changed the database";
        ASSERT_NE(before, after);
        ASSERT_TRUE(databaseIsSound(after)) << after;
        restoreState(folder, before);
    }

    RunOptions options(std::vector<std::string> wrapper = {}) const
    {
        RunOptions result = patternRun(rig.networkNamespace(), at);
        result.wrapper = std::move(wrapper);
        return result;
    }

    // After a run that was killed, or ended first: the state found is the one before or the
    // one after, whole; the next run completes and leaves the state after.
    void expectSurvived(const RunResult& killedRun, const std::string& where, Tally& tally)
    {
        SCOPED_TRACE(where);
        ++tally.kills;
        if (killedRun.exitStatus == -1) {
            ++tally.killed;
        } else {
            ++tally.completed;
            EXPECT_EQ(killedRun.out, "ok") << killedRun.err;
        }
        const SavedState found = savedState(folder);
        // The run state goes first and holds the state for the database before the run as
        // well as after it: beside the old database it stands for the state before (the
        // run that follows proves it).
        if (found == before || (found.database == before.database && found.runState == after.runState)) {
            ++tally.foundBefore;
        } else if (found == after) {
            ++tally.foundAfter;
        } else {
            ++tally.foundOther;
            if (found.database != before.database && found.database != after.database)
                tally.bytesLost += static_cast<std::int64_t>(before.database.value_or("").size());
            ADD_FAILURE() << "found " << found << "\nbefore the run " << before << "\nafter the run " << after;
        }
        EXPECT_TRUE(databaseIsSound(found)) << found;
        for (const std::string& name : leftovers(folder)) {
            const std::string database = folder.database().filename().string();
            EXPECT_TRUE(name.starts_with(database + ".new-") || name.starts_with("." + database + ".state.new-"))
                << "unexpected file " << name;
            ++tally.temporariesLeft;
        }

        const RunResult next = folder.run(options());
        EXPECT_EQ(next.exitStatus, 0);
        EXPECT_EQ(next.out, "ok") << next.err;
        const SavedState recovered = savedState(folder);
        const bool reachedAfter = recovered == after || recovered == afterAgain;
        tally.wrongAfterNextRun += !reachedAfter;
        EXPECT_TRUE(reachedAfter) << "the run after the kill left " << recovered << "\nwhere one undisturbed run leaves "
                                  << after;
        restoreState(folder, before);
    }

    TestFolder folder;
    TrafficRig rig{2};
    SavedState before;
    SavedState after;
    SavedState afterAgain; // after a second undisturbed run with the same readings
    WallClock at;
};

// One system call of the program: its name and how many calls of that name came before.
struct SystemCall {
    std::string name;
    int occurrence = 0; // 1 for the first call of that name
    std::string seen;   // the call as the tracer showed it, shortened
};

// The system calls of one run, in order, from the first that names the lock file or
// the database or the run state beside it, up to the one that writes the run's output.
// A run can change only what it names (or reaches through a descriptor that a naming call
// opened). What comes before (the helpers that start the program, the dynamic loader, the
// runtime libraries) names none of them, and the output is written once the lock is
// given up, when only the runtime's way out remains: killed there, a run leaves
// everything as it was, or as it was going to, by construction. So only the calls in
// between are worth a kill each.
std::vector<SystemCall> systemCallsThatMayMatter(const fs::path& trace, const fs::path& program,
                                                 const std::vector<std::string>& places)
{
    std::ifstream in(trace);
    std::vector<SystemCall> calls;
    std::map<std::string, int> seen;
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    std::size_t firstThatMatters = none;
    bool programStarted = false;
    for (std::string line; std::getline(in, line);) {
        const std::size_t open = line.find('(');
        if (open == 0 || open == std::string::npos || line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != open)
            continue; // signals, the end of the process
        const std::string name = line.substr(0, open);
        calls.push_back({name, ++seen[name], line.substr(0, 120)});
        if (name == "execve") {
            programStarted = line.starts_with("execve(\"" + program.string() + "\"") && line.ends_with("= 0");
            firstThatMatters = none;
            continue;
        }
        if (programStarted && firstThatMatters == none)
            for (const std::string& place : places)
                if (line.find(place) != std::string::npos)
                    firstThatMatters = calls.size() - 1;
        if (firstThatMatters != none && line.starts_with("write(1, "))
            return {calls.begin() + static_cast<std::ptrdiff_t>(firstThatMatters), calls.end()};
    }
    return {};
}

TEST_P(CrashSafety, KilledAtEverySystemCall)
{
    const fs::path trace = folder.root() / "trace";
    const RunResult traced = folder.run(options({BRIMLET_STRACE, "-qq", "-o", trace.string()}));
    ASSERT_EQ(traced.out, "ok") << traced.err;
    ASSERT_EQ(savedState(folder), after);
    restoreState(folder, before);
    const std::vector<SystemCall> calls = systemCallsThatMayMatter(
        trace, folder.program(), {folder.lockFile().string(), folder.database().string(), (folder.programFolder() / ".traffic.state").string()});
    ASSERT_GT(calls.size(), 20u) << "the trace did not show the program's calls";
    ASSERT_TRUE(std::any_of(calls.begin(), calls.end(), [](const SystemCall& call) { return call.name == "rename"; }))
        << "the run saved nothing";

    Tally tally;
    for (const SystemCall& call : calls) {
        const std::string point = call.name + ":signal=SIGKILL:when=" + std::to_string(call.occurrence);
        const RunResult killed =
            folder.run(options({BRIMLET_STRACE, "-qq", "-o", "/dev/null", "-e", "inject=" + point}));
        expectSurvived(killed, "killed on entering " + call.name + " #" + std::to_string(call.occurrence) + ": " + call.seen,
                       tally);
    }
    reportFigure("systemCalls", static_cast<std::int64_t>(calls.size()));
    tally.report();
    // Every run makes these calls alike, so every kill hits.
    EXPECT_EQ(tally.killed, tally.kills);
    EXPECT_GT(tally.foundAfter, 0);
    EXPECT_GT(tally.foundBefore, 0);
}

class CrashSafetyAtRandom : public CrashSafety {};

TEST_P(CrashSafetyAtRandom, KilledAfterRandomDelays)
{
    // The length of an undisturbed run, from the start of the helpers that start it.
    double longest = 0;
    for (int i = 0; i < 5; ++i) {
        const RunResult run = folder.run(options());
        ASSERT_EQ(run.out, "ok");
        longest = std::max(longest, run.seconds());
    }
    restoreState(folder, before);
    const auto span = std::chrono::microseconds(static_cast<std::int64_t>(longest * 1e6));
    reportFigure("runMicroseconds", span.count());

    std::mt19937_64 random(20261206);
    std::uniform_int_distribution<std::int64_t> delay(0, span.count());
    Tally tally;
    const int kills = randomKills();
    for (int i = 0; i < kills; ++i) {
        const auto wait = std::chrono::microseconds(delay(random));
        const auto process = folder.start(options());
        std::this_thread::sleep_for(wait);
        process->kill();
        expectSurvived(process->wait(), "killed after " + std::to_string(wait.count()) + " µs", tally);
    }
    tally.report();
    EXPECT_GT(tally.killed, 0);
}

std::string historyName(const ::testing::TestParamInfo<History>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Histories, CrashSafety, ::testing::ValuesIn(histories), historyName);
INSTANTIATE_TEST_SUITE_P(Histories, CrashSafetyAtRandom, ::testing::ValuesIn(histories), historyName);

// A tmpfs of its own mounted over the program's folder, with a copy of the program in it.
class SmallDisk {
public:
    SmallDisk(const TestFolder& folder, std::uintmax_t spareBytes, std::uintmax_t files) : where(folder.programFolder())
    {
        const std::uintmax_t size = fs::file_size(BRIMLET_BINARY) + spareBytes;
        const std::string settings = "size=" + std::to_string(size) + ",nr_inodes=" + std::to_string(files) + ",mode=0755";
        if (mount("tmpfs", where.c_str(), "tmpfs", 0, settings.c_str()) != 0)
            throw std::runtime_error("can not mount a tmpfs over " + where.string());
        fs::copy_file(BRIMLET_BINARY, folder.program());
        fs::permissions(folder.program(), fs::perms(0755));
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    ~SmallDisk() { umount2(where.c_str(), MNT_DETACH); }

    // Writes into the file until no byte more fits.
    static void fill(const fs::path& file)
    {
        std::ofstream out(file, std::ios::binary);
        const std::string block(4096, 'x');
        while (out.write(block.data(), block.size()).flush()) {
        }
        out.clear();
        while (out.put('x').flush()) {
        }
    }

private:
    fs::path where;
};

TEST(CrashSafety, FullDiskKeepsTheOldFileAndSaysSo)
{
    struct Case {
        const char* what;
        std::uintmax_t spareBytes;
        std::uintmax_t files;
    };
    // Inodes: the root folder, the program, the database, its run state, the filler, the
    // lock file.
    const Case cases[] = {
        {"no byte left", 256 * 1024, 1000},
        {"no file left", 256 * 1024, 6},
    };
    TrafficRig rig(1);
    rig.send({0, 3, 700, 2, 90});
    const WallClock at = dayAfterBoot(2) + hours(12);
    // A day's record before the run's, which the run leaves as it is.
    const std::string content = encodeDatabase({{fileTime(dayAfterBoot(1)), {{123, 567}}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder folder;
        SmallDisk disk(folder, c.spareBytes, c.files);
        writeBytes(folder.database(), content);
        writeBytes(folder.programFolder() / ".traffic.state", ""); // one that matches no database
        const FileIdentity identity = identityOf(folder.database());
        disk.fill(folder.programFolder() / "filler");
        const auto entries = folder.programFolderEntries();

        const RunResult result = folder.run(patternRun(rig.networkNamespace(), at));

        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "okProgram Exception: Can not save " + folder.database().string() + ": No space left on device");
        EXPECT_EQ(readBytes(folder.database()), content);
        EXPECT_EQ(identityOf(folder.database()), identity);
        EXPECT_EQ(folder.programFolderEntries(), entries) << "a temporary file was left behind";

        // Once there is room again the reading is saved.
        fs::remove(folder.programFolder() / "filler");
        EXPECT_EQ(folder.run(patternRun(rig.networkNamespace(), at)).out, "ok");
        const auto records = decodeDatabase(readBytes(folder.database()));
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0], (StoredRecord{fileTime(dayAfterBoot(1)), {{123, 567}}}));
    }
}

} // namespace
} // namespace proof
