#pragma once
// The network gate: the aggregator SDK starts its init requests only once
// the device has a network. The gate makes its first check at start-up
// (RMNetWorkUtil::load(), called at the top of main) and, when there was no
// network then, watches reachability until the first reachable status. Either
// way it calls the init hook once per process, on the main thread.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSNotificationCenter.h"

class RelaySDKReachability;

class RMNetWorkUtil {
public:
    // The start-up hook: the shared gate's first check.
    static void load();
    static RMNetWorkUtil& sharedInstance();

    // What the gate calls when it first sees a network (the lifecycle
    // controller's start of the init sequence). Process-wide.
    static void setInitHook(std::function<void()> hook);

    // `vendorHost` is the host probed by hostReachability ("" for none).
    explicit RMNetWorkUtil(const std::string& vendorHost);
    RMNetWorkUtil(const RMNetWorkUtil&) = delete;
    RMNetWorkUtil& operator=(const RMNetWorkUtil&) = delete;
    ~RMNetWorkUtil();

    void startNetworkNotifier();
    // The first check: "" with a network, "当前无网络连接" without.
    std::string getNetworkType();
    void networkStateChange(const NSNotification& notification);

    bool networkAvialable() const { return hasNetwork_; }
    // wanReach's status: 0 none, 1 cellular, 2 WiFi.
    int networkType() const;
    bool isHostReachable() const;

    RelaySDKReachability* wanReach() const { return wanReach_.get(); }
    RelaySDKReachability* hostReachability() const { return hostReachability_.get(); }

private:
    void callInitHook();

    bool hasNetwork_ = false;
    std::shared_ptr<RelaySDKReachability> wanReach_;
    std::shared_ptr<RelaySDKReachability> hostReachability_;
};
