#include "platform/net/NetworkReachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <thread>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace {

// ---- The system's network state ----

struct Interface {
    std::string name;
    unsigned flags = 0;
    std::vector<std::pair<in_addr, in_addr>> ipv4;  // address, netmask
    bool hasGlobalIPv6 = false;
};

bool isUp(const Interface& i) { return (i.flags & IFF_UP) && (i.flags & IFF_RUNNING) && !(i.flags & IFF_LOOPBACK); }

bool isCellular(const std::string& name) {
    for (auto p : {"wwan", "wwp", "ppp", "rmnet", "ccmni"})
        if (strings::hasPrefix(name, p)) return true;
    std::istringstream uevent(files::readText("/sys/class/net/" + name + "/uevent").value_or(""));
    std::string line;
    while (std::getline(uevent, line))
        if (line == "DEVTYPE=wwan") return true;
    return false;
}

std::vector<Interface> interfaces() {
    std::vector<Interface> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_name) continue;
        auto it = std::find_if(out.begin(), out.end(), [&](auto& i) { return i.name == a->ifa_name; });
        if (it == out.end()) {
            out.push_back({a->ifa_name, a->ifa_flags, {}, false});
            it = out.end() - 1;
        }
        if (!a->ifa_addr) continue;
        if (a->ifa_addr->sa_family == AF_INET) {
            in_addr mask{};
            if (a->ifa_netmask) mask = reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr;
            it->ipv4.emplace_back(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, mask);
        } else if (a->ifa_addr->sa_family == AF_INET6) {
            auto& v6 = reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr;
            if (!IN6_IS_ADDR_LINKLOCAL(&v6) && !IN6_IS_ADDR_LOOPBACK(&v6)) it->hasGlobalIPv6 = true;
        }
    }
    freeifaddrs(list);
    return out;
}

// Interfaces that carry a default route (IPv4 first, then IPv6).
std::vector<std::string> defaultRouteInterfaces() {
    std::vector<std::string> out;
    std::istringstream v4(files::readText("/proc/net/route").value_or(""));
    std::string line;
    std::getline(v4, line);  // header
    while (std::getline(v4, line)) {
        std::istringstream s(line);
        std::string name, dest, gateway;
        unsigned flags = 0;
        s >> name >> dest >> gateway >> std::hex >> flags;
        if (dest == "00000000" && (flags & 0x1)) out.push_back(name);
    }
    std::istringstream v6(files::readText("/proc/net/ipv6_route").value_or(""));
    while (std::getline(v6, line)) {
        std::istringstream s(line);
        std::string dest, prefix, src, srcPrefix, next, metric, ref, use, flags, name;
        s >> dest >> prefix >> src >> srcPrefix >> next >> metric >> ref >> use >> flags >> name;
        if (dest == std::string(32, '0') && prefix == "00" && name != "lo") out.push_back(name);
    }
    return out;
}

uint32_t systemFlags(const ReachabilityTarget& target) {
    auto ifs = interfaces();
    auto find = [&](const std::string& name) -> const Interface* {
        for (auto& i : ifs)
            if (i.name == name) return &i;
        return nullptr;
    };
    auto internet = [&]() -> uint32_t {
        for (auto& name : defaultRouteInterfaces()) {
            auto i = find(name);
            if (i && isUp(*i) && (!i->ipv4.empty() || i->hasGlobalIPv6))
                return kReachabilityFlagsReachable | (isCellular(name) ? uint32_t(kReachabilityFlagsIsWWAN) : 0u);
        }
        return 0;
    };
    if (!target.address) {
        if (target.hostName == "localhost")
            return kReachabilityFlagsReachable | kReachabilityFlagsIsLocalAddress | kReachabilityFlagsIsDirect;
        return internet();
    }
    uint32_t a = ntohl(target.address->s_addr);
    if (a == 0) return internet();
    if ((a >> 24) == 127) return kReachabilityFlagsReachable | kReachabilityFlagsIsLocalAddress | kReachabilityFlagsIsDirect;
    bool linkLocal = (a >> 16) == 0xA9FE;
    for (auto& i : ifs) {
        if (!isUp(i)) continue;
        for (auto& [addr, mask] : i.ipv4) {
            uint32_t own = ntohl(addr.s_addr), m = ntohl(mask.s_addr);
            uint32_t wwan = isCellular(i.name) ? uint32_t(kReachabilityFlagsIsWWAN) : 0u;
            if (own == a) return kReachabilityFlagsReachable | kReachabilityFlagsIsLocalAddress | kReachabilityFlagsIsDirect;
            if (linkLocal || (m && (own & m) == (a & m))) return kReachabilityFlagsReachable | kReachabilityFlagsIsDirect | wwan;
        }
    }
    return internet();
}

