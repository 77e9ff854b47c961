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

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

namespace e2e {

namespace {

constexpr const char* namePrefix = "brimlet-e2e-";
constexpr std::uint16_t experimentalEtherType = 0x88B5;

// Namespaces left behind by test processes that were killed before they could clean up.
void removeOrphans()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(namePrefix, 0) != 0)
            continue;
        const pid_t owner = static_cast<pid_t>(std::atol(name.c_str() + std::strlen(namePrefix)));
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH)
            runCommand({"ip", "netns", "delete", name});
    }
}

std::uint64_t readCounter(const std::string& networkNamespace, const std::string& interface, const char* counter)
{
    const std::string text =
        runCommand({"cat", "/sys/class/net/" + interface + "/statistics/" + counter}, networkNamespace);
    return std::stoull(text);
}

} // namespace

NetworkNamespace::NetworkNamespace()
{
    static int made = 0;
    removeOrphans();
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

void VethRig::addPair(const std::string& innerName, const std::string& outerName) const
{
    runCommand({"ip", "-n", inner.name(), "link", "add", innerName, "type", "veth", "peer", "name", outerName,
                "netns", outer.name()});
    runCommand({"ip", "-n", inner.name(), "link", "set", innerName, "up"});
    runCommand({"ip", "-n", outer.name(), "link", "set", outerName, "up"});
    // The kernel puts a link in operation a little later (up to a second): until then it
    // drops what is sent through it, uncounted.
    const auto operating = [](const std::string& networkNamespace, const std::string& interface) {
        return runCommand({"cat", "/sys/class/net/" + interface + "/operstate"}, networkNamespace) == "up\n";
    };
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
         !operating(inner.name(), innerName) || !operating(outer.name(), outerName);) {
        if (std::chrono::steady_clock::now() > until)
            throw std::runtime_error("the veth pair " + innerName + " did not come up");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void VethRig::deletePair(const std::string& innerName) const
{
    runCommand({"ip", "-n", inner.name(), "link", "delete", innerName});
}

KernelCounters kernelCounters(const std::string& networkNamespace, const std::string& interface)
{
    return {readCounter(networkNamespace, interface, "rx_bytes"), readCounter(networkNamespace, interface, "tx_bytes")};
}

namespace {

std::vector<unsigned char> experimentalFrame(int size)
{
    if (size < static_cast<int>(sizeof(ether_header)) || size > 1514)
        throw std::invalid_argument("frame size out of range");
    std::vector<unsigned char> frame(static_cast<std::size_t>(size), 0);
    ether_header header{};
    std::memset(header.ether_dhost, 0xFF, ETH_ALEN);
    const unsigned char source[ETH_ALEN] = {0x02, 0, 0, 0, 0, 0x01}; // locally administered
    std::memcpy(header.ether_shost, source, ETH_ALEN);
    header.ether_type = htons(experimentalEtherType);
    std::memcpy(frame.data(), &header, sizeof header);
    return frame;
}

// In a child process only: moves into the namespace and sends count frames (forever when
// count is negative), pausing between them. Only a process of its own may move into the
// namespace; the test stays where it is.
[[noreturn]] void sendFromChild(const std::string& namespaceFile, const std::string& interface,
                                const std::vector<unsigned char>& frame, int count, long pauseNanoseconds)
{
    const int target = open(namespaceFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (target < 0 || setns(target, CLONE_NEWNET) != 0)
        _exit(2);
    const int packets = socket(AF_PACKET, SOCK_RAW, 0); // protocol 0: receives nothing
    const unsigned index = if_nametoindex(interface.c_str());
    if (packets < 0 || index == 0)
        _exit(3);
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_ifindex = static_cast<int>(index);
    to.sll_halen = ETH_ALEN;
    std::memset(to.sll_addr, 0xFF, ETH_ALEN);
    const timespec pause{0, pauseNanoseconds};
    for (int i = 0; count < 0 || i < count; ++i) {
        if (sendto(packets, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to)
            != static_cast<ssize_t>(frame.size()))
            _exit(4);
        if (pauseNanoseconds > 0)
            nanosleep(&pause, nullptr);
    }
    _exit(0);
}

} // namespace

void sendFrames(const std::string& networkNamespace, const std::string& interface, int count, int size)
{
    if (count == 0)
        return;
    const std::vector<unsigned char> frame = experimentalFrame(size);
    const std::string namespaceFile = "/run/netns/" + networkNamespace;
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (child == 0)
        sendFromChild(namespaceFile, interface, frame, count, 0);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("sending frames out of " + interface + " in " + networkNamespace + " failed, status "
                                 + std::to_string(status));
}

TrafficFlow::TrafficFlow(const std::string& networkNamespace, const std::string& interface, int size,
                         std::chrono::microseconds pause)
{
    const std::vector<unsigned char> frame = experimentalFrame(size);
    const std::string namespaceFile = "/run/netns/" + networkNamespace;
    pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0)
        sendFromChild(namespaceFile, interface, frame, -1, static_cast<long>(pause.count()) * 1000);
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
    if (pid <= 0)
        throw std::logic_error("the flow was already stopped");
    int status = 0;
    const bool flowing = waitpid(pid, &status, WNOHANG) == 0;
    if (flowing) {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
    return flowing;
}

TrafficRig::TrafficRig(int pairs) : sinceCreation(static_cast<std::size_t>(pairs))
{
    for (int pair = 0; pair < pairs; ++pair)
        veth.addPair(innerName(pair), outerName(pair));
}

void TrafficRig::send(const Exchange& exchange)
{
    KernelCounters& expected = sinceCreation.at(static_cast<std::size_t>(exchange.pair));
    sendFrames(veth.outer.name(), outerName(exchange.pair), exchange.framesIn, exchange.sizeIn);
    sendFrames(veth.inner.name(), innerName(exchange.pair), exchange.framesOut, exchange.sizeOut);
    expected.received += static_cast<std::uint64_t>(exchange.framesIn) * static_cast<std::uint64_t>(exchange.sizeIn);
    expected.sent += static_cast<std::uint64_t>(exchange.framesOut) * static_cast<std::uint64_t>(exchange.sizeOut);
    const KernelCounters counted = kernel(exchange.pair);
    if (countsKnown && counted != expected)
        throw std::runtime_error("the kernel counted " + std::to_string(counted.received) + " received and "
                                 + std::to_string(counted.sent) + " sent bytes on " + innerName(exchange.pair)
                                 + " where the rig sent " + std::to_string(expected.received) + " and "
                                 + std::to_string(expected.sent));
}

std::unique_ptr<TrafficFlow> TrafficRig::flow(int pair, bool inbound, int size, std::chrono::microseconds pause)
{
    countsKnown = false;
    return inbound ? std::make_unique<TrafficFlow>(veth.outer.name(), outerName(pair), size, pause)
                   : std::make_unique<TrafficFlow>(veth.inner.name(), innerName(pair), size, pause);
}

void TrafficRig::recreate(int pair)
{
    veth.deletePair(innerName(pair));
    veth.addPair(innerName(pair), outerName(pair));
    sinceCreation.at(static_cast<std::size_t>(pair)) = {};
}

KernelCounters TrafficRig::kernel(int pair) const { return kernelCounters(veth.inner.name(), innerName(pair)); }

} // namespace e2e
