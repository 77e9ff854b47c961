#include "Harness.h"
#include "NetworkRig.h"

#include <gtest/gtest.h>

#include <thread>

namespace e2e {
namespace {

// An SNMP agent in the namespace, on its loopback only, with a throw-away configuration:
// the communities "public" and "lookout", the SNMPv3 user "meter" with privacy, and the
// interface table read at every request rather than cached for seconds.
std::unique_ptr<Process> startAgent(const TestFolder& folder, const std::string& networkNamespace)
{
    const auto state = folder.root() / "agent";
    std::filesystem::create_directories(state);
    writeBytes(state / "snmpd.conf", "rocommunity public 127.0.0.1\nrocommunity lookout 127.0.0.1\n"
                                     "createUser meter SHA \"passphrase1\" AES \"passphrase1\"\nrouser meter priv\n"
                                     "rwcommunity tuner 127.0.0.1 1.3.6.1.4.1.8072.1.5\n");
    runCommand({"ip", "-n", networkNamespace, "link", "set", "lo", "up"});
    RunOptions options;
    options.networkNamespace = networkNamespace;
    auto agent = std::make_unique<Process>(
        std::vector<std::string>{"snmpd", "-f", "-C", "-c", (state / "snmpd.conf").string(), "--persistentDir=" + state.string(),
                                 "-I", "-smux,mteTrigger,mteTriggerConf", "-Lf", "/dev/null", "udp:127.0.0.1:161"},
        options, std::filesystem::path());
    // Bound to port 161 (00A1) is ready enough: requests wait in the socket.
    for (int i = 0; i < 100 && runCommand({"cat", "/proc/net/udp"}, networkNamespace).find(":00A1 ") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // nsCacheTimeout of the interface table to 0; the tool keeps its state in the folder.
    options.environment = {{"SNMP_PERSISTENT_DIR", state.string()}, {"MIBS", ""}};
    const RunResult set = Process({"snmpset", "-v2c", "-c", "tuner", "127.0.0.1",
                                   "1.3.6.1.4.1.8072.1.5.3.1.2.1.3.6.1.2.1.2.2", "i", "0"}, options, {}).wait();
    EXPECT_EQ(set.exitStatus, 0) << set.err;
    return agent;
}

RunResult runIn(const TestFolder& folder, const TrafficRig& rig, std::vector<std::string> arguments)
{
    RunOptions options;
    options.arguments = std::move(arguments);
    options.networkNamespace = rig.networkNamespace();
    RunResult result = folder.run(options);
    EXPECT_EQ(result.err, ""); // the SNMP library's own messages stay unprinted
    return result;
}

std::vector<std::string> withCredentials(std::vector<std::string> arguments, const std::vector<std::string>& credentials)
{
    arguments.insert(arguments.begin() + 2, credentials.begin(), credentials.end());
    return arguments;
}

// Each kind of credentials, over several runs with exact traffic between them: the
// totals of the remote host's database are its kernel counters. The help page lists the
// agent's adapters; a refusal says what was refused, silence reads as ever; no failure
// touches the database.
TEST(SnmpServer, TotalsHelpPageAndFailures)
{
    const std::vector<std::vector<std::string>> credentials = {
        {},                                         // SNMPv2c, community "public"
        {"pass", "lookout"},                        // SNMPv2c, the community given
        {"user", "meter", "pass", "passphrase1"},   // SNMPv3, SHA and AES
    };
    const std::vector<Exchange> rounds = {{0, 3, 100, 2, 1000}, {1, 5, 1514, 1, 60}, {0, 0, 0, 4, 64}};
    TrafficRig rig(2);
    TestFolder folder;
    const auto agent = startAgent(folder, rig.networkNamespace());
    for (const auto& given : credentials) {
        SCOPED_TRACE(given.empty() ? "no credentials" : given.front() + " " + given.back());
        for (const Exchange& exchange : rounds) {
            rig.send(exchange);
            const RunResult result = runIn(folder, rig, withCredentials({"server", "127.0.0.1", "%n0u %n0d %n1u %n1d"}, given));
            const KernelCounters lan0 = rig.kernel(0), lan1 = rig.kernel(1);
            EXPECT_EQ(result.out, std::to_string(lan0.sent) + " " + std::to_string(lan0.received) + " "
                                      + std::to_string(lan1.sent) + " " + std::to_string(lan1.received));
        }
    }
    const KernelCounters lan0 = rig.kernel(0), lan1 = rig.kernel(1);
    EXPECT_EQ(runIn(folder, rig, {"server", "127.0.0.1", "help"}).out,
              fixedHelpText() + "Interface 0: lan0 Received: " + std::to_string(lan0.received) + " Sent: "
                  + std::to_string(lan0.sent) + "\nInterface 1: lan1 Received: " + std::to_string(lan1.received)
                  + " Sent: " + std::to_string(lan1.sent) + "\n");
    const auto database = folder.database("127.0.0.1");
    const std::string state = stateOf(database);

    const std::string failed = "Program Exception: Failed to connect server";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"user", "meter", "pass", "passphrase2"}, failed + ": Authentication failure (incorrect password, community or key)."},
        {{"user", "nobody", "pass", "passphrase1"}, failed + ": Unknown user name."},
        {{"pass", "private"}, failed + "."}, // an agent ignores an unknown community
        {{"server", "127.0.0.2"}, failed + "."}, // the later name counts; no agent there
    };
    for (const auto& [given, out] : cases) {
        SCOPED_TRACE(out);
        EXPECT_EQ(runIn(folder, rig, withCredentials({"server", "127.0.0.1", "ok"}, given)).out, out);
    }
    EXPECT_EQ(stateOf(database), state);
    EXPECT_EQ(folder.programFolderEntries(), (std::vector<std::string>{".traffic.127.0.0.1.state", "brimlet", "traffic.127.0.0.1"}));
}

} // namespace
} // namespace e2e
