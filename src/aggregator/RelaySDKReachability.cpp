#include "aggregator/RelaySDKReachability.h"

#include <arpa/inet.h>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Strings.h"

std::shared_ptr<RelaySDKReachability> RelaySDKReachability::reachabilityWithHostname(const std::string& host) {
    auto ref = NetworkReachability::createWithName(host);
    return ref ? std::make_shared<RelaySDKReachability>(std::move(ref)) : nullptr;
}

std::shared_ptr<RelaySDKReachability> RelaySDKReachability::reachabilityWithAddress(in_addr address, uint16_t port) {
    return std::make_shared<RelaySDKReachability>(NetworkReachability::createWithAddress(address, port));
}

std::shared_ptr<RelaySDKReachability> RelaySDKReachability::reachabilityForInternetConnection() {
    in_addr zero{};
    return reachabilityWithAddress(zero);
}

std::shared_ptr<RelaySDKReachability> RelaySDKReachability::reachabilityForLocalWiFi() {
    in_addr a{};
    a.s_addr = htonl(0xA9FE0000);  // 169.254.0.0
    return reachabilityWithAddress(a);
}

bool RelaySDKReachability::isIpAddress(const std::string& text) {
    in_addr a{};
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

std::shared_ptr<RelaySDKReachability> RelaySDKReachability::reachabilityWithURL(const std::string& url) {
    auto u = NSURL::URLWithString(url);
    if (!u) return nullptr;
    if (isIpAddress(u->host())) {
        in_addr a{};
        inet_pton(AF_INET, u->host().c_str(), &a);
        int port = u->port().value_or(strings::toLower(u->scheme()) == "https" ? 443 : 80);
        return reachabilityWithAddress(a, uint16_t(port));
    }
    return reachabilityWithHostname(u->host());
}

RelaySDKReachability::RelaySDKReachability(std::shared_ptr<NetworkReachability> ref)
    : ref_(std::move(ref)), queue_(DispatchQueue::serial("com.varmelund.reachability")) {}

RelaySDKReachability::~RelaySDKReachability() {
    ref_->setCallback(nullptr);
    ref_->setDispatchQueue(nullptr);
}

void RelaySDKReachability::setReachableBlock(Block b) {
    std::lock_guard lock(mutex_);
    reachableBlock_ = std::move(b);
}
void RelaySDKReachability::setUnreachableBlock(Block b) {
    std::lock_guard lock(mutex_);
    unreachableBlock_ = std::move(b);
}
void RelaySDKReachability::setReachabilityBlock(FlagsBlock b) {
    std::lock_guard lock(mutex_);
    reachabilityBlock_ = std::move(b);
}

bool RelaySDKReachability::isNotifierRunning() const {
    std::lock_guard lock(mutex_);
    return reachabilityObject_ != nullptr;
}

bool RelaySDKReachability::startNotifier() {
    {
        std::lock_guard lock(mutex_);
        if (reachabilityObject_) return true;
    }
    // The platform target holds no strong reference to us: the callback
    // reaches us through a weak one, and reachabilityObject_ keeps us alive.
    std::weak_ptr<RelaySDKReachability> weak = weak_from_this();
    if (weak.expired()) return false;  // not owned by a shared_ptr: nothing could keep it alive
    if (ref_->setCallback([weak](uint32_t flags) {
            if (auto self = weak.lock()) self->reachabilityChanged(flags);
        })) {
        if (ref_->setDispatchQueue(queue_)) {
            std::lock_guard lock(mutex_);
            reachabilityObject_ = shared_from_this();
            return true;
        }
        ref_->setCallback(nullptr);
    }
    std::lock_guard lock(mutex_);
    reachabilityObject_.reset();
    return false;
}

void RelaySDKReachability::stopNotifier() {
    ref_->setCallback(nullptr);
    ref_->setDispatchQueue(nullptr);
    std::shared_ptr<RelaySDKReachability> hold;  // released outside the lock
    std::lock_guard lock(mutex_);
    hold = std::move(reachabilityObject_);
}

void RelaySDKReachability::reachabilityChanged(uint32_t flags) {
    Block reachable, unreachable;
    FlagsBlock every;
    {
        std::lock_guard lock(mutex_);
        reachable = reachableBlock_;
        unreachable = unreachableBlock_;
        every = reachabilityBlock_;
    }
    if (isReachableWithFlags(flags)) {
        if (reachable) reachable(*this);
    } else if (unreachable) {
        unreachable(*this);
    }
    if (every) every(*this, flags);
    // The sender stays alive until the observers have seen it.
    auto self = shared_from_this();
    DispatchQueue::main()->async([self] {
        NSNotificationCenter::defaultCenter().postNotificationName(kRelaySDKReachabilityChangedNotification, self.get());
    });
}

bool RelaySDKReachability::isReachableWithFlags(uint32_t flags) const {
    if (!(flags & kReachabilityFlagsReachable)) return false;
    auto both = kReachabilityFlagsConnectionRequired | kReachabilityFlagsTransientConnection;
    if ((flags & both) == both) return false;
    if ((flags & kReachabilityFlagsIsWWAN) && !reachableOnWWAN_) return false;
    return true;
}

bool RelaySDKReachability::isReachable() const {
    auto flags = ref_->getFlags();
    return flags && isReachableWithFlags(*flags);
}

bool RelaySDKReachability::isReachableViaWWAN() const {
    auto flags = ref_->getFlags();
    auto both = kReachabilityFlagsReachable | kReachabilityFlagsIsWWAN;
    return flags && (*flags & both) == both;
}

bool RelaySDKReachability::isReachableViaWiFi() const {
    auto flags = ref_->getFlags();
    return flags && (*flags & kReachabilityFlagsReachable) && !(*flags & kReachabilityFlagsIsWWAN);
}

bool RelaySDKReachability::connectionRequired() const {
    auto flags = ref_->getFlags();
    return flags && (*flags & kReachabilityFlagsConnectionRequired);
}

bool RelaySDKReachability::isConnectionOnDemand() const {
    uint32_t f = reachabilityFlags();
    return (f & kReachabilityFlagsConnectionRequired) &&
           (f & (kReachabilityFlagsConnectionOnTraffic | kReachabilityFlagsConnectionOnDemand));
}

bool RelaySDKReachability::isInterventionRequired() const {
    uint32_t f = reachabilityFlags();
    return (f & kReachabilityFlagsConnectionRequired) && (f & kReachabilityFlagsInterventionRequired);
}

RelaySDKReachability::Status RelaySDKReachability::currentReachabilityStatus() const {
    if (!isReachable()) return NotReachable;
    if (isReachableViaWiFi()) return ReachableViaWiFi;
    return ReachableViaWWAN;
}

uint32_t RelaySDKReachability::reachabilityFlags() const { return ref_->getFlags().value_or(0); }

std::string RelaySDKReachability::currentReachabilityString() const {
    switch (currentReachabilityStatus()) {
    case ReachableViaWiFi: return "WiFi";
    case ReachableViaWWAN: return "Cellular";
    default: return "No Connection";
    }
}

std::string RelaySDKReachability::currentReachabilityFlags() const {
    return reachabilityFlagsDescription(reachabilityFlags());
}

std::string RelaySDKReachability::description() const {
    return strings::format("<RelaySDKReachability: %p (%s)>", static_cast<const void*>(this),
                           currentReachabilityFlags().c_str());
}
