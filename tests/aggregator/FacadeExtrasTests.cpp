// The facade's extras and user queries: forwarding with fallback answers,
// function-support questions, configuration values and the push token.
#include <gtest/gtest.h>

#include "AggregatorCoreSupport.h"
#include "aggregator/PlugManager.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RMDevice.h"
#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/SDKCooperater.h"
#include "platform/ui/UIApplication.h"
#include "support/TestSupport.h"

using namespace aggtest;

namespace {

Data pushTokens;  // what the token plug-in saw

class TokenWatcher : public NSObject, public RelaySDKPlugNodes {
public:
    std::string className() const override { return "TokenWatcher"; }
    void registeredPushToken(const Value&, const Data& token) override { pushTokens = token; }
};

}  // namespace

REGISTER_RELAY_PLUGIN(TokenWatcher)

namespace {

class FacadeExtrasTest : public ::testing::Test {
protected:
    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    FreshAggregator aggregator;
    RUVURazuzEVE& facade = RUVURazuzEVE::defaultInstance();
    RLPCRelayChannel& channel = RLPCRelayChannel::defaultChannel();
    UIApplication& app = UIApplication::sharedApplication();
};

TEST_F(FacadeExtrasTest, ForwardingAnswersByTheRule) {
    // This channel offers no user centre, tool bar or life-cycle calls.
    EXPECT_EQ(facade.enterUserCenter(), -100);
    EXPECT_EQ(facade.showToolBar(1), -100);
    EXPECT_EQ(facade.hideToolBar(), -100);
    EXPECT_EQ(facade.callChannelSpecifyFunction(3, Value()), -100);
    EXPECT_EQ(facade.applicationDidEnterBackground(app), -100);
    EXPECT_EQ(facade.applicationWillTerminate(app), -100);
    EXPECT_EQ(facade.application_didReceiveRemoteNotification(app, Value::dict()), -100);

    bool open = true;
    long position = 0;
    channel.enterUserCenter = [&] { return open; };
    channel.showToolBar = [&](long p) {
        position = p;
        return false;
    };
    channel.applicationDidEnterBackground = [](UIApplication&) { return true; };
    EXPECT_EQ(facade.enterUserCenter(), -1);
    open = false;
    EXPECT_EQ(facade.enterUserCenter(), 0);
    EXPECT_EQ(facade.showToolBar(4), 0);
    EXPECT_EQ(position, 4);
    EXPECT_EQ(facade.applicationDidEnterBackground(app), -1);

    // The open-URL forms it offers answer false.
    auto url = *NSURL::URLWithString("ZorviaPaylinkScheme7://payreturn");
    EXPECT_EQ(facade.openURL_application(url, app), 0);
    EXPECT_EQ(facade.openURL_sourceApplication_application_annotation(url, "x", app, Value()), 0);
    EXPECT_EQ(facade.openURL_application_options(url, app, Value()), 0);
    EXPECT_EQ(aggregator.zorvia->urls.size(), 3u);

    EXPECT_EQ(facade.application_continueUserActivity_restorationHandler(app, Value()), 1);
    EXPECT_EQ(facade.callSDKShare(RUVURazuzEVEShareInfo()), 0);
    EXPECT_TRUE(facade.callFunction(1, Value::array()).isNull());
    channel.callFunction_args = [](long type, const Value& args) { return Value(type + long(args.size())); };
    EXPECT_EQ(facade.callFunction(1, Value::array({1, 2})), Value(3));
}

TEST_F(FacadeExtrasTest, OrientationMaskPassesThrough) {
    aggregator.zorvia->orientationMask = 2;
    EXPECT_EQ(facade.application_supportedInterfaceOrientationsForWindow(app, nullptr), 2);
    channel.application_supportedInterfaceOrientationsForWindow = nullptr;
    EXPECT_EQ(facade.application_supportedInterfaceOrientationsForWindow(app, nullptr), -100);
}

TEST_F(FacadeExtrasTest, FunctionSupport) {
    EXPECT_TRUE(facade.isFunctionSupported("login"));
    EXPECT_TRUE(facade.isFunctionSupported("payOrderInfo:roleInfo:"));
    EXPECT_FALSE(facade.isFunctionSupported("pausedGame"));
    EXPECT_FALSE(facade.isFunctionSupported("cpsChannelId"));
    EXPECT_FALSE(facade.isFunctionSupported("somethingElse"));
    EXPECT_TRUE(facade.isFunctionSupported("openURL:sourceApplication:application:annotation:"));
    EXPECT_FALSE(facade.isFunctionSupported("openURL:sourceApplication:"));
    channel.pause = [] { return true; };
    EXPECT_TRUE(facade.isFunctionSupported("pausedGame"));

    EXPECT_TRUE(facade.isFunctionTypeSupported(1));
    EXPECT_FALSE(facade.isFunctionTypeSupported(0));
    EXPECT_FALSE(facade.isFunctionTypeSupported(4));
    channel.enterBBS = [] { return true; };
    channel.enterCustomerServiceCenter = [] { return true; };
    EXPECT_TRUE(facade.isFunctionTypeSupported(3));
    EXPECT_TRUE(facade.isFunctionTypeSupported(7));
    EXPECT_FALSE(facade.isFunctionTypeSupported(99));
}

TEST_F(FacadeExtrasTest, ChannelFactsAndUserQueries) {
    EXPECT_EQ(facade.channelName(), "Varnu_iOS");
    EXPECT_EQ(facade.channelVersion(), "3.4");
    EXPECT_EQ(facade.channelType(), 977);
    EXPECT_EQ(facade.SDKVersion(), "2.5.4");
    EXPECT_EQ(facade.cpsChannelId(), "UNKNOWN");
    channel.cpsChannelId = [] { return "cps-1"; };
    EXPECT_EQ(facade.cpsChannelId(), "cps-1");

    channel.updateUserId("u-7");
    EXPECT_EQ(facade.userId(), "u-7");
    EXPECT_EQ(facade.userNick(), "u-7");  // no nick: the id
    channel.updateUserNick("Nick");
    EXPECT_EQ(facade.userNick(), "Nick");

    EXPECT_EQ(facade.realNameInfo(),
              Value::dict({{"realName", false}, {"age", -1}, {"resumeGame", true}, {"other", ""}}));
    channel.realNameInfo = nullptr;
    EXPECT_EQ(facade.realNameInfo(),
              Value::dict({{"realName", false}, {"age", -1}, {"resumeGame", true}, {"other", ""}}));
    channel.realNameInfo = [] { return Value::dict({{"age", 20}, {"realResumeGame", false}}); };
    EXPECT_EQ(facade.realNameInfo(), Value::dict({{"age", 20}, {"resumeGame", false}}));

    EXPECT_EQ(facade.realAuth(), -100);
    EXPECT_EQ(facade.userType(), 0);
    EXPECT_EQ(facade.getChannelUserExtInfo(), Value::dict());
    long type = 16;
    channel.userType = [&] { return type; };
    EXPECT_EQ(facade.getChannelUserLoginType(), 16);
    type = 9;
    EXPECT_EQ(facade.getChannelUserLoginType(), 0);
    type = 7;
    EXPECT_EQ(facade.getChannelUserLoginType(), 7);

    std::string id = facade.getDeviceID();
    EXPECT_FALSE(id.empty());
    EXPECT_EQ(facade.getDeviceID(), id);
    EXPECT_EQ(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem), Value(id));
    facade.resetDeviceID();
    EXPECT_TRUE(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem).isNull());
    EXPECT_FALSE(facade.getDeviceID().empty());  // a new one is made and kept
    EXPECT_EQ(RMDevice::getDataWithIdentifier(RMDevice::kDeviceIdItem), Value(facade.getDeviceID()));
}

