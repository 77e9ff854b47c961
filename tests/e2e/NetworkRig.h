#pragma once

// Private network namespaces with real adapters whose counters only the test moves.
// Traffic is raw Ethernet frames of a local experimental EtherType sent from one end of a
// veth pair to the other: the byte counts are the frame lengths, and no IP traffic exists.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

// A network namespace of the test's own, kept quiet: IPv6, and with it every kind of
// autoconfiguration, is off before any adapter joins it. Deleted with the object.
class NetworkNamespace {
public:
    NetworkNamespace();
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;
    ~NetworkNamespace();

    const std::string& name() const { return id; }

private:
    std::string id;
};

struct KernelCounters {
    std::uint64_t received = 0;
    std::uint64_t sent = 0;

    bool operator==(const KernelCounters&) const = default;
};

// Frames of size bytes sent out of the interface by a process of its own, one after
// another with a pause between them, until the flow is stopped: traffic that goes on while
// the test does other things.
class TrafficFlow {
public:
    TrafficFlow(const std::string& networkNamespace, const std::string& interface, int size,
                std::chrono::microseconds pause);
    TrafficFlow(const TrafficFlow&) = delete;
    TrafficFlow& operator=(const TrafficFlow&) = delete;
    ~TrafficFlow();

    // Ends the flow; false when it had already ended on its own, which means a send failed.
    bool stop();

private:
    pid_t pid = -1;
};

// Frames across veth pair number `pair`: framesIn of sizeIn bytes arrive at its inner
// end, framesOut of sizeOut bytes leave it.
struct Exchange {
    int pair = 0;
    int framesIn = 0;
    int sizeIn = 0;
    int framesOut = 0;
    int sizeOut = 0;
};

// Two namespaces joined by numbered veth pairs: the program runs in the inner one, where
// each pair's end is "lan<n>"; the far end "far<n>" sits in the outer one. The rig keeps
// count of the bytes it sent, and checks after every exchange that the kernel counted
// them alike: then nothing else moved the counters.
class TrafficRig {
public:
    explicit TrafficRig(int pairs);

    const std::string& networkNamespace() const { return inner.name(); }
    static std::string innerName(int pair) { return "lan" + std::to_string(pair); }
    static std::string outerName(int pair) { return "far" + std::to_string(pair); }

    void send(const Exchange& exchange);
    // Frames of size bytes flowing into (inbound) or out of the pair's inner end until the
    // flow is stopped. The rig counts none of them: from then on only the kernel knows, and
    // send() no longer compares.
    std::unique_ptr<TrafficFlow> flow(int pair, bool inbound, int size, std::chrono::microseconds pause);
    // Makes pair number `pair`, or deletes it; a pair made anew counts from zero.
    void add(int pair);
    void remove(int pair);
    void recreate(int pair)
    {
        remove(pair);
        add(pair);
    }
    // The inner end's counters as the kernel shows them now, in its namespace's sysfs.
    KernelCounters kernel(int pair) const;

private:
    NetworkNamespace inner;
    NetworkNamespace outer;
    std::vector<KernelCounters> sinceCreation;
    bool countsKnown = true;
};

} // namespace e2e
