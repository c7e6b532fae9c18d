#include <gtest/gtest.h>

#include "aggregator/RMNetWorkUtil.h"
#include "aggregator/RelaySDKReachability.h"
#include "aggregator/RelayServerSettings.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Strings.h"
#include "support/TestSupport.h"

namespace {

class NetworkGateTest : public ::testing::Test {
protected:
    void SetUp() override {
        RMNetWorkUtil::setInitHook([this] {
            EXPECT_TRUE(isMainThread());
            ++inits;
        });
    }
    void TearDown() override { RMNetWorkUtil::setInitHook(nullptr); }

    ScopedTestReachability net;
    int inits = 0;
};

TEST_F(NetworkGateTest, OfflineStartWaitsThenInitsOnceHoweverTheNetworkFlaps) {
    RMNetWorkUtil gate("vendor.example");
    int seen = 0;
    auto token = NSNotificationCenter::defaultCenter().addObserver(
        kRelaySDKReachabilityChangedNotification, [&](const NSNotification&) { ++seen; });

    EXPECT_EQ(gate.getNetworkType(), "当前无网络连接");
    EXPECT_FALSE(gate.networkAvialable());
    EXPECT_EQ(inits, 0);
    EXPECT_TRUE(gate.wanReach()->isNotifierRunning());

    net->setWiFi();
    ASSERT_TRUE(testsupport::waitFor([&] { return inits == 1; }));
    EXPECT_TRUE(gate.networkAvialable());
    EXPECT_FALSE(gate.wanReach()->isNotifierRunning());

    for (int i = 0; i < 3; ++i) {
        net->setOffline();
        net->setCellular();
    }
    // The host probe keeps running and reports; none of it inits again.
    gate.hostReachability()->startNotifier();
    net->setOffline();
    net->setWiFi();
    ASSERT_TRUE(testsupport::waitFor([&] { return seen >= 2; }));
    EXPECT_EQ(inits, 1);
    EXPECT_TRUE(gate.networkAvialable());
    NSNotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(NetworkGateTest, OnlineStartInitsAtTheFirstCheckWithoutWatching) {
    net->setCellular();
    RMNetWorkUtil gate("vendor.example");
    gate.startNetworkNotifier();
    EXPECT_EQ(inits, 1);
    EXPECT_TRUE(gate.networkAvialable());
    EXPECT_EQ(gate.networkType(), 1);
    EXPECT_FALSE(gate.wanReach()->isNotifierRunning());
    EXPECT_TRUE(gate.hostReachability()->isNotifierRunning());
    EXPECT_TRUE(gate.isHostReachable());
    net->setOffline();
    net->setWiFi();
    testsupport::waitFor([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(inits, 1);
}

TEST_F(NetworkGateTest, UnreachableChangeAndForeignSendersChangeNothing) {
    RMNetWorkUtil gate("");
    EXPECT_EQ(gate.hostReachability(), nullptr);
    gate.startNetworkNotifier();
    // Still offline: a change notification with status 0.
    gate.networkStateChange(NSNotification{kRelaySDKReachabilityChangedNotification, gate.wanReach(), Value()});
    EXPECT_FALSE(gate.networkAvialable());
    // Another object, online: not one of the gate's, ignored.
    net->setWiFi();
    int other = 0;
    gate.networkStateChange(NSNotification{kRelaySDKReachabilityChangedNotification, &other, Value()});
    EXPECT_EQ(inits, 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return inits == 1; }));
}

TEST(RelayServerSettings, AddressesComeFromTheBundle) {
    auto s = RelayServerSettings::fromInfoDictionary(Value::dict({{"RELAY_API_SERVER_URL", "https://api.example.com/"},
                                                                 {"RELAY_REPORT_GATEWAY_URL", "http://gw.example.com/api"}}));
    EXPECT_EQ(s.apiServerURL, "https://api.example.com");
    EXPECT_EQ(s.reportGatewayURL, "http://gw.example.com/api");
    EXPECT_EQ(s.serverListURL, "");
    EXPECT_EQ(s.reachabilityHost, "api.example.com");
    s = RelayServerSettings::fromInfoDictionary(
        Value::dict({{"RELAY_API_SERVER_URL", "https://api.example.com"}, {"RELAY_REACHABILITY_HOST", "probe.example.com"}}));
    EXPECT_EQ(s.reachabilityHost, "probe.example.com");
}

TEST(RelayServerSettings, TheBundleIsReadOnceSoAMissingSettingIsReportedOnce) {
    testsupport::TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.once"},
                                                {"RELAY_API_SERVER_URL", "https://api.example.com"}}));
    testsupport::StderrCapture err;
    auto first = RelayServerSettings::fromMainBundle();
    auto second = RelayServerSettings::fromMainBundle();
    err.restore();
    EXPECT_EQ(second.apiServerURL, first.apiServerURL);
    auto reports = strings::split(err.text(), "RELAY_SERVER_LIST_URL is missing").size() - 1;
    EXPECT_EQ(reports, 1u) << err.text();
}

}  // namespace
