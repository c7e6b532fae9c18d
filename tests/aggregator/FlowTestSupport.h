#pragma once
// The fixture of the login, pay, role and refusal flows: the aggregator
// started against its stand-in (network up, init finished), the user-centre
// SDK replaced by a double, the refusal prompts listed as a plug-in with a
// recorder of the exit, and a game window for alerts.

#include <memory>
#include <string>
#include <vector>

#include "AggregatorCoreSupport.h"
#include "UITestSupport.h"
#include "aggregator/LoginDisablePrompt.h"
#include "aggregator/NetworkInterface.h"
#include "aggregator/PlugManager.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RMNetWorkUtil.h"
#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/RelayExit.h"
#include "aggregator/RelayNotifications.h"
#include "aggregator/SDKCooperater.h"
#include "platform/net/NetworkReachability.h"
#include "platform/foundation/Strings.h"
#include "platform/net/URLSession.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIEventInjection.h"
#include "standin/AggregatorStandin.h"
#include "support/TestSupport.h"

namespace flowtest {

using aggtest::NotificationRecorder;
using aggtest::plistText;
using standin::AggregatorStandin;
using standin::Reply;

// Every hook a flow sends, as "hook detail" lines.
std::vector<std::string>& hooks();

inline Value channelFile(bool withCheckKey = true) {
    Value v = Value::dict({{"channel_type", "977"}, {"product_code", "P100"}, {"product_key", "abcdefgh12345"}});
    if (withCheckKey) v.set("checkkey", "ck-9f2e");
    return v;
}

class FlowTest : public UITest {
protected:
    void SetUp() override { start(channelFile()); }
    void TearDown() override {
        setRelayExitFunction(nullptr);
        aggregator.reset();
        gate.reset();
        NetworkInterface::sharedInstance().setSession(nullptr);
        UITest::TearDown();
    }

    // A fresh aggregator started with `channelCfg` as the bundle's channel
    // file; returns once init has finished.
    void start(const Value& channelCfg) {
        UITest::SetUp();
        if (!standin.api(0).isRunning()) {
            ASSERT_TRUE(standin.start());
        }
        Value info = standin.infoPlistSettings();
        info.set("CFBundleIdentifier", "com.example.flow");
        bundle = std::make_unique<testsupport::TempBundle>(info);
        bundle->writeFile("relayChannel.cfg", plistText(channelCfg));
        bundle->writeFile("relayPlugins.cfg",
                          plistText(Value::array({Value::dict({{"managerName", "LoginDisablePrompt"}}),
                                                  Value::dict({{"managerName", "FlowWatcher"}})})));
        NetworkInterface::sharedInstance().setSession(URLSession::sessionWithConfiguration(URLSessionConfiguration()));
        LoginDisablePrompt::registerPlugin();
        setRelayExitFunction([this](int status) { exits.push_back(status); });
        hooks().clear();
        gameWindow = makeWindow();
        net->setWiFi();
        aggregator = std::make_unique<aggtest::FreshAggregator>();
        gate = std::make_unique<RMNetWorkUtil>("127.0.0.1");
        SDKCooperater::shareCooperater().setNetworkGate(gate.get());
        gate->startNetworkNotifier();
        RUVURazuzEVE::defaultInstance().initWithConfig(nullptr, UIApplication::sharedApplication(), Value::dict());
        ASSERT_TRUE(testsupport::waitFor([&] { return seen.count(kRlpcRPInitDidFinishedNotification) == 1; }));
        // The init request is on its way: let it land before the flows.
        ASSERT_TRUE(testsupport::waitFor([&] { return standin.journal().count("/v1/api/init") == 1; }));
    }
    // Starts over with another channel file.
    void restart(const Value& channelCfg) {
        TearDown();
        bundle.reset();  // before the next one, which restores the main bundle it replaced
        seen.clear();
        standin.journal().clear();
        start(channelCfg);
    }

    aggtest::ZorviaDouble& zorvia() { return *aggregator->zorvia; }
    RUVURazuzEVE& facade() { return RUVURazuzEVE::defaultInstance(); }
    SDKCooperater& co() { return SDKCooperater::shareCooperater(); }

    // Every API server answers `path` so from now on.
    void scriptAll(const std::string& path, const Reply& reply) {
        for (size_t i = 0; i < standin.apiCount(); ++i) standin.api(i).scriptAlways(path, reply);
    }
    // The game asks for a login and the channel's screen succeeds.
    void channelLogin(const std::string& user = "player1", const std::string& sign = "sign-1") {
        ASSERT_EQ(facade().login(), 0);
        ASSERT_TRUE(zorvia().loginSuccess);
        zorvia().loginSuccess("1700000000", user, sign, "1");
    }
    // The game's login notifications so far, once `n` have arrived.
    std::vector<NSNotification> logins(size_t n = 1) {
        EXPECT_TRUE(testsupport::waitFor([&] { return seen.count(kRlpcRPLoginNotification) >= n; }));
        return seen.of(kRlpcRPLoginNotification);
    }
    std::shared_ptr<UIAlertController> presentedAlert() {
        return std::dynamic_pointer_cast<UIAlertController>(gameWindow->rootViewController()->presentedViewController());
    }

    testsupport::TempHome home;
    ScopedTestReachability net;
    AggregatorStandin standin;
    std::unique_ptr<testsupport::TempBundle> bundle;
    std::unique_ptr<aggtest::FreshAggregator> aggregator;
    std::unique_ptr<RMNetWorkUtil> gate;
    std::shared_ptr<UIWindow> gameWindow;
    std::vector<int> exits;
    NotificationRecorder seen{{kRlpcRPInitDidFinishedNotification, kRlpcRPLoginNotification,
                               kRlpcRPLogoutNotification, kRlpcRPNotiRecharge, kRlpcRPRealAuthNotification,
                               kRlpcRPLeavedNotification, kRlpcRPPauseOverNotification}};
};

}  // namespace flowtest
