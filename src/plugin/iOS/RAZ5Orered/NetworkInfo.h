#pragma once
// Facts about the network for the page: whether it is usable and how
// (Wi-Fi or another link, cellular, none), the device's address and the
// first DNS server. Two reachability watchers (the internet in general and
// a public probe host) give the state; the addresses come from the
// replaceable network facts source (platform/device/NetworkFacts.h).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/net/NetworkReachability.h"

inline constexpr const char* kNetworkReachabilityChangedNotification = "kNetworkReachabilityChangedNotification";

class KXReachability : public std::enable_shared_from_this<KXReachability> {
public:
    enum NetworkStatus { NotReachable = 0, ReachableViaWiFi = 1, ReachableViaWWAN = 2 };

    // nullptr when the platform gives no watcher.
    static std::shared_ptr<KXReachability> reachabilityWithHostName(const std::string& hostName);
    static std::shared_ptr<KXReachability> reachabilityWithAddress(in_addr address);
    // The IPv4 zero address: the internet in general.
    static std::shared_ptr<KXReachability> reachabilityForInternetConnection();

    explicit KXReachability(std::shared_ptr<NetworkReachability> reachability)
        : reachability_(std::move(reachability)) {}
    ~KXReachability();

    // Posts kNetworkReachabilityChangedNotification (object: this watcher)
    // on the main queue whenever the flags change.
    bool startNotifier();
    void stopNotifier();

    NetworkStatus currentReachabilityStatus() const;
    bool connectionRequired() const;
    static NetworkStatus networkStatusForFlags(uint32_t flags);

private:
    std::shared_ptr<NetworkReachability> reachability_;
};

class NetworkInfo {
public:
    // The probe host the second watcher asks for.
    static constexpr const char* kProbeHost = "www.baidu.com";

    static NetworkInfo& instance();
    // Updates the instance from the watchers and the facts source.
    static NetworkInfo& GetNetworkInfo();

    int wifiState = 0;    // 1 not on Wi-Fi, 3 on Wi-Fi; 0 before the first query
    int networkType = 0;  // 0 mobile or other, 1 Wi-Fi, 2 none
    bool available = false;
    int rssiLevel = -1;  // never measured
    std::string deviceIp;
    std::string dnsIp;

    // The device's address: the first routable IPv6 address, else the last
    // IPv4 address, of the up, non-loopback interfaces; "127.0.0.1" when
    // there is none. Link-local IPv6 addresses are never chosen.
    static std::string GetDeviceIPAddress();
    static std::vector<std::string> GetDNSServerAddress();
    static std::optional<std::string> FormatIPV4Address(in_addr address);
    static std::optional<std::string> FormatIPV6Address(in6_addr address);

    // Blocking name lookups (nothing in the page's operations uses them).
    static std::optional<std::vector<std::string>> GetIPV4DNSWithHostName(const std::optional<std::string>& name);
    static std::optional<std::vector<std::string>> GetIPV6DNSWithHostName(const std::optional<std::string>& name);
    static std::optional<std::vector<std::string>> GetDNSWithDomain(const std::optional<std::string>& name);

    // The page's answer: {"wifiState", "networkType", "rssiLevel",
    // "available", "deviceIp", and "dnsIp" once known}.
    Value toValue() const;

    // Drops the watchers so that the next query makes new ones (tests
    // switching reachability sources).
    static void resetForTesting();

private:
    NetworkInfo();
    void update();
    std::shared_ptr<KXReachability> conn_;
    std::shared_ptr<KXReachability> wifi_;
};