TEST_F(FacadeExtrasTest, ConfigValueBeforeTheStartReadsTheFileAndKeepsIt) {
    bundle.writeFile("relayChannel.cfg", encryptedChannelFixture());
    EXPECT_EQ(facade.getConfigValue("version"), Value("1.0.3"));
    std::filesystem::remove(bundle.path() / "relayChannel.cfg");
    EXPECT_EQ(facade.getConfigValue("checkkey"), Value("ck-9f2e"));  // kept

    SDKCooperater::shareCooperater().setChannelCfg(Value());
    bundle.writeFile("relayChannel.cfg", plainChannelFixture());
    EXPECT_EQ(facade.getConfigValue("bundleID"), Value("com.example.demogame"));
    // A plain file without "bundleID" or "version" is not taken as the plain form.
    SDKCooperater::shareCooperater().setChannelCfg(Value());
    bundle.writeFile("relayChannel.cfg", plistText(Value::dict({{"channel_type", "977"}})));
    EXPECT_TRUE(facade.getConfigValue("channel_type").isNull());
}

TEST_F(FacadeExtrasTest, PushTokenIsKeptAndToldToThePlugins) {
    bundle.writeFile("relayPlugins.cfg", plistText(Value::array({Value::dict({{"managerName", "TokenWatcher"}})})));
    PlugManager::sharedInstance().startManager();
    Data token = {0xfb, 0xef, 0x01, 0x02};
    EXPECT_EQ(facade.application_didRegisterForRemoteNotificationsWithDeviceToken(app, token), -100);
    EXPECT_EQ(RMDevice::sharedInstance().device_pushToken(), "++8BAg==");
    EXPECT_EQ(pushTokens, token);
}

}  // namespace
