#pragma once
// Network reachability in the platform's manner: a target (a host name or
// an IPv4 address) whose flags say whether traffic to it could leave the
// device now, and a callback on a dispatch queue when they change.
//
// Where the flags come from is a ReachabilitySource. The system source reads
// the interfaces (getifaddrs) and routes (/proc/net) and learns of changes
// from netlink (links, addresses, routes). Tests install a
// TestReachabilitySource and switch it offline and online by hand.

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class DispatchQueue;

// The platform's reachability flag bits.
enum ReachabilityFlag : uint32_t {
    kReachabilityFlagsTransientConnection = 1u << 0,
    kReachabilityFlagsReachable = 1u << 1,
    kReachabilityFlagsConnectionRequired = 1u << 2,
    kReachabilityFlagsConnectionOnTraffic = 1u << 3,
    kReachabilityFlagsInterventionRequired = 1u << 4,
    kReachabilityFlagsConnectionOnDemand = 1u << 5,
    kReachabilityFlagsIsLocalAddress = 1u << 16,
    kReachabilityFlagsIsDirect = 1u << 17,
    kReachabilityFlagsIsWWAN = 1u << 18,
};

struct ReachabilityTarget {
    std::string hostName;           // set for host-name targets
    std::optional<in_addr> address; // set for address targets (network byte order)
    uint16_t port = 0;
};

class ReachabilitySource {
public:
    virtual ~ReachabilitySource() = default;
    // Current flags for the target; nullopt when they cannot be read.
    virtual std::optional<uint32_t> flagsFor(const ReachabilityTarget& target) = 0;
    // `onChange` is called, on any thread, whenever the network may have
    // changed. Returns a token for unsubscribe().
    virtual uint64_t subscribe(std::function<void()> onChange) = 0;
    virtual void unsubscribe(uint64_t token) = 0;

    // The installed source (the system's unless a test installed another).
    static std::shared_ptr<ReachabilitySource> current();
    // nullptr restores the system source.
    static void install(std::shared_ptr<ReachabilitySource> source);
};

// A source whose state a test sets: offline (flags 0), Wi-Fi (reachable),
// cellular (reachable + WWAN), or any flags. Every change notifies.
class TestReachabilitySource : public ReachabilitySource {
public:
    std::optional<uint32_t> flagsFor(const ReachabilityTarget& target) override;
    uint64_t subscribe(std::function<void()> onChange) override;
    void unsubscribe(uint64_t token) override;

    void setFlags(uint32_t flags);  // notifies the subscribers
    void setOffline() { setFlags(0); }
    void setWiFi() { setFlags(kReachabilityFlagsReachable); }
    void setCellular() { setFlags(kReachabilityFlagsReachable | kReachabilityFlagsIsWWAN); }
    // Flags cannot be read at all (as when the platform target fails).
    void setUnreadable();
    size_t subscriberCount() const;

    // Installs a new test source (offline) and returns it.
    static std::shared_ptr<TestReachabilitySource> install();

private:
    mutable std::mutex mutex_;
    std::optional<uint32_t> flags_ = 0;
    std::vector<std::pair<uint64_t, std::shared_ptr<std::function<void()>>>> subscribers_;
    uint64_t next_ = 1;
};

// Installs a TestReachabilitySource for a scope and restores the system one.
struct ScopedTestReachability {
    std::shared_ptr<TestReachabilitySource> source = TestReachabilitySource::install();
    ~ScopedTestReachability() { ReachabilitySource::install(nullptr); }
    TestReachabilitySource* operator->() { return source.get(); }
};

class NetworkReachability : public std::enable_shared_from_this<NetworkReachability> {
public:
    using Callback = std::function<void(uint32_t flags)>;

    // nullptr for an empty host name.
    static std::shared_ptr<NetworkReachability> createWithName(const std::string& hostName);
    static std::shared_ptr<NetworkReachability> createWithAddress(in_addr address, uint16_t port = 0);

    const ReachabilityTarget& target() const { return target_; }
    std::optional<uint32_t> getFlags() const;

    // An empty callback removes it. Callbacks run on the queue given to
    // setDispatchQueue(), with the new flags, each time they change.
    bool setCallback(Callback callback);
    // nullptr stops the deliveries.
    bool setDispatchQueue(std::shared_ptr<DispatchQueue> queue);

    ~NetworkReachability();
    explicit NetworkReachability(ReachabilityTarget target) : target_(std::move(target)) {}

private:
    void rewire();
    void changed();

    ReachabilityTarget target_;
    mutable std::mutex mutex_;
    Callback callback_;
    std::shared_ptr<DispatchQueue> queue_;
    std::shared_ptr<ReachabilitySource> source_;
    uint64_t token_ = 0;
    std::optional<uint32_t> lastFlags_;
};

// Text of flags for logs: "WR ctiCDld" with "-" for clear bits.
std::string reachabilityFlagsDescription(uint32_t flags);
