#include "plugin/iOS/RAZ5Orered/NetworkInfo.h"

#include <arpa/inet.h>
#include <algorithm>
#include <netdb.h>

#include "platform/device/NetworkFacts.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Strings.h"

// KXReachability

std::shared_ptr<KXReachability> KXReachability::reachabilityWithHostName(const std::string& hostName) {
    auto r = NetworkReachability::createWithName(hostName);
    return r ? std::make_shared<KXReachability>(std::move(r)) : nullptr;
}

std::shared_ptr<KXReachability> KXReachability::reachabilityWithAddress(in_addr address) {
    auto r = NetworkReachability::createWithAddress(address);
    return r ? std::make_shared<KXReachability>(std::move(r)) : nullptr;
}

std::shared_ptr<KXReachability> KXReachability::reachabilityForInternetConnection() {
    in_addr zero{};
    zero.s_addr = INADDR_ANY;
    return reachabilityWithAddress(zero);
}

KXReachability::~KXReachability() { stopNotifier(); }

bool KXReachability::startNotifier() {
    // The watcher is not kept alive by its own callback.
    std::weak_ptr<KXReachability> weak = weak_from_this();
    const void* object = this;
    bool ok = reachability_->setCallback([weak, object](uint32_t) {
        if (auto self = weak.lock())
            NSNotificationCenter::defaultCenter().postNotificationName(kNetworkReachabilityChangedNotification, object);
    });
    return ok && reachability_->setDispatchQueue(DispatchQueue::main());
}

void KXReachability::stopNotifier() {
    reachability_->setDispatchQueue(nullptr);
    reachability_->setCallback(nullptr);
}

KXReachability::NetworkStatus KXReachability::networkStatusForFlags(uint32_t flags) {
    if (!(flags & kReachabilityFlagsReachable)) return NotReachable;
    if (flags & kReachabilityFlagsIsWWAN) return ReachableViaWWAN;
    bool onDemandOrTraffic = flags & (kReachabilityFlagsConnectionOnDemand | kReachabilityFlagsConnectionOnTraffic);
    if (onDemandOrTraffic && !(flags & kReachabilityFlagsInterventionRequired)) return ReachableViaWiFi;
    return (flags & kReachabilityFlagsConnectionRequired) ? NotReachable : ReachableViaWiFi;
}

KXReachability::NetworkStatus KXReachability::currentReachabilityStatus() const {
    auto flags = reachability_->getFlags();
    return flags ? networkStatusForFlags(*flags) : NotReachable;
}

bool KXReachability::connectionRequired() const {
    auto flags = reachability_->getFlags();
    return flags && (*flags & kReachabilityFlagsConnectionRequired);
}

// NetworkInfo

namespace {

// Bridges and links of virtual machines and containers: their addresses are
// not the device's address on the network.
bool isVirtualInterface(const std::string& name) {
    for (auto prefix : {"docker", "veth", "virbr", "br-", "lxcbr", "lxdbr", "vmnet", "vboxnet", "cni", "flannel"})
        if (strings::hasPrefix(name, prefix)) return true;
    return false;
}

bool isLinkLocal(const std::string& address) { return strings::hasPrefix(strings::toUpper(address), "FE80"); }

std::optional<std::vector<std::string>> lookup(const std::optional<std::string>& name, int family) {
    if (!name || name->empty()) return std::nullopt;
    std::vector<std::string> out;
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(name->c_str(), nullptr, &hints, &result) != 0) return out;
    for (addrinfo* a = result; a; a = a->ai_next) {
        std::optional<std::string> text;
        if (a->ai_family == AF_INET) text = NetworkInfo::FormatIPV4Address(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr);
        else if (a->ai_family == AF_INET6)
            text = NetworkInfo::FormatIPV6Address(reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr);
        if (text && std::find(out.begin(), out.end(), *text) == out.end()) out.push_back(*text);
    }
    freeaddrinfo(result);
    return out;
}

NetworkInfo* gInstance = nullptr;

}  // namespace

