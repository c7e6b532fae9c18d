#include "aggregator/RMNetWorkUtil.h"

#include <mutex>

#include "aggregator/RelayServerSettings.h"
#include "aggregator/RelaySDKReachability.h"
#include "platform/foundation/PlatformLog.h"

namespace {
std::mutex gHookMutex;
std::function<void()> gInitHook;
}  // namespace

void RMNetWorkUtil::load() { sharedInstance().startNetworkNotifier(); }

RMNetWorkUtil& RMNetWorkUtil::sharedInstance() {
    static RMNetWorkUtil* instance = new RMNetWorkUtil(RelayServerSettings::fromMainBundle().reachabilityHost);
    return *instance;
}

void RMNetWorkUtil::setInitHook(std::function<void()> hook) {
    std::lock_guard lock(gHookMutex);
    gInitHook = std::move(hook);
}

RMNetWorkUtil::RMNetWorkUtil(const std::string& vendorHost) {
    wanReach_ = RelaySDKReachability::reachabilityForInternetConnection();
    NSNotificationCenter::defaultCenter().addObserver(
        this, kRelaySDKReachabilityChangedNotification, nullptr,
        [this](const NSNotification& n) { networkStateChange(n); });
    if (!vendorHost.empty()) hostReachability_ = RelaySDKReachability::reachabilityWithHostName(vendorHost);
}

RMNetWorkUtil::~RMNetWorkUtil() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
    if (wanReach_) wanReach_->stopNotifier();
    if (hostReachability_) hostReachability_->stopNotifier();
}

void RMNetWorkUtil::startNetworkNotifier() {
    if (hostReachability_) hostReachability_->startNotifier();
    getNetworkType();
}

std::string RMNetWorkUtil::getNetworkType() {
    int status = networkType();
    if (status == 1 || status == 2) {
        hasNetwork_ = true;
        NSLog("RLLog:nethaswork");
        callInitHook();
        return "";
    }
    NSLog("RLLog:nethasnotwork");
    hasNetwork_ = false;
    wanReach_->startNotifier();
    return "当前无网络连接";
}

void RMNetWorkUtil::networkStateChange(const NSNotification& notification) {
    if (hasNetwork_) return;
    // Only our own objects are known to be alive here.
    RelaySDKReachability* sender = nullptr;
    if (notification.object == wanReach_.get()) sender = wanReach_.get();
    else if (hostReachability_ && notification.object == hostReachability_.get()) sender = hostReachability_.get();
    if (!sender || sender->currentReachabilityStatus() == RelaySDKReachability::NotReachable) return;
    hasNetwork_ = true;
    wanReach_->stopNotifier();
    NSLog("RLLog:nethasworkformnotify");
    callInitHook();
}

int RMNetWorkUtil::networkType() const { return wanReach_ ? int(wanReach_->currentReachabilityStatus()) : 0; }

bool RMNetWorkUtil::isHostReachable() const {
    return hostReachability_ && hostReachability_->currentReachabilityStatus() != RelaySDKReachability::NotReachable;
}

void RMNetWorkUtil::callInitHook() {
    std::function<void()> hook;
    {
        std::lock_guard lock(gHookMutex);
        hook = gInitHook;
    }
    if (hook) hook();
}
