// The aggregator's start: configuration, the wait for the network, server
// list, init request, anti-addiction file, channel init and the init
// notification, against the stand-in.
#include <gtest/gtest.h>

#include "AggregatorCoreSupport.h"
#include "aggregator/NetworkInterface.h"
#include "aggregator/NetworkManager.h"
#include "aggregator/PlugManager.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RMNetWorkUtil.h"
#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/RelayNotifications.h"
#include "aggregator/SDKCooperater.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/net/NetworkReachability.h"
#include "platform/net/URLSession.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "standin/AggregatorStandin.h"
#include "support/TestSupport.h"

using namespace aggtest;
using standin::AggregatorStandin;
using standin::Reply;

namespace {

std::vector<std::string>& hooks() {
    static std::vector<std::string> h;
    return h;
}

class StartWatcher : public NSObject, public RelaySDKPlugNodes {
public:
    std::string className() const override { return "StartWatcher"; }
    void willInit(const Value& cfg, const RUVURazuzEVEInitConfigure& platform, UIApplication&,
                  const Value& options) override {
        hooks().push_back("willInit " + cfg.str("channel_type") + " " + platform.productCode() + " " +
                          options.str("launch"));
    }
    void initDone(const Value&, const Value& userInfo) override { hooks().push_back("initDone " + userInfo.toJSON()); }
    void willLogin(const Value&) override { hooks().push_back("willLogin"); }
};

// A channel whose init fails.
class FailingChannel : public RLPCRelayChannel {
public:
    bool initWithDictionary(const Value&, UIApplication&, const Value&) override {
        auto info = RLPCRelaychannelInitNotifyInfo::info();
        info.state = 0;
        NSNotificationCenter::defaultCenter().postNotificationName(info.getNotifyName(), nullptr,
                                                                   info.getNotifyDic());
        return false;
    }
};

}  // namespace

REGISTER_RELAY_PLUGIN(StartWatcher)

namespace {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standin.start());
        Value info = standin.infoPlistSettings();
        info.set("CFBundleIdentifier", "com.example.test");
        bundle = std::make_unique<testsupport::TempBundle>(info);
        bundle->writeFile("relayPlugins.cfg", plistText(Value::array({Value::dict({{"managerName", "StartWatcher"}})})));
        NetworkInterface::sharedInstance().setSession(URLSession::sessionWithConfiguration(URLSessionConfiguration()));
        hooks().clear();
    }
    void TearDown() override {
        if (window) window->setHidden(true);
        aggregator.reset();
        gate.reset();
        NetworkInterface::sharedInstance().setSession(nullptr);
    }
    // The singletons, made once the bundle holds what the case needs; the
    // gate starts offline.
    void makeAggregator() {
        aggregator = std::make_unique<FreshAggregator>();
        gate = std::make_unique<RMNetWorkUtil>("127.0.0.1");
        SDKCooperater::shareCooperater().setNetworkGate(gate.get());
        gate->startNetworkNotifier();
    }
    std::shared_ptr<RUVURazuzEVEInitConfigure> shellConfig(const std::string& code = "P100",
                                                            const std::string& key = "abcdefgh12345") {
        auto c = std::make_shared<RUVURazuzEVEInitConfigure>();
        c->setProductCode(code);
        c->setProductKey(key);
        return c;
    }
    int start(std::shared_ptr<RUVURazuzEVEInitConfigure> config) {
        return RUVURazuzEVE::defaultInstance().initWithConfig(std::move(config), UIApplication::sharedApplication(),
                                                              Value::dict({{"launch", "opts"}}));
    }
    bool initFinished() { return seen.count(kRlpcRPInitDidFinishedNotification) > 0; }
    void showWindow() {
        window = std::make_shared<UIWindow>();
        window->setRootViewController(std::make_shared<UIViewController>());
        window->makeKeyAndVisible();
    }
    std::shared_ptr<UIAlertController> alert() {
        return std::dynamic_pointer_cast<UIAlertController>(window->rootViewController()->presentedViewController());
    }

    testsupport::TempHome home;
    ScopedTestReachability net;
    AggregatorStandin standin;
    std::unique_ptr<testsupport::TempBundle> bundle;
    std::unique_ptr<FreshAggregator> aggregator;
    std::unique_ptr<RMNetWorkUtil> gate;
    std::shared_ptr<UIWindow> window;
    NotificationRecorder seen{{kRlpcRPInitDidFinishedNotification}};
};

