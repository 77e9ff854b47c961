#include "NetworkRig.h"

#include "Harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace e2e {

namespace {

constexpr const char* namePrefix = "brimlet-e2e-";

// Forks a process that moves into the namespace (the test stays where it is) and sends
// count broadcast frames of size bytes out of the interface (forever when count is
// negative), pausing between them.
pid_t startSending(const std::string& networkNamespace, const std::string& interface, int count, int size,
                   long pauseNanoseconds)
{
    if (size < static_cast<int>(sizeof(ether_header)) || size > 1514)
        throw std::invalid_argument("frame size out of range");
    std::vector<unsigned char> frame(static_cast<std::size_t>(size), 0);
    ether_header header{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x02, 0, 0, 0, 0, 0x01}, htons(0x88B5)};
    std::memcpy(frame.data(), &header, sizeof header);
    const std::string namespaceFile = "/run/netns/" + networkNamespace;
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    const int target = open(namespaceFile.c_str(), O_RDONLY | O_CLOEXEC);
    const int packets = target < 0 || setns(target, CLONE_NEWNET) != 0 ? -1 : socket(AF_PACKET, SOCK_RAW, 0);
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_ifindex = static_cast<int>(if_nametoindex(interface.c_str()));
    to.sll_halen = ETH_ALEN;
    std::memset(to.sll_addr, 0xFF, ETH_ALEN);
    const timespec pause{0, pauseNanoseconds};
    for (int i = 0; packets >= 0 && to.sll_ifindex != 0 && (count < 0 || i < count); ++i) {
        if (sendto(packets, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) != size)
            _exit(4);
        if (pauseNanoseconds > 0)
            nanosleep(&pause, nullptr);
    }
    _exit(packets >= 0 && to.sll_ifindex != 0 ? 0 : 3);
}

// Sends count broadcast frames of exactly size bytes (header included, 14 to 1514) with
// EtherType 0x88B5 out of the interface, from inside its namespace.
void sendFrames(const std::string& networkNamespace, const std::string& interface, int count, int size)
{
    if (count == 0)
        return;
    int status = 0;
    waitpid(startSending(networkNamespace, interface, count, size, 0), &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("sending frames out of " + interface + " failed, status " + std::to_string(status));
}

} // namespace

NetworkNamespace::NetworkNamespace()
{
    // Namespaces left behind by test processes that were killed before they could clean up.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
        const std::string name = entry.path().filename().string();
        const pid_t owner = name.starts_with(namePrefix) ? std::atoi(name.c_str() + std::strlen(namePrefix)) : 0;
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH)
            runCommand({"ip", "netns", "delete", name});
    }
    static int made = 0;
    id = namePrefix + std::to_string(getpid()) + "-" + std::to_string(++made);
    runCommand({"ip", "netns", "add", id});
    try {
        runCommand({"sysctl", "-q", "-w", "net.ipv6.conf.all.disable_ipv6=1", "net.ipv6.conf.default.disable_ipv6=1"}, id);
    } catch (...) {
        runCommand({"ip", "netns", "delete", id});
        throw;
    }
}

NetworkNamespace::~NetworkNamespace()
{
    try {
        runCommand({"ip", "netns", "delete", id});
    } catch (...) {
        // A destructor can not report; the next rig removes what is left as an orphan.
    }
}

TrafficFlow::TrafficFlow(const std::string& networkNamespace, const std::string& interface, int size,
                         std::chrono::microseconds pause)
    : pid(startSending(networkNamespace, interface, -1, size, static_cast<long>(pause.count()) * 1000))
{
}

TrafficFlow::~TrafficFlow()
{
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

bool TrafficFlow::stop()
{
    const bool flowing = waitpid(pid, nullptr, WNOHANG) == 0;
    ::kill(pid, SIGKILL);
    waitpid(std::exchange(pid, -1), nullptr, 0);
    return flowing;
}

TrafficRig::TrafficRig(int pairs)
{
    for (int pair = 0; pair < pairs; ++pair)
        add(pair);
}

void TrafficRig::add(int pair)
{
    sinceCreation.resize(std::max(sinceCreation.size(), static_cast<std::size_t>(pair) + 1));
    sinceCreation[static_cast<std::size_t>(pair)] = {};
    runCommand({"ip", "-n", inner.name(), "link", "add", innerName(pair), "type", "veth", "peer", "name",
                outerName(pair), "netns", outer.name()});
    runCommand({"ip", "-n", inner.name(), "link", "set", innerName(pair), "up"});
    runCommand({"ip", "-n", outer.name(), "link", "set", outerName(pair), "up"});
    // The kernel puts a link in operation a little later (up to a second): until then it
    // drops what is sent through it, uncounted.
    const auto operating = [](const std::string& networkNamespace, const std::string& interface) {
        return runCommand({"cat", "/sys/class/net/" + interface + "/operstate"}, networkNamespace) == "up\n";
    };
    for (const auto until = Clock::now() + std::chrono::seconds(5);
         !operating(inner.name(), innerName(pair)) || !operating(outer.name(), outerName(pair));) {
        if (Clock::now() > until)
            throw std::runtime_error("the veth pair " + innerName(pair) + " did not come up");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void TrafficRig::send(const Exchange& exchange)
{
    KernelCounters& expected = sinceCreation.at(static_cast<std::size_t>(exchange.pair));
    sendFrames(outer.name(), outerName(exchange.pair), exchange.framesIn, exchange.sizeIn);
    sendFrames(inner.name(), innerName(exchange.pair), exchange.framesOut, exchange.sizeOut);
    expected.received += static_cast<std::uint64_t>(exchange.framesIn) * static_cast<std::uint64_t>(exchange.sizeIn);
    expected.sent += static_cast<std::uint64_t>(exchange.framesOut) * static_cast<std::uint64_t>(exchange.sizeOut);
    const KernelCounters counted = kernel(exchange.pair);
    if (countsKnown && counted != expected)
        throw std::runtime_error("the kernel counted " + std::to_string(counted.received) + "/"
                                 + std::to_string(counted.sent) + " bytes received/sent on " + innerName(exchange.pair)
                                 + " where the rig sent " + std::to_string(expected.received) + "/"
                                 + std::to_string(expected.sent));
}

std::unique_ptr<TrafficFlow> TrafficRig::flow(int pair, bool inbound, int size, std::chrono::microseconds pause)
{
    countsKnown = false;
    return std::make_unique<TrafficFlow>(inbound ? outer.name() : inner.name(),
                                         inbound ? outerName(pair) : innerName(pair), size, pause);
}

KernelCounters TrafficRig::kernel(int pair) const
{
    const auto counter = [&](const char* name) {
        return std::stoull(runCommand({"cat", "/sys/class/net/" + innerName(pair) + "/statistics/" + name}, inner.name()));
    };
    return {counter("rx_bytes"), counter("tx_bytes")};
}

void TrafficRig::remove(int pair)
{
    runCommand({"ip", "-n", inner.name(), "link", "delete", innerName(pair)}); // deletes both ends
}

} // namespace e2e
