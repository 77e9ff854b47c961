// Totals that stay equal to the kernel's counters while ordinary things happen between
// runs: days pass, adapters go and come, the clock steps, the time zone changes, the
// machine reboots; and the log of the readings. Each run of the scenarios sees a boot of
// the test's making: an edited copy of /proc/stat (its btime) and another boot id,
// mounted over the real ones for that run alone.

#include "Harness.h"
#include "NetworkRig.h"
#include "TestClock.h"

#include <gtest/gtest.h>

#include <fnmatch.h>

#include <fstream>
#include <set>
#include <sstream>

namespace e2e {
namespace {

constexpr std::int64_t hour = 3600;
constexpr std::int64_t day = 24 * hour;

struct Step {
    std::vector<int> remove; // pairs deleted before the run
    std::vector<int> make;   // pairs made, anew where they exist, before the run
    int frames = 0;          // frames of 300 bytes each way through live pair p, (p + 1) times over
    std::int64_t clock = 0;  // the run's clock, seconds from the scenario's start
    std::int64_t btime = -hour; // the boot time the kernel shows, likewise
    int boot = 1;            // the boot id
    int zoneShift = 0;       // hours the time zone lies east of the tests' one
};

struct Scenario {
    const char* name;
    int pairs;
    const char* adapters; // BRIMLET_ADAPTERS, or nothing
    std::vector<Step> steps;
};

const Scenario scenarios[] = {
    {"an adapter that is not the last is deleted, then its name returns", 3, nullptr,
     {{{}, {}, 3, 0}, {{0}, {}, 5, 600}, {{}, {0}, 2, 1200}}},
    {"an adapter made anew whose counter passes its old value", 1, nullptr, {{{}, {}, 2, 0}, {{0}, {0}, 20, 600}}},
    {"the clock steps 3 h ahead after boot, and the kernel's boot time with it", 1, nullptr,
     {{{}, {}, 2, 0}, {{}, {}, 3, 3 * hour + 600, 2 * hour}}},
    {"the time zone moves 4 h east", 1, nullptr, {{{}, {}, 2, 0}, {{}, {}, 3, 600, -hour, 1, 4}}},
    // A year-old record too: the run under the wrong clock must not age it.
    {"a clock 200 days ahead, then corrected", 1, nullptr,
     {{{}, {}, 2, -300 * day, -300 * day - hour, 0},
      {{}, {0}, 2, 0},
      {{}, {}, 3, 200 * day, 200 * day - hour},
      {{}, {}, 4, 1200}}},
    {"a reboot: new boot id, later boot time, counters from zero", 2, nullptr,
     {{{}, {}, 3, 0}, {{}, {0, 1}, 2, 3 * hour, 3 * hour - 600, 2}}},
    // Each local midnight opens a record: on its stroke, after a quiet day, after hours without traffic.
    {"days of one boot session", 2, nullptr,
     {{{}, {}, 2, 0}, {{}, {}, 3, 9 * hour}, {{}, {}, 0, 10 * hour}, {{}, {}, 1, 27 * hour}, {{}, {}, 0, 51 * hour},
      {{}, {}, 1, 63 * hour}, {{}, {}, 2, 75 * hour}, {{}, {}, 1, 110 * hour}}},
    {"BRIMLET_ADAPTERS chooses by name patterns", 3, "lan0 l?n[2-3]", {{{}, {}, 3, 0}, {{}, {}, 2, 600}}},
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class ExactCounts : public ::testing::TestWithParam<Scenario> {
protected:
    bool counted(int pair) const
    {
        // Every pair counts unless patterns say otherwise: a namespace has no physical adapter.
        const char* patterns = GetParam().adapters;
        if (!patterns)
            return true;
        std::istringstream words(patterns);
        for (std::string word; words >> word;)
            if (fnmatch(word.c_str(), TrafficRig::innerName(pair).c_str(), 0) == 0)
                return true;
        return false;
    }

    void retire(int pair)
    {
        const KernelCounters last = rig.kernel(pair);
        retired.sent += counted(pair) ? last.sent : 0;
        retired.received += counted(pair) ? last.received : 0;
        rig.remove(pair);
        live.erase(pair);
    }

    void make(int pair)
    {
        if (live.count(pair))
            retire(pair);
        rig.add(pair);
        live.insert(pair);
    }

    // What the kernel counted on the counted pairs, those deleted included.
    KernelCounters kernelTotal() const
    {
        KernelCounters total = retired;
        for (const int pair : live)
            if (counted(pair)) {
                const KernelCounters now = rig.kernel(pair);
                total.sent += now.sent;
                total.received += now.received;
            }
        return total;
    }

    RunOptions options(const Step& step) const
    {
        const std::int64_t start = epochSeconds(wallClock(2026, 12, 10, 9));
        std::ifstream real("/proc/stat");
        std::ostringstream stat;
        for (std::string line; std::getline(real, line);)
            stat << (line.starts_with("btime ") ? "btime " + std::to_string(start + step.btime) : line) << '\n';
        const auto statFile = folder.root() / "stat";
        const auto bootIdFile = folder.root() / "boot_id";
        writeBytes(statFile, stat.str());
        writeBytes(bootIdFile, "6a1f0c2e-0000-4000-8000-00000000000" + std::to_string(step.boot) + "\n");

        RunOptions result;
        result.arguments = {"%u %d %Du %Dd"};
        result.networkNamespace = rig.networkNamespace();
        result.frozenClock = start + step.clock;
        result.environment = {{"TZ", "TST-" + std::to_string(5 + step.zoneShift) + ":30"}};
        if (GetParam().adapters)
            result.environment.push_back({"BRIMLET_ADAPTERS", GetParam().adapters});
        result.wrapper = {"unshare", "-m", "sh", "-c",
                          "mount --bind " + statFile.string() + " /proc/stat && mount --bind " + bootIdFile.string()
                              + " /proc/sys/kernel/random/boot_id && exec \"$0\" \"$@\""};
        return result;
    }

    TestFolder folder;
    TrafficRig rig{0};
    std::set<int> live;
    KernelCounters retired;
};

TEST_P(ExactCounts, EveryTotalEqualsTheKernels)
{
    for (int pair = 0; pair < GetParam().pairs; ++pair)
        make(pair);
    struct Counted {
        std::int64_t localDay;
        std::int64_t clock;
        KernelCounters bytes;
    };
    std::vector<Counted> runs;
    KernelCounters before;
    for (std::size_t i = 0; i < GetParam().steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i + 1));
        const Step& step = GetParam().steps[i];
        for (const int pair : step.remove)
            retire(pair);
        for (const int pair : step.make)
            make(pair);
        for (const int pair : live)
            rig.send({pair, step.frames * (pair + 1), 300, step.frames * (pair + 1), 300});
        const RunOptions run = options(step);
        const RunResult result = folder.run(run);

        const KernelCounters total = kernelTotal();
        const std::int64_t localDay = (*run.frozenClock + zoneOffsetSeconds + step.zoneShift * hour) / day;
        runs.push_back({localDay, step.clock, {total.received - before.received, total.sent - before.sent}});
        before = total;
        // A run's bytes count today while its record begins on the day, not after the clock.
        KernelCounters today;
        for (const Counted& run : runs)
            if (run.localDay == localDay && run.clock <= step.clock) {
                today.sent += run.bytes.sent;
                today.received += run.bytes.received;
            }
        EXPECT_EQ(result.out, std::to_string(total.sent) + " " + std::to_string(total.received) + " "
                                  + std::to_string(today.sent) + " " + std::to_string(today.received))
            << result.err;
    }
}

// In the test's own namespace, with the machine's real adapters: the help page lists the
// adapters that report no link kind, or all but the loopback where none does.
TEST(PhysicalAdapters, AloneCountWhereThereAreAny)
{
    std::vector<std::string> physical, all;
    std::istringstream links(runCommand({"ip", "-o", "link", "show"}));
    for (std::string line; std::getline(links, line);) {
        const std::size_t begin = line.find(": ") + 2;
        const std::string name = line.substr(begin, line.find_first_of(":@", begin) - begin);
        if (line.find("LOOPBACK") != std::string::npos)
            continue;
        all.push_back(name);
        if (runCommand({"ip", "-d", "-j", "link", "show", "dev", name}).find("\"info_kind\"") == std::string::npos)
            physical.push_back(name);
    }
    std::string expected;
    int number = 0;
    for (const std::string& name : physical.empty() ? all : physical)
        expected += "Interface " + std::to_string(number++) + ": " + name;
    TestFolder folder;
    RunOptions help;
    help.arguments = {"help"};
    std::string listed;
    std::istringstream page(folder.run(help).out);
    for (std::string line; std::getline(page, line);)
        if (line.starts_with("Interface "))
            listed += line.substr(0, line.find(" Received:"));
    EXPECT_EQ(listed, expected);
}

std::string scenarioName(const ::testing::TestParamInfo<Scenario>& info) { return "Case" + std::to_string(info.index); }

INSTANTIATE_TEST_SUITE_P(Changes, ExactCounts, ::testing::ValuesIn(scenarios), scenarioName);

using std::chrono::hours;

// Two logged runs on the second day of a boot session, in the working folder under a
// German locale: the first opens the day's record, the second updates it.
TEST(KernelCounters, LogShowsTheReadingAndTheMergeLineByLine)
{
    TestFolder folder;
    TrafficRig rig(2);
    rig.send({0, 4, 100, 2, 300});
    rig.send({1, 1, 1000, 0, 0});
    ASSERT_EQ(folder.run(patternRun(rig.networkNamespace(), dayAfterBoot(1) + hours(20))).out, "ok");
    const KernelCounters dayBefore[] = {rig.kernel(0), rig.kernel(1)};
    const std::filesystem::path working = folder.root() / "working";
    std::filesystem::create_directory(working);
    const WallClock day = dayAfterBoot(2);

    std::string expected;
    const auto logged = [&](WallClock at, std::vector<std::string> arguments, bool recordExists) {
        RunOptions options = patternRun(rig.networkNamespace(), at, arguments);
        options.environment = {{"LC_ALL", "de_DE.UTF-8"}};
        options.workingFolder = working;
        const RunResult result = folder.run(options);
        ASSERT_EQ(result.out, "ok") << result.err;
        expected += "Application start: " + germanTimeStamp(at) + "\n\nboot @ " + germanTimeStamp(day) + "\n";
        for (int pair = 0; pair < 2; ++pair) {
            const KernelCounters now = rig.kernel(pair);
            const std::string received = std::to_string(now.received), sent = std::to_string(now.sent);
            const std::string todayReceived = std::to_string(now.received - dayBefore[pair].received);
            const std::string todaySent = std::to_string(now.sent - dayBefore[pair].sent);
            expected += "Interface " + std::to_string(pair) + ": " + TrafficRig::innerName(pair) + "\n Received: " + received
                        + " (unsigned " + received + ")\n Sent: " + sent + " (unsigned " + sent + ")\ncorrected to: "
                        + todayReceived + "/" + todaySent + "\n";
            if (recordExists)
                expected += "sent total: " + todaySent + "\nrecv total: " + todayReceived + "\n";
        }
        expected += "\n";
    };
    rig.send({0, 2, 1514, 5, 70});
    logged(day + hours(12), {"log", "ok"}, false);
    rig.send({1, 3, 90, 1, 1000});
    logged(day + hours(13) + std::chrono::minutes(5), {"ok", "log"}, true);

    EXPECT_EQ(readBytes(working / "traffic.log"), expected);
    EXPECT_EQ(folder.programFolderEntries(), (std::vector<std::string>{".traffic.state", "brimlet", "traffic"}));
}

} // namespace
} // namespace e2e