TEST_F(StartupTest, OfflineStartWaitsThenRunsTheWholeSequenceOnce) {
    makeAggregator();
    auto& defaults = NSUserDefaults::standardUserDefaults();
    defaults.setObject(kAntiIndulgeDefaultsKey, "from an earlier run");
    EXPECT_EQ(start(shellConfig()), 0);
    RunLoop::drain();
    EXPECT_EQ(standin.journal().size(), 0u);
    EXPECT_EQ(aggregator->zorvia->launches, 0);
    EXPECT_FALSE(initFinished());
    EXPECT_TRUE(SDKCooperater::shareCooperater().hasCallInit());
    EXPECT_FALSE(SDKCooperater::shareCooperater().initing());

    net->setWiFi();
    ASSERT_TRUE(testsupport::waitFor([&] {
        return standin.journal().count("/v1/api/init") == 1 && defaults.objectForKey(kAntiIndulgeDefaultsKey).isDict();
    }));
    // The server list first, then init at the first listed server.
    auto all = standin.journal().entries();
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(standin.journal().entries("/P100-977.html").size(), 1u);
    auto init = *standin.journal().last("/v1/api/init");
    EXPECT_EQ(init.request.server, "api1");
    EXPECT_EQ(init.signOk, true);
    EXPECT_EQ(init.decoded["channel_code"], Value(977));
    EXPECT_TRUE(init.decoded.has("push_token"));
    EXPECT_TRUE(init.decoded.has("session_id"));
    EXPECT_EQ(NetworkManager::sharedInstance().serveUrls(),
              (std::vector<std::string>{standin.apiURL(1), standin.apiURL(0)}));
    EXPECT_EQ(defaults.objectForKey(kAntiIndulgeDefaultsKey)["open"], Value(1));

    ASSERT_EQ(seen.count(kRlpcRPInitDidFinishedNotification), 1u);
    EXPECT_EQ(seen.all()[0].userInfo, Value::dict({{"error", 0}, {"msg", "init finish"}}));
    EXPECT_EQ(aggregator->zorvia->launches, 1);
    EXPECT_TRUE(SDKCooperater::shareCooperater().isInitSuccess());
    EXPECT_EQ(hooks(), (std::vector<std::string>{"willInit  P100 opts",
                                                 "initDone {\"error\":0,\"msg\":\"channel init success\"}"}));

    // Flapping networks and a second start change nothing.
    net->setOffline();
    net->setCellular();
    EXPECT_EQ(start(shellConfig("P999", "other")), 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return gate->networkAvialable(); }));
    RunLoop::drain();
    EXPECT_EQ(seen.count(kRlpcRPInitDidFinishedNotification), 1u);
    EXPECT_EQ(standin.journal().count("/v1/api/init"), 1u);
    EXPECT_EQ(SDKCooperater::shareCooperater().platformCfg()->productCode(), "P100");
    EXPECT_EQ(aggregator->zorvia->launches, 1);
}

TEST_F(StartupTest, OnlineStartRunsAtOnceAndAFailedFetchClearsTheStoredAntiIndulge) {
    net->setWiFi();
    makeAggregator();
    standin.configHost().scriptAlways("/P100/977.html", Reply::closeConnection());
    auto& defaults = NSUserDefaults::standardUserDefaults();
    defaults.setObject(kAntiIndulgeDefaultsKey, Value::dict({{"stale", 1}}));
    start(shellConfig());
    EXPECT_TRUE(initFinished());  // the channel reports at once
    ASSERT_TRUE(testsupport::waitFor([&] {
        return standin.journal().count("/P100/977.html") == 1 && defaults.objectForKey(kAntiIndulgeDefaultsKey).isNull();
    }));
    ASSERT_TRUE(testsupport::waitFor([&] { return standin.journal().count("/v1/api/init") == 1; }));
}

