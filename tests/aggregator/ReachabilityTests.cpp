#include <gtest/gtest.h>
#include <arpa/inet.h>

#include <atomic>

#include "aggregator/RelaySDKReachability.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/dispatch/DispatchQueue.h"
#include "support/TestSupport.h"

namespace {

std::string ipOf(const RelaySDKReachability& r) {
    auto& t = r.reachabilityRef().target();
    if (!t.address) return t.hostName;
    char buf[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &*t.address, buf, sizeof buf);
    return std::string(buf) + ":" + std::to_string(t.port);
}

TEST(RelaySDKReachability, StatusTextsAndFlags) {
    ScopedTestReachability net;
    auto r = RelaySDKReachability::reachabilityForInternetConnection();
    net->setWiFi();
    EXPECT_EQ(r->currentReachabilityStatus(), RelaySDKReachability::ReachableViaWiFi);
    EXPECT_EQ(r->currentReachabilityString(), "WiFi");
    EXPECT_EQ(r->currentReachabilityFlags().substr(0, 2), "-R");
    EXPECT_NE(r->description().find("(-R "), std::string::npos);

    net->setCellular();
    EXPECT_EQ(r->currentReachabilityStatus(), RelaySDKReachability::ReachableViaWWAN);
    EXPECT_EQ(r->currentReachabilityString(), "Cellular");
    r->setReachableOnWWAN(false);
    EXPECT_FALSE(r->isReachable());
    EXPECT_EQ(r->currentReachabilityStatus(), RelaySDKReachability::NotReachable);
    EXPECT_TRUE(r->isReachableViaWWAN());

    net->setOffline();
    EXPECT_EQ(r->currentReachabilityString(), "No Connection");
    net->setUnreadable();
    EXPECT_FALSE(r->isReachable());
    EXPECT_EQ(r->reachabilityFlags(), 0u);

    // Reachable but only over a transient connection that must first be made.
    net->setFlags(kReachabilityFlagsReachable | kReachabilityFlagsConnectionRequired |
                  kReachabilityFlagsTransientConnection);
    EXPECT_FALSE(r->isReachable());
    EXPECT_TRUE(r->connectionRequired());
    net->setFlags(kReachabilityFlagsConnectionRequired | kReachabilityFlagsConnectionOnDemand |
                  kReachabilityFlagsInterventionRequired);
    EXPECT_TRUE(r->isConnectionOnDemand());
    EXPECT_TRUE(r->isInterventionRequired());
}

TEST(RelaySDKReachability, TargetsFromURLs) {
    EXPECT_EQ(ipOf(*RelaySDKReachability::reachabilityWithURL("https://10.0.0.1/path")), "10.0.0.1:443");
    EXPECT_EQ(ipOf(*RelaySDKReachability::reachabilityWithURL("https://10.0.0.1:8080/")), "10.0.0.1:8080");
    EXPECT_EQ(ipOf(*RelaySDKReachability::reachabilityWithURL("http://10.0.0.1")), "10.0.0.1:80");
    EXPECT_EQ(ipOf(*RelaySDKReachability::reachabilityWithURL("https://api.example.com/x")), "api.example.com");
    EXPECT_EQ(ipOf(*RelaySDKReachability::reachabilityForLocalWiFi()), "169.254.0.0:0");
    EXPECT_TRUE(RelaySDKReachability::isIpAddress("192.168.1.20"));
    EXPECT_FALSE(RelaySDKReachability::isIpAddress("192.168.1"));
    EXPECT_FALSE(RelaySDKReachability::isIpAddress("host.example"));
}

TEST(RelaySDKReachability, NotifierReportsChangesToBlocksAndObservers) {
    ScopedTestReachability net;
    auto r = RelaySDKReachability::reachabilityForInternetConnection();
    std::atomic<int> reachable{0}, unreachable{0}, every{0};
    r->setReachableBlock([&](RelaySDKReachability&) { ++reachable; });
    r->setUnreachableBlock([&](RelaySDKReachability&) { ++unreachable; });
    r->setReachabilityBlock([&](RelaySDKReachability&, uint32_t) { ++every; });
    int posted = 0;
    bool postedOnMain = true;
    auto token = NSNotificationCenter::defaultCenter().addObserver(
        nullptr, kRelaySDKReachabilityChangedNotification, r.get(), [&](const NSNotification&) {
            ++posted;
            postedOnMain = postedOnMain && isMainThread();
        });

    EXPECT_TRUE(r->startNotifier());
    EXPECT_TRUE(r->startNotifier());  // already running: no second registration
    EXPECT_EQ(net->subscriberCount(), 1u);

    net->setWiFi();
    ASSERT_TRUE(testsupport::waitFor([&] { return posted == 1; }));
    net->setOffline();
    ASSERT_TRUE(testsupport::waitFor([&] { return posted == 2; }));
    EXPECT_EQ(reachable, 1);
    EXPECT_EQ(unreachable, 1);
    EXPECT_EQ(every, 2);
    EXPECT_TRUE(postedOnMain);

    // While the notifier runs the object keeps itself alive.
    std::weak_ptr<RelaySDKReachability> weak = r;
    r.reset();
    EXPECT_FALSE(weak.expired());
    weak.lock()->stopNotifier();
    EXPECT_EQ(net->subscriberCount(), 0u);
    // Released once the notifier's queued work has drained.
    EXPECT_TRUE(testsupport::waitFor([&] { return weak.expired(); }));
    NSNotificationCenter::defaultCenter().removeObserver(token);
}

}  // namespace
