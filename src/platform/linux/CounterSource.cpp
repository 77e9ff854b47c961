#include "platform/CounterSource.h"

#include "base/Failures.h"
#include "platform/linux/LocalTime.h"
#include "platform/snmp/SnmpSource.h"

#include <linux/if.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

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

// The attributes of one link message that tell its name, counters and kind.
void readLink(const nlmsghdr* message, std::vector<AdapterReading>& adapters)
{
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
    AdapterReading adapter;
    adapter.index = static_cast<std::uint32_t>(info->ifi_index);
    adapter.loopback = (info->ifi_flags & IFF_LOOPBACK) != 0;
    bool named = false;
    int length = static_cast<int>(IFLA_PAYLOAD(message));
    for (const rtattr* attribute = IFLA_RTA(info); RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        const void* data = RTA_DATA(attribute);
        const std::size_t size = RTA_PAYLOAD(attribute);
        switch (attribute->rta_type) {
        case IFLA_IFNAME:
            adapter.name.assign(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), size));
            named = true;
            break;
        case IFLA_STATS64:
            if (size >= sizeof(rtnl_link_stats64)) {
                rtnl_link_stats64 stats;
                std::memcpy(&stats, data, sizeof stats);
                adapter.received = stats.rx_bytes;
                adapter.sent = stats.tx_bytes;
            }
            break;
        case IFLA_LINKINFO: {
            // Only software devices (veth, bridge, tun, wireguard, ...) name a kind.
            int nestedLength = static_cast<int>(size);
            for (const rtattr* nested = static_cast<const rtattr*>(data); RTA_OK(nested, nestedLength);
                 nested = RTA_NEXT(nested, nestedLength))
                if (nested->rta_type == IFLA_INFO_KIND)
                    adapter.isVirtual = true;
            break;
        }
        default:
            break;
        }
    }
    if (named)
        adapters.push_back(std::move(adapter));
}

// Every interface, in the kernel's order.
std::vector<AdapterReading> dumpInterfaces()
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

    std::vector<AdapterReading> interfaces;
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
                readLink(message, interfaces);
            at += NLMSG_ALIGN(message->nlmsg_len);
        }
    }
}

// The rest of the first line of a kernel text file that begins with prefix. Read in
// small pieces straight from the file: a run reads two such files every time, and
// /proc/stat runs to many kilobytes on a machine of many processors.
std::optional<std::string> kernelLine(const char* path, std::string_view prefix)
{
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return std::nullopt;
    std::optional<std::string> found;
    std::string line;      // the current line, as far as it may still begin with prefix
    bool skipping = false; // the current line does not
    const auto lineEnds = [&] {
        if (!skipping && line.size() >= prefix.size())
            found = line.substr(prefix.size());
        line.clear();
        skipping = false;
    };
    char buffer[1024];
    for (ssize_t got; !found && ((got = ::read(file, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR));) {
        for (ssize_t i = 0; i < got && !found; ++i) {
            if (buffer[i] == '\n') {
                lineEnds();
            } else if (!skipping) {
                line += buffer[i];
                skipping = line.size() <= prefix.size() && line.back() != prefix[line.size() - 1];
            }
        }
    }
    ::close(file);
    if (!found)
        lineEnds(); // a last line without its line end
    return found;
}

// The boot's time on the local wall clock: the kernel's, in seconds since 1970 UTC.
FileTime localBootTime()
{
    const std::optional<std::string> text = kernelLine("/proc/stat", "btime ");
    long long value = 0;
    if (!text || std::from_chars(text->data(), text->data() + text->size(), value).ec != std::errc{})
        return 0;
    const std::optional<CalendarTime> local = localCalendar(static_cast<time_t>(value), LocalInstant::boot);
    return local ? toFileTime(*local).value_or(0) : 0;
}

// The local kernel, asked anew at every reading.
struct KernelSource : CounterSource {
    Reading read(const ClockReading&) override
    {
        Reading reading;
        // One value per boot, which neither clock steps nor time zones move.
        reading.boot.id = kernelLine("/proc/sys/kernel/random/boot_id", "").value_or("");
        reading.boot.localBootTime = localBootTime();
        // Counts through suspend, which the monotonic clock leaves out.
        timespec sinceBoot{};
        if (clock_gettime(CLOCK_BOOTTIME, &sinceBoot) == 0)
            reading.boot.uptime = static_cast<FileTime>(sinceBoot.tv_sec) * fileTimeSecond
                                  + static_cast<FileTime>(sinceBoot.tv_nsec / 100);
        reading.adapters = dumpInterfaces();
        return reading;
    }
};

} // namespace

std::unique_ptr<CounterSource> connect(const std::string& server, const std::string& user,
                                       const std::string& password)
{
    if (!server.empty())
        return connectSnmp(server, user, password);
    return std::make_unique<KernelSource>();
}

} // namespace platform