TEST_F(StartupTest, TheChannelFileReplacesCodeAndKeyInEitherForm) {
    for (auto form : {plainChannelFixture(), encryptedChannelFixture()}) {
        bundle->writeFile("relayChannel.cfg", form);
        makeAggregator();
        start(shellConfig("SHELL", "shell-key"));
        auto cfg = SDKCooperater::shareCooperater().platformCfg();
        EXPECT_EQ(cfg->productCode(), "P100");
        EXPECT_EQ(cfg->productKey(), "abcdefgh12345");
        EXPECT_EQ(SDKCooperater::shareCooperater().channelCfg()["checkkey"], Value("ck-9f2e"));
        EXPECT_EQ(SDKCooperater::shareCooperater().paramsDic(), SDKCooperater::shareCooperater().channelCfg());
        aggregator.reset();
        gate.reset();
    }

    // A code without a key keeps the shell's key; no code keeps both.
    bundle->writeFile("relayChannel.cfg", plistText(Value::dict({{"product_code", "P100"}, {"channel_type", "977"}})));
    makeAggregator();
    start(shellConfig("SHELL", "abcdefgh12345"));
    EXPECT_EQ(SDKCooperater::shareCooperater().platformCfg()->productCode(), "P100");
    EXPECT_EQ(SDKCooperater::shareCooperater().platformCfg()->productKey(), "abcdefgh12345");
    aggregator.reset();
    gate.reset();

    bundle->writeFile("relayChannel.cfg", plistText(Value::dict({{"channel_type", "977"}, {"product_code", ""}})));
    makeAggregator();
    start(shellConfig("SHELL", "shell-key"));
    EXPECT_EQ(SDKCooperater::shareCooperater().platformCfg()->productCode(), "SHELL");
    EXPECT_EQ(SDKCooperater::shareCooperater().platformCfg()->productKey(), "shell-key");
    aggregator.reset();
    gate.reset();

    // No file and no configuration: an empty one.
    std::filesystem::remove(bundle->path() / "relayChannel.cfg");
    makeAggregator();
    start(nullptr);
    ASSERT_TRUE(SDKCooperater::shareCooperater().platformCfg());
    EXPECT_EQ(SDKCooperater::shareCooperater().platformCfg()->productCode(), "");
    EXPECT_EQ(SDKCooperater::shareCooperater().channelCfg(), Value::dict());
}

TEST_F(StartupTest, InitReply30001DisablesLoginButInitCompletes) {
    for (size_t i = 0; i < standin.apiCount(); ++i)
        standin.api(i).scriptAlways("/v1/api/init", Reply::json(AggregatorStandin::errorReply(30001, "暂停登录")));
    showWindow();
    net->setWiFi();
    makeAggregator();
    start(shellConfig());
    ASSERT_TRUE(testsupport::waitFor([&] { return SDKCooperater::shareCooperater().isloginDisabled(); }));
    EXPECT_EQ(seen.of(kRlpcRPInitDidFinishedNotification).at(0).userInfo["error"], Value(0));
    ASSERT_TRUE(testsupport::waitFor([&] { return alert() != nullptr; }));
    EXPECT_EQ(alert()->alertTitle(), "提示");
    EXPECT_EQ(alert()->message(), "暂停登录");
    ASSERT_EQ(alert()->actions().size(), 1u);
    EXPECT_EQ(alert()->actions()[0]->title(), "确定");
    alert()->performAction(0);
    ASSERT_TRUE(testsupport::waitFor([&] { return alert() == nullptr; }));

    EXPECT_EQ(RUVURazuzEVE::defaultInstance().login(), -5);
    EXPECT_EQ(aggregator->zorvia->loginScreens, 0);
    ASSERT_TRUE(testsupport::waitFor([&] { return alert() != nullptr; }));
    EXPECT_EQ(alert()->message(), "渠道禁止登录");
    EXPECT_EQ(std::count(hooks().begin(), hooks().end(), "willLogin"), 0);
}

