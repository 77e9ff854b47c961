#include "Harness.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

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