class SystemReachabilitySource : public ReachabilitySource {
public:
    std::optional<uint32_t> flagsFor(const ReachabilityTarget& target) override { return systemFlags(target); }

    uint64_t subscribe(std::function<void()> onChange) override {
        std::lock_guard lock(mutex_);
        if (!started_) {
            started_ = true;
            // Lives as long as the process: the source is never destroyed.
            std::thread([this] { watch(); }).detach();
        }
        subscribers_.emplace_back(next_, std::make_shared<std::function<void()>>(std::move(onChange)));
        return next_++;
    }

    void unsubscribe(uint64_t token) override {
        std::lock_guard lock(mutex_);
        std::erase_if(subscribers_, [&](auto& s) { return s.first == token; });
    }

private:
    void notify() {
        std::vector<std::shared_ptr<std::function<void()>>> copy;
        {
            std::lock_guard lock(mutex_);
            for (auto& s : subscribers_) copy.push_back(s.second);
        }
        for (auto& f : copy) (*f)();
    }

    void watch() {
        int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        sockaddr_nl addr{};
        addr.nl_family = AF_NETLINK;
        addr.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
        if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(fd);
            fd = -1;
        }
        if (fd < 0) NSLog("Reachability: netlink is not available; checking the interfaces every 5 seconds");
        char buf[16384];
        for (;;) {
            if (fd < 0) {
                poll(nullptr, 0, 5000);
                notify();
                continue;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, -1) <= 0) continue;
            // Drain the burst a change usually comes as, then tell once.
            while (recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
            }
            notify();
        }
    }

    std::mutex mutex_;
    bool started_ = false;
    std::vector<std::pair<uint64_t, std::shared_ptr<std::function<void()>>>> subscribers_;
    uint64_t next_ = 1;
};

std::mutex gSourceMutex;
std::shared_ptr<ReachabilitySource> gInstalled;

std::shared_ptr<ReachabilitySource> systemSource() {
    static auto* source = new std::shared_ptr<ReachabilitySource>(std::make_shared<SystemReachabilitySource>());
    return *source;
}

}  // namespace

std::shared_ptr<ReachabilitySource> ReachabilitySource::current() {
    std::lock_guard lock(gSourceMutex);
    return gInstalled ? gInstalled : systemSource();
}

void ReachabilitySource::install(std::shared_ptr<ReachabilitySource> source) {
    std::lock_guard lock(gSourceMutex);
    gInstalled = std::move(source);
}

// ---- Test source ----

std::optional<uint32_t> TestReachabilitySource::flagsFor(const ReachabilityTarget&) {
    std::lock_guard lock(mutex_);
    return flags_;
}

uint64_t TestReachabilitySource::subscribe(std::function<void()> onChange) {
    std::lock_guard lock(mutex_);
    subscribers_.emplace_back(next_, std::make_shared<std::function<void()>>(std::move(onChange)));
    return next_++;
}

void TestReachabilitySource::unsubscribe(uint64_t token) {
    std::lock_guard lock(mutex_);
    std::erase_if(subscribers_, [&](auto& s) { return s.first == token; });
}

void TestReachabilitySource::setFlags(uint32_t flags) {
    std::vector<std::shared_ptr<std::function<void()>>> copy;
    {
        std::lock_guard lock(mutex_);
        flags_ = flags;
        for (auto& s : subscribers_) copy.push_back(s.second);
    }
    for (auto& f : copy) (*f)();
}