TEST_F(StartupTest, ADisabledLoginIsToldEvenWithoutAWindow) {
    makeAggregator();
    SDKCooperater::shareCooperater().setIsloginDisabled(true);
    EXPECT_EQ(RUVURazuzEVE::defaultInstance().login(), -5);
    auto shown = UIAlertView::visibleAlertViews();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->title(), "提示");
    EXPECT_EQ(shown[0]->message(), "渠道禁止登录");
    ASSERT_EQ(shown[0]->numberOfButtons(), 1);
    EXPECT_EQ(shown[0]->buttonTitleAtIndex(0), "确定");
    shown[0]->clickButtonAtIndex(0);
    EXPECT_TRUE(testsupport::waitFor([] { return UIAlertView::visibleAlertViews().empty(); }));
}

// An application delegate that keeps a main window, as the shell's does.
class WindowDelegate : public UIApplicationDelegate {
public:
    std::shared_ptr<UIWindow> main;
    std::shared_ptr<UIWindow> window() const override { return main; }
};

std::shared_ptr<UIWindow> windowAt(UIWindowLevel level) {
    auto w = std::make_shared<UIWindow>();
    w->setWindowLevel(level);
    w->setRootViewController(std::make_shared<UIViewController>());
    w->setHidden(false);
    return w;
}

TEST_F(StartupTest, TheAlertWindowIsTheKeyWindowElseTheDelegatesElseTheLastOfNormalLevel) {
    auto& app = UIApplication::sharedApplication();
    EXPECT_EQ(SDKCooperater::baseGetCurrentShowWindow(), nullptr);
    auto first = windowAt(UIWindowLevelNormal), second = windowAt(UIWindowLevelNormal);
    auto above = windowAt(UIWindowLevelStatusBar);
    EXPECT_EQ(SDKCooperater::baseGetCurrentShowWindow(), second);

    auto delegate = std::make_shared<WindowDelegate>();
    delegate->main = first;
    app.setDelegate(delegate);
    EXPECT_EQ(SDKCooperater::baseGetCurrentShowWindow(), first);

    above->makeKeyAndVisible();
    EXPECT_EQ(SDKCooperater::baseGetCurrentShowWindow(), above);
    app.setDelegate(nullptr);
    for (auto& w : {first, second, above}) w->setHidden(true);
}

TEST_F(StartupTest, ARefusalGoesToTheAlertWindowsRootControllerOrOverWhatItPresents) {
    makeAggregator();
    SDKCooperater::shareCooperater().setIsloginDisabled(true);
    showWindow();
    // A window above the game that is not the key window takes no alert.
    auto above = windowAt(UIWindowLevelStatusBar);
    EXPECT_EQ(RUVURazuzEVE::defaultInstance().login(), -5);
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->message(), "渠道禁止登录");
    EXPECT_EQ(alert()->presentingViewController(), window->rootViewController());
    EXPECT_FALSE(above->rootViewController()->presentedViewController());
    EXPECT_TRUE(UIAlertView::visibleAlertViews().empty());
    ASSERT_TRUE(testsupport::waitFor([&] { return !alert()->isBeingPresented(); }));
    if (const char* dir = std::getenv("KORVEL_SHOT_DIR")) window->writePNG(std::string(dir) + "/refusal-alert.png");
    alert()->performAction(0);
    ASSERT_TRUE(testsupport::waitFor([&] { return alert() == nullptr; }));
    above->setHidden(true);

    // The root already presents a screen: the alert goes over that screen
    // rather than being dropped.
    auto own = std::make_shared<UIViewController>();
    window->rootViewController()->presentViewController(own, false);
    ASSERT_TRUE(testsupport::waitFor([&] { return !own->isBeingPresented(); }));
    EXPECT_EQ(RUVURazuzEVE::defaultInstance().login(), -5);
    auto over = std::dynamic_pointer_cast<UIAlertController>(own->presentedViewController());
    ASSERT_TRUE(over);
    EXPECT_EQ(over->message(), "渠道禁止登录");
}