NetworkInfo::NetworkInfo() {}

NetworkInfo& NetworkInfo::instance() {
    if (!gInstance) gInstance = new NetworkInfo();
    return *gInstance;
}

NetworkInfo& NetworkInfo::GetNetworkInfo() {
    auto& info = instance();
    info.update();
    return info;
}

void NetworkInfo::resetForTesting() {
    if (!gInstance) return;
    gInstance->conn_.reset();
    gInstance->wifi_.reset();
    *gInstance = NetworkInfo();
}

void NetworkInfo::update() {
    if (!conn_ && !wifi_) {
        conn_ = KXReachability::reachabilityForInternetConnection();
        wifi_ = KXReachability::reachabilityWithHostName(kProbeHost);
        if (conn_) conn_->startNotifier();
        if (wifi_) wifi_->startNotifier();
    }
    auto probe = wifi_ ? wifi_->currentReachabilityStatus() : KXReachability::NotReachable;
    auto internet = conn_ ? conn_->currentReachabilityStatus() : KXReachability::NotReachable;
    if (probe == KXReachability::ReachableViaWiFi) {
        wifiState = 3, networkType = 1, available = true;
    } else if (probe == KXReachability::ReachableViaWWAN) {
        wifiState = 1, networkType = 0, available = true;
    } else if (internet != KXReachability::NotReachable) {
        wifiState = 1, networkType = 0, available = true;
    } else {
        wifiState = 1, networkType = 2, available = false;
    }
    deviceIp = GetDeviceIPAddress();
    auto dns = GetDNSServerAddress();
    if (!dns.empty()) dnsIp = dns.front();
}

std::string NetworkInfo::GetDeviceIPAddress() {
    bool ok = false;
    auto addresses = device::NetworkFactsSource::current()->interfaceAddresses(&ok);
    if (!ok) return "127.0.0.1";
    std::string candidate;
    for (auto& a : addresses) {
        if (!a.up || a.loopback || isVirtualInterface(a.interface) || a.address.empty()) continue;
        if (!a.ipv6) {
            candidate = a.address;
            continue;
        }
        // A link-local IPv6 address is never the device's address, and
        // must not push out an IPv4 address found before it.
        if (isLinkLocal(a.address)) continue;
        return a.address;
    }
    return candidate.empty() ? "127.0.0.1" : candidate;
}

std::vector<std::string> NetworkInfo::GetDNSServerAddress() { return device::NetworkFactsSource::current()->dnsServers(); }

std::optional<std::string> NetworkInfo::FormatIPV4Address(in_addr address) {
    char text[INET_ADDRSTRLEN] = {0};
    if (!inet_ntop(AF_INET, &address, text, sizeof text)) return std::nullopt;
    return std::string(text);
}

std::optional<std::string> NetworkInfo::FormatIPV6Address(in6_addr address) {
    char text[INET6_ADDRSTRLEN] = {0};
    if (!inet_ntop(AF_INET6, &address, text, sizeof text)) return std::nullopt;
    return std::string(text);
}

std::optional<std::vector<std::string>> NetworkInfo::GetIPV4DNSWithHostName(const std::optional<std::string>& name) {
    return lookup(name, AF_INET);
}

std::optional<std::vector<std::string>> NetworkInfo::GetIPV6DNSWithHostName(const std::optional<std::string>& name) {
    return lookup(name, AF_INET6);
}

std::optional<std::vector<std::string>> NetworkInfo::GetDNSWithDomain(const std::optional<std::string>& name) {
    auto v4 = GetIPV4DNSWithHostName(name);
    auto v6 = GetIPV6DNSWithHostName(name);
    if (v6 && !v6->empty()) return v6;
    return v4;
}

Value NetworkInfo::toValue() const {
    Value v = Value::dict({{"wifiState", wifiState},
                           {"networkType", networkType},
                           {"rssiLevel", rssiLevel},
                           {"available", available},
                           {"deviceIp", deviceIp}});
    if (!dnsIp.empty()) v.set("dnsIp", dnsIp);
    return v;
}
