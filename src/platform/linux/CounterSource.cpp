#include "platform/CounterSource.h"

#include "base/Failures.h"
#include "platform/AdapterChoice.h"
#include "platform/linux/LocalTime.h"
#include "platform/linux/SnmpReadings.h"

#include <linux/if.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The local kernel is asked anew at every call; a remote host is read whole at connect.
struct CounterSource::State {
    std::optional<RemoteReading> remote;
};

namespace {

[[noreturn]] void failInterfaces(int error)
{
    throw ProgramError(std::string("Can not read the network interfaces: ") + std::strerror(error));
}

class NetlinkSocket {
public:
    NetlinkSocket() : fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE))
    {
        if (fd < 0)
            failInterfaces(errno);
    }
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;
    ~NetlinkSocket() { close(fd); }
    int get() const { return fd; }

private:
    int fd;
};

struct Interface {
    AdapterReading reading;
    bool isVirtual = false;
};

// The attributes of one link message that tell its name, counters and kind.
void readLink(const nlmsghdr* message, bool withCounters, std::vector<Interface>& interfaces)
{
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
    if (info->ifi_flags & IFF_LOOPBACK)
        return;
    Interface interface;
    interface.reading.index = static_cast<std::uint32_t>(info->ifi_index);
    bool named = false;
    int length = static_cast<int>(IFLA_PAYLOAD(message));
    for (const rtattr* attribute = IFLA_RTA(info); RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        const void* data = RTA_DATA(attribute);
        const std::size_t size = RTA_PAYLOAD(attribute);
        switch (attribute->rta_type) {
        case IFLA_IFNAME:
            interface.reading.name.assign(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), size));
            named = true;
            break;
        case IFLA_STATS64:
            if (withCounters && size >= sizeof(rtnl_link_stats64)) {
                rtnl_link_stats64 stats;
                std::memcpy(&stats, data, sizeof stats);
                interface.reading.received = stats.rx_bytes;
                interface.reading.sent = stats.tx_bytes;
            }
            break;
        case IFLA_LINKINFO: {
            // Only software devices (veth, bridge, tun, wireguard, ...) name a kind.
            int nestedLength = static_cast<int>(size);
            for (const rtattr* nested = static_cast<const rtattr*>(data); RTA_OK(nested, nestedLength);
                 nested = RTA_NEXT(nested, nestedLength))
                if (nested->rta_type == IFLA_INFO_KIND)
                    interface.isVirtual = true;
            break;
        }
        default:
            break;
        }
    }
    if (named)
        interfaces.push_back(std::move(interface));
}

// Every interface but the loopback, in the kernel's order.
std::vector<Interface> dumpInterfaces(bool withCounters)
{
    NetlinkSocket socket;
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.info.ifi_family = AF_UNSPEC;
    if (send(socket.get(), &request, request.header.nlmsg_len, 0) < 0)
        failInterfaces(errno);

    std::vector<Interface> interfaces;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        const ssize_t received = recv(socket.get(), buffer, sizeof buffer, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            failInterfaces(received < 0 ? errno : EPROTO);
        const auto length = static_cast<std::size_t>(received);
        for (std::size_t at = 0; length - at >= sizeof(nlmsghdr);) {
            const auto* message = reinterpret_cast<const nlmsghdr*>(buffer + at);
            if (message->nlmsg_len < sizeof(nlmsghdr) || message->nlmsg_len > length - at)
                break;
            if (message->nlmsg_type == NLMSG_DONE)
                return interfaces;
            if (message->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
                failInterfaces(error->error ? -error->error : EPROTO);
            }
            if (message->nlmsg_type == RTM_NEWLINK)
                readLink(message, withCounters, interfaces);
            at += NLMSG_ALIGN(message->nlmsg_len);
        }
    }
}

} // namespace

CounterSource::CounterSource() : state(std::make_unique<State>()) {}

CounterSource::~CounterSource() = default;

void CounterSource::connect(const std::string& server, const std::string& user, const std::string& password)
{
    state->remote.reset();
    if (!server.empty())
        state->remote = readRemote(server, user, password);
}

FileTime CounterSource::readBootTime()
{
    if (state->remote)
        return state->remote->bootTime;
    std::ifstream stat("/proc/stat");
    std::string key;
    long long value = 0;
    while (stat >> key) {
        if (key == "btime" && stat >> value) {
            const time_t boot = static_cast<time_t>(value);
            tm local{};
            if (!localtime_r(&boot, &local))
                return 0;
            return toFileTime(calendarTime(local, 0)).value_or(0);
        }
        stat.ignore(4096, '\n');
    }
    return 0;
}

BootIdentity CounterSource::readBootIdentity()
{
    // A remote host names no boot: its boot time in UTC stands for it.
    if (state->remote)
        return {"", state->remote->utcBootTime};
    // One value per boot, which neither clock steps nor time zones move.
    std::ifstream file("/proc/sys/kernel/random/boot_id");
    BootIdentity identity;
    std::getline(file, identity.id);
    return identity;
}

CounterWidth CounterSource::counterWidth() const
{
    return state->remote ? state->remote->width : CounterWidth::bits64;
}

void CounterSource::forEachAdapter(bool withCounters, const std::function<void(const AdapterReading&)>& visit)
{
    const auto patterns = adapterPatterns();
    if (state->remote) {
        // A router's interfaces all see the same bytes pass; the patterns pick the one to count.
        for (const AdapterReading& reading : state->remote->adapters)
            if (!patterns || matchesAny(*patterns, reading.name))
                visit(withCounters ? reading : AdapterReading{reading.name, reading.index, {}, {}});
        return;
    }
    // Virtual adapters (tunnels, bridges, veth) carry bytes that a physical adapter
    // counts too, so only physical ones count; a machine without any (a container)
    // counts all of its own. Physical adapters keep their numbers while virtual ones
    // come and go.
    const std::vector<Interface> interfaces = dumpInterfaces(withCounters);
    const bool anyPhysical =
        std::any_of(interfaces.begin(), interfaces.end(), [](const Interface& i) { return !i.isVirtual; });
    for (const bool virtualGroup : {false, true})
        for (const Interface& interface : interfaces)
            if (interface.isVirtual == virtualGroup
                && (patterns ? matchesAny(*patterns, interface.reading.name) : !anyPhysical || !virtualGroup))
                visit(interface.reading);
}

void CounterSource::close() { closeRemote(); }

} // namespace platform