void TestReachabilitySource::setUnreadable() {
    std::lock_guard lock(mutex_);
    flags_.reset();
}

size_t TestReachabilitySource::subscriberCount() const {
    std::lock_guard lock(mutex_);
    return subscribers_.size();
}

std::shared_ptr<TestReachabilitySource> TestReachabilitySource::install() {
    auto s = std::make_shared<TestReachabilitySource>();
    ReachabilitySource::install(s);
    return s;
}

// ---- Targets ----

std::shared_ptr<NetworkReachability> NetworkReachability::createWithName(const std::string& hostName) {
    if (hostName.empty()) return nullptr;
    ReachabilityTarget t;
    t.hostName = hostName;
    return std::make_shared<NetworkReachability>(std::move(t));
}

std::shared_ptr<NetworkReachability> NetworkReachability::createWithAddress(in_addr address, uint16_t port) {
    ReachabilityTarget t;
    t.address = address;
    t.port = port;
    return std::make_shared<NetworkReachability>(std::move(t));
}

std::optional<uint32_t> NetworkReachability::getFlags() const { return ReachabilitySource::current()->flagsFor(target_); }

bool NetworkReachability::setCallback(Callback callback) {
    {
        std::lock_guard lock(mutex_);
        callback_ = std::move(callback);
    }
    rewire();
    return true;
}

bool NetworkReachability::setDispatchQueue(std::shared_ptr<DispatchQueue> queue) {
    {
        std::lock_guard lock(mutex_);
        queue_ = std::move(queue);
    }
    rewire();
    return true;
}

void NetworkReachability::rewire() {
    std::shared_ptr<ReachabilitySource> oldSource;
    uint64_t oldToken = 0;
    bool wanted;
    {
        std::lock_guard lock(mutex_);
        wanted = callback_ && queue_;
        if (wanted == (token_ != 0)) return;
        if (!wanted) {
            oldSource = std::move(source_);
            oldToken = token_;
            token_ = 0;
        }
    }
    if (oldSource) {
        oldSource->unsubscribe(oldToken);
        return;
    }
    auto source = ReachabilitySource::current();
    auto baseline = source->flagsFor(target_);
    std::weak_ptr<NetworkReachability> weak = weak_from_this();
    uint64_t token = source->subscribe([weak] {
        if (auto self = weak.lock()) self->changed();
    });
    std::lock_guard lock(mutex_);
    source_ = std::move(source);
    token_ = token;
    lastFlags_ = baseline;
}

void NetworkReachability::changed() {
    std::shared_ptr<DispatchQueue> queue;
    {
        std::lock_guard lock(mutex_);
        queue = queue_;
    }
    if (!queue) return;
    // Read now, so that a quick succession of changes is reported in order.
    auto flags = getFlags();
    std::weak_ptr<NetworkReachability> weak = weak_from_this();
    queue->async([weak, flags] {
        auto self = weak.lock();
        if (!self) return;
        Callback cb;
        {
            std::lock_guard lock(self->mutex_);
            if (!self->token_ || flags == self->lastFlags_) return;
            self->lastFlags_ = flags;
            cb = self->callback_;
        }
        if (cb) cb(flags.value_or(0));
    });
}

NetworkReachability::~NetworkReachability() {
    if (source_ && token_) source_->unsubscribe(token_);
}

std::string reachabilityFlagsDescription(uint32_t f) {
    auto c = [&](uint32_t bit, char ch) { return (f & bit) ? ch : '-'; };
    std::string s;
    s += c(kReachabilityFlagsIsWWAN, 'W');
    s += c(kReachabilityFlagsReachable, 'R');
    s += ' ';
    s += c(kReachabilityFlagsConnectionRequired, 'c');
    s += c(kReachabilityFlagsTransientConnection, 't');
    s += c(kReachabilityFlagsInterventionRequired, 'i');
    s += c(kReachabilityFlagsConnectionOnTraffic, 'C');
    s += c(kReachabilityFlagsConnectionOnDemand, 'D');
    s += c(kReachabilityFlagsIsLocalAddress, 'l');
    s += c(kReachabilityFlagsIsDirect, 'd');
    return s;
}