TEST_F(StartupTest, ALoginAskedBeforeInitRunsOnceInitSucceeds) {
    makeAggregator();
    start(shellConfig());
    auto& facade = RUVURazuzEVE::defaultInstance();
    EXPECT_EQ(facade.login(), 0);
    EXPECT_EQ(aggregator->zorvia->loginScreens, 0);
    EXPECT_TRUE(SDKCooperater::shareCooperater().isCallLogin());
    net->setWiFi();
    ASSERT_TRUE(testsupport::waitFor([&] { return initFinished(); }));
    EXPECT_EQ(aggregator->zorvia->loginScreens, 1);
    EXPECT_FALSE(SDKCooperater::shareCooperater().isCallLogin());

    // Later logins go straight to the channel, unless a check is under way.
    aggregator->zorvia->loginFailure(-9, "注销");
    EXPECT_EQ(facade.login(), 0);
    EXPECT_EQ(aggregator->zorvia->loginScreens, 2);
    aggregator->zorvia->loginFailure(-9, "注销");
    SDKCooperater::shareCooperater().setIsCheckLogining(true);
    EXPECT_EQ(facade.login(), -4);
    EXPECT_EQ(aggregator->zorvia->loginScreens, 2);
    ASSERT_TRUE(testsupport::waitFor([&] { return standin.journal().count("/v1/api/init") == 1; }));
}

TEST_F(StartupTest, AFailedChannelInitIsReportedAndAPendingLoginNeverRuns) {
    net->setWiFi();
    makeAggregator();
    RLPCRelayChannel::replaceDefaultForTesting(std::make_shared<FailingChannel>());
    RUVURazuzEVE::defaultInstance().login();
    start(shellConfig());
    ASSERT_EQ(seen.count(kRlpcRPInitDidFinishedNotification), 1u);
    EXPECT_EQ(seen.all()[0].userInfo, Value::dict({{"error", -21}, {"msg", "init finish"}}));
    EXPECT_FALSE(SDKCooperater::shareCooperater().isInitSuccess());
    EXPECT_EQ(aggregator->zorvia->loginScreens, 0);
    // A second start does not retry.
    start(shellConfig());
    EXPECT_EQ(seen.count(kRlpcRPInitDidFinishedNotification), 1u);
    ASSERT_TRUE(testsupport::waitFor([&] { return standin.journal().count("/v1/api/init") == 1; }));
}

TEST_F(StartupTest, AnInitResultWithoutANumericZeroCodeIsAFailure) {
    makeAggregator();
    for (const Value& code : {Value(false), Value("0"), Value(), Value(-1)}) {
        seen.clear();
        Value info = Value::dict({{"msg", "x"}});
        if (!code.isNull()) info.set("error", code);
        NSNotificationCenter::defaultCenter().postNotificationName(kRlpcRCInitDidFinishedNotification, nullptr, info);
        ASSERT_EQ(seen.count(kRlpcRPInitDidFinishedNotification), 1u) << code.toJSON();
        EXPECT_EQ(seen.all()[0].userInfo, Value::dict({{"error", -21}, {"msg", "init finish"}})) << code.toJSON();
        EXPECT_FALSE(SDKCooperater::shareCooperater().isInitSuccess()) << code.toJSON();
    }
}

TEST(SDKCooperaterCodes, ChannelToGameCodes) {
    std::vector<std::pair<int, int>> table = {{0, 0},      {-3, -2},   {-4, -10}, {-20, -20},
                                              {-21, -301}, {-22, -302}, {-5, -1},  {7, -1}};
    for (auto [channel, game] : table) EXPECT_EQ(SDKCooperater::errorCode(channel), game) << channel;
}

}  // namespace
