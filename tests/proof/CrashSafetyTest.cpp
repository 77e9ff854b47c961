// The real program killed with SIGKILL at every system call of a pattern-mode run, and
// after random delays across the run: whatever point the kill hits, the database holds
// whole the state before that run or the state after it, and the next run completes
// with the state after it.

#include "DatabaseFile.h"
#include "Figures.h"
#include "Harness.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <thread>

namespace proof {
namespace {

using namespace e2e;
using std::chrono::hours;
namespace fs = std::filesystem;

// What pattern-mode runs leave beside the program: the database and the hidden run state
// that goes with it, which a run must either leave as it found them or replace whole.
// Nothing: no file.
struct SavedState {
    std::optional<std::string> database;
    std::optional<std::string> runState;

    bool operator==(const SavedState&) const = default;
};

std::optional<std::string> contentOf(const fs::path& file)
{
    return fs::exists(fs::symlink_status(file)) ? std::optional(readBytes(file)) : std::nullopt;
}

bool databaseIsSound(const SavedState& state)
{
    try {
        decodeDatabase(state.database.value_or(std::string(4, '\0')));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void PrintTo(const SavedState& state, std::ostream* out)
{
    *out << "{database " << (!state.database ? "missing" : !databaseIsSound(state) ? "unsound" : "");
    if (state.database && databaseIsSound(state))
        for (const StoredRecord& record : decodeDatabase(*state.database))
            *out << record << " ";
    *out << ", run state " << (state.runState ? ::testing::PrintToString(*state.runState) : "missing") << "}";
}

// The history a database has before the run that is killed, made by real runs; the killed
// run takes its reading at noon of the second day after boot.
struct History {
    const char* name;
    std::function<void(TrafficRig&, const std::function<void(WallClock)>& runAt)> make;
};

const History histories[] = {
    {"FirstRun", [](TrafficRig& rig, const auto&) { rig.send({0, 3, 700, 2, 90}); }},
    {"SameDay",
     [](TrafficRig& rig, const auto& runAt) {
         rig.send({0, 3, 700, 2, 90});
         runAt(dayAfterBoot(2) + hours(8));
         rig.send({1, 4, 1514, 1, 64});
     }},
    {"NewDay",
     [](TrafficRig& rig, const auto& runAt) {
         rig.send({0, 3, 700, 2, 90});
         runAt(dayAfterBoot(1) + hours(10));
         rig.send({1, 4, 1514, 1, 64});
         runAt(dayAfterBoot(1) + hours(20));
         rig.send({0, 1, 100, 5, 1000});
     }},
    // An interface made anew: the run state knows it by its new index.
    {"AfterRecreation",
     [](TrafficRig& rig, const auto& runAt) {
         rig.send({1, 3, 700, 2, 90});
         runAt(dayAfterBoot(1) + hours(10));
         rig.recreate(1);
         rig.send({1, 2, 300, 1, 200});
         runAt(dayAfterBoot(1) + hours(20));
         rig.send({1, 1, 100, 5, 1000});
     }},
};

void PrintTo(const History& history, std::ostream* out) { *out << history.name; }

// What the kills of one test came to.
struct Tally {
    std::map<std::string, std::int64_t> figures = {
        {"kills", 0}, {"killedBySignal", 0}, {"completedBeforeTheKill", 0}, {"foundStateBefore", 0}, {"foundStateAfter", 0},
        {"foundOtherState", 0}, {"wrongAfterNextRun", 0}, {"temporaryFilesLeft", 0}, {"bytesLost", 0}};

    void report() const
    {
        for (const auto& [name, value] : figures)
            reportFigure(name, value);
    }
};

class CrashSafety : public ::testing::TestWithParam<History> {
protected:
    void SetUp() override
    {
        GetParam().make(rig, [&](WallClock at) { ASSERT_EQ(folder.run(options({}, at)).out, "ok"); });
        before = saved();
        // The state after the run, from one that is not disturbed; a second run with the
        // same readings changes no count, so a run after a killed one must reach it too.
        // (The second writes the run state anew: it keeps the state that belongs to the
        // database before it, which is now the first run's.)
        const RunResult first = folder.run(options());
        ASSERT_EQ(first.out, "ok") << first.err;
        after = saved();
        ASSERT_EQ(folder.run(options()).out, "ok");
        afterAgain = saved();
        ASSERT_EQ(afterAgain.database, after.database) << "a second run with the same readings changed the database";
        ASSERT_NE(before, after);
        ASSERT_TRUE(databaseIsSound(after));
        restore(before);
    }

    RunOptions options(std::vector<std::string> wrapper = {}, WallClock at = dayAfterBoot(2) + hours(12)) const
    {
        RunOptions result = patternRun(rig.networkNamespace(), at);
        result.wrapper = std::move(wrapper);
        return result;
    }

    fs::path stateFile() const { return folder.programFolder() / ".traffic.state"; }
    SavedState saved() const { return {contentOf(folder.database()), contentOf(stateFile())}; }
    // Files beside the program other than the program itself and the state.
    std::vector<std::string> leftovers() const
    {
        std::vector<std::string> names = folder.programFolderEntries();
        std::erase_if(names, [](const std::string& name) { return name == "brimlet" || name == "traffic" || name == ".traffic.state"; });
        return names;
    }
    // Puts the state back, and removes whatever else a run left beside the program.
    void restore(const SavedState& state) const
    {
        for (const std::string& name : leftovers())
            fs::remove_all(folder.programFolder() / name);
        for (const auto& [file, content] : {std::pair(folder.database(), state.database), std::pair(stateFile(), state.runState)}) {
            fs::remove(file);
            if (content)
                writeBytes(file, *content);
        }
    }

    // After a run that was killed, or ended first: the state found is the one before or the
    // one after, whole; the next run completes and leaves the state after.
    void expectSurvived(const RunResult& killedRun, const std::string& where, Tally& tally)
    {
        SCOPED_TRACE(where);
        auto& figures = tally.figures;
        ++figures["kills"];
        ++figures[killedRun.exitStatus == -1 ? "killedBySignal" : "completedBeforeTheKill"];
        if (killedRun.exitStatus != -1) {
            EXPECT_EQ(killedRun.out, "ok") << killedRun.err;
        }
        const SavedState found = saved();
        // The run state goes first and holds the state for the database before the run as
        // well as after it: beside the old database it stands for the state before (the
        // run that follows proves it).
        if (found == before || (found.database == before.database && found.runState == after.runState)) {
            ++figures["foundStateBefore"];
        } else if (found == after) {
            ++figures["foundStateAfter"];
        } else {
            ++figures["foundOtherState"];
            if (found.database != before.database && found.database != after.database)
                figures["bytesLost"] += static_cast<std::int64_t>(before.database.value_or("").size());
            ADD_FAILURE() << "found " << ::testing::PrintToString(found) << "\nbefore the run "
                          << ::testing::PrintToString(before) << "\nafter the run " << ::testing::PrintToString(after);
        }
        EXPECT_TRUE(databaseIsSound(found));
        for (const std::string& name : leftovers()) {
            EXPECT_TRUE(name.starts_with("traffic.new-") || name.starts_with(".traffic.state.new-")) << "unexpected file " << name;
            ++figures["temporaryFilesLeft"];
        }
        const RunResult next = folder.run(options());
        EXPECT_EQ(next.exitStatus, 0);
        EXPECT_EQ(next.out, "ok") << next.err;
        const SavedState recovered = saved();
        const bool reachedAfter = recovered == after || recovered == afterAgain;
        figures["wrongAfterNextRun"] += !reachedAfter;
        EXPECT_TRUE(reachedAfter) << "the run after the kill left " << ::testing::PrintToString(recovered);
        restore(before);
    }

    TestFolder folder;
    TrafficRig rig{2};
    SavedState before, after, afterAgain; // afterAgain: after a second undisturbed run with the same readings
};

// The system calls of one run, in order ("name" and how many calls of that name came
// before), from the first that names the lock file, the database or the run state beside
// it, up to the one that writes the run's output. A run can change only what it
// names (or reaches through a descriptor that a naming call opened). What comes before
// (the helpers that start the program, the dynamic loader) names none of them, and the
// output is written once the lock is given up: killed there, a run leaves everything as it
// was, or as it was going to, by construction. So only the calls in between are worth a kill each.
std::vector<std::pair<std::string, int>> systemCallsThatMayMatter(const fs::path& trace, const fs::path& program,
                                                                  const std::vector<std::string>& places)
{
    std::ifstream in(trace);
    std::vector<std::pair<std::string, int>> calls;
    std::map<std::string, int> seen;
    constexpr std::size_t none = std::string::npos;
    std::size_t firstThatMatters = none;
    bool programStarted = false;
    for (std::string line; std::getline(in, line);) {
        const std::size_t open = line.find('(');
        if (open == 0 || open == std::string::npos || line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != open)
            continue; // signals, the end of the process
        const std::string name = line.substr(0, open);
        calls.emplace_back(name, ++seen[name]);
        if (name == "execve") {
            programStarted = line.starts_with("execve(\"" + program.string() + "\"") && line.ends_with("= 0");
            firstThatMatters = none;
        } else if (programStarted && firstThatMatters == none
                   && std::any_of(places.begin(), places.end(), [&](const auto& place) { return line.find(place) != std::string::npos; })) {
            firstThatMatters = calls.size() - 1;
        } else if (firstThatMatters != none && line.starts_with("write(1, ")) {
            return {calls.begin() + static_cast<std::ptrdiff_t>(firstThatMatters), calls.end()};
        }
    }
    return {};
}

TEST_P(CrashSafety, KilledAtEverySystemCall)
{
    const fs::path trace = folder.root() / "trace";
    const RunResult traced = folder.run(options({BRIMLET_STRACE, "-qq", "-o", trace.string()}));
    ASSERT_EQ(traced.out, "ok") << traced.err;
    ASSERT_EQ(saved(), after);
    restore(before);
    const auto calls = systemCallsThatMayMatter(trace, folder.program(), {folder.lockFile().string(), folder.database().string(), stateFile().string()});
    ASSERT_GT(calls.size(), 20u) << "the trace did not show the program's calls";
    ASSERT_TRUE(std::any_of(calls.begin(), calls.end(), [](const auto& call) { return call.first == "rename"; }));

    Tally tally;
    for (const auto& [name, occurrence] : calls) {
        const std::string point = name + ":signal=SIGKILL:when=" + std::to_string(occurrence);
        const RunResult killed = folder.run(options({BRIMLET_STRACE, "-qq", "-o", "/dev/null", "-e", "inject=" + point}));
        expectSurvived(killed, "killed on entering " + name + " #" + std::to_string(occurrence), tally);
    }
    tally.figures["systemCalls"] = static_cast<std::int64_t>(calls.size());
    tally.report();
    // Every run makes these calls alike, so every kill hits.
    EXPECT_EQ(tally.figures["killedBySignal"], tally.figures["kills"]);
    EXPECT_GT(tally.figures["foundStateAfter"], 0);
    EXPECT_GT(tally.figures["foundStateBefore"], 0);
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
    restore(before);
    std::mt19937_64 random(20261206);
    std::uniform_int_distribution<std::int64_t> delay(0, static_cast<std::int64_t>(longest * 1e6));
    Tally tally;
    // BRIMLET_PROOF_KILLS asks for more kills than the 100 of a history.
    const int kills = std::getenv("BRIMLET_PROOF_KILLS") ? std::atoi(std::getenv("BRIMLET_PROOF_KILLS")) : 100;
    for (int i = 0; i < kills; ++i) {
        const auto wait = std::chrono::microseconds(delay(random));
        const auto process = folder.start(options());
        std::this_thread::sleep_for(wait);
        process->kill();
        expectSurvived(process->wait(), "killed after " + std::to_string(wait.count()) + " µs", tally);
    }
    tally.figures["runMicroseconds"] = static_cast<std::int64_t>(longest * 1e6);
    tally.report();
    EXPECT_GT(tally.figures["killedBySignal"], 0);
}

std::string historyName(const ::testing::TestParamInfo<History>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Histories, CrashSafety, ::testing::ValuesIn(histories), historyName);
INSTANTIATE_TEST_SUITE_P(Histories, CrashSafetyAtRandom, ::testing::ValuesIn(histories), historyName);

} // namespace
} // namespace proof
