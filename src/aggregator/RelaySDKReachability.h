#pragma once
// One reachability target (a host name or an address) with a three-valued
// status, and, while its notifier runs, a report of every change to three
// optional blocks (on its serial queue "com.varmelund.reachability") and by
// the notification "RelaySDKkReachabilityChangedNotification" (on the main
// queue, with the object as sender).

#include <netinet/in.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/net/NetworkReachability.h"

class DispatchQueue;

inline constexpr const char* kRelaySDKReachabilityChangedNotification = "RelaySDKkReachabilityChangedNotification";

class RelaySDKReachability : public std::enable_shared_from_this<RelaySDKReachability> {
public:
    enum Status { NotReachable = 0, ReachableViaWWAN = 1, ReachableViaWiFi = 2 };
    using Block = std::function<void(RelaySDKReachability&)>;
    using FlagsBlock = std::function<void(RelaySDKReachability&, uint32_t flags)>;

    // nullptr when the target cannot be made.
    static std::shared_ptr<RelaySDKReachability> reachabilityWithHostname(const std::string& host);
    static std::shared_ptr<RelaySDKReachability> reachabilityWithHostName(const std::string& host) {
        return reachabilityWithHostname(host);
    }
    static std::shared_ptr<RelaySDKReachability> reachabilityWithAddress(in_addr address, uint16_t port = 0);
    // 0.0.0.0: any route to the internet.
    static std::shared_ptr<RelaySDKReachability> reachabilityForInternetConnection();
    // The link-local network 169.254.0.0.
    static std::shared_ptr<RelaySDKReachability> reachabilityForLocalWiFi();
    // A numeric IPv4 host: that address and the URL's port (443 for https,
    // else 80, when none); any other host: by name.
    static std::shared_ptr<RelaySDKReachability> reachabilityWithURL(const std::string& url);
    static bool isIpAddress(const std::string& text);

    explicit RelaySDKReachability(std::shared_ptr<NetworkReachability> ref);
    ~RelaySDKReachability();

    void setReachableBlock(Block b);
    void setUnreachableBlock(Block b);
    void setReachabilityBlock(FlagsBlock b);
    bool reachableOnWWAN() const { return reachableOnWWAN_; }
    void setReachableOnWWAN(bool v) { reachableOnWWAN_ = v; }
    const NetworkReachability& reachabilityRef() const { return *ref_; }

    bool startNotifier();  // true when running (also when it already was)
    void stopNotifier();
    bool isNotifierRunning() const;

    bool isReachableWithFlags(uint32_t flags) const;
    bool isReachable() const;
    bool isReachableViaWWAN() const;
    bool isReachableViaWiFi() const;
    bool connectionRequired() const;
    bool isConnectionRequired() const { return connectionRequired(); }
    bool isConnectionOnDemand() const;
    bool isInterventionRequired() const;
    Status currentReachabilityStatus() const;
    uint32_t reachabilityFlags() const;
    std::string currentReachabilityString() const;  // "WiFi", "Cellular", "No Connection"
    std::string currentReachabilityFlags() const;   // "WR ctiCDld" style
    std::string description() const;

private:
    void reachabilityChanged(uint32_t flags);

    std::shared_ptr<NetworkReachability> ref_;
    std::shared_ptr<DispatchQueue> queue_;
    mutable std::mutex mutex_;
    Block reachableBlock_, unreachableBlock_;
    FlagsBlock reachabilityBlock_;
    std::atomic<bool> reachableOnWWAN_{true};
    // The object itself while the notifier runs: keeps it alive.
    std::shared_ptr<RelaySDKReachability> reachabilityObject_;
};
