// The login road from the page to the page, in the real engine: the game's
// page calls RelaySDK_IOS, the native login and payment screens are driven
// as a player would, the user centre's and the aggregator's stand-ins
// answer, and the page's "onLogin", "onLogout" and "onPay" get the results.

#include <gtest/gtest.h>

#include "AggregatorCoreSupport.h"
#include "Classes/ViewController/AppDelegate.h"
#include "Classes/ViewController/HostTestSupport.h"
#include "Classes/ViewController/MainViewController.h"
#include "LoginRoadSupport.h"
#include "aggregator/Extend.h"
#include "aggregator/LoginDisablePrompt.h"
#include "aggregator/NetworkInterface.h"
#include "aggregator/RMDevice.h"
#include "aggregator/RMNetWorkUtil.h"
#include "aggregator/RelayExit.h"
#include "aggregator/SDKCooperater.h"
#include "aggregator/zorvia/ZorviaSDKForwarder.h"
#include "platform/foundation/NSBundle.h"
#include "platform/net/NetworkReachability.h"
#include "platform/net/URLSession.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIStoryboard.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/SNSDKPlugin.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVPayVC.h"
#include "usercenter/core/ZVScreenWindow.h"

using namespace webtest;
using hosttest::ProbedController;
using standin::AggregatorStandin;
using standin::Reply;
using standin::UserCentreStandin;

namespace {

// The game's page: its event handlers report to the test.
const char* kPage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"></head><body>road
<script>
function report(kind, value) {
  window.webkit.messageHandlers.probe.postMessage({kind: kind, value: value === undefined ? null : value});
}
if (window.RelaySDK_IOS) RelaySDK_IOS.SetCallback({
  onLogin: function (r) { report('onLogin', r); },
  onLogout: function (r) { report('onLogout', r); },
  onPay: function (r) { report('onPay', r); }
});
report('ready', {relay: typeof window.RelaySDK_IOS, hs: typeof window.HSSDK_IOS,
                 sn: typeof (window.KXWeb && window.KXWeb.iOS && window.KXWeb.iOS.SNSDK)});
</script></body></html>)HTML";

// A social SDK that says it is registered.
class RegisteredSN : public SNSDKInterface {
public:
    std::vector<std::string> logins;
    void InitSDK() override {}
    void ReleaseSDK() override {}
    int RegCB(int, PluginEventCallback) override { return 1; }
    int RegIntCB(int, RegisterCallback) override { return 1; }
    int UnregCB(int) override { return 1; }
    void RegisterSN(const std::string&) override {}
    bool IsRegistered() override { return true; }
    bool IsSNAppInstalled() override { return false; }
    void Login(const std::string& json) override { logins.push_back(json); }
    void Pay(const std::string&) override {}
    void SendText(const std::string&) override {}
    void SendImage(const std::string&) override {}
    void SendWebpage(const std::string&) override {}
    void OnLogin(const Value&) override {}
    void OnPay(const Value&) override {}
    void OnShare(const Value&) override {}
};

class LoginRoad : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WKWebView::engineAvailable());
        ASSERT_TRUE(standIns.start());
        bundle = std::make_unique<testsupport::TempBundle>(roadtest::infoFor(standIns));
        roadtest::writeBundle(bundle->path(), roadtest::infoFor(standIns), kPage);
        NSBundle::mainBundle().reload();

        IOSPlugin::resetForTesting();
        NetworkInterface::sharedInstance().setSession(URLSession::sessionWithConfiguration(URLSessionConfiguration()));
        aggregator = std::make_unique<aggtest::FreshAggregator>();
        installZorviaSDKForwarder();  // the real user-centre SDK in place of the double
        LoginDisablePrompt::registerPlugin();
        setRelayExitFunction([this](int status) { exits.push_back(status); });
        gate = std::make_unique<RMNetWorkUtil>("127.0.0.1");
        SDKCooperater::shareCooperater().setNetworkGate(gate.get());
        auto& share = ShareVale::sharedInstance();
        share.reloadSettings();
        share.clearLogin();
        share.needsUpdate = false;
        share.isHideSuspend = false;
        UIStoryboard::registerScene("Main", "MainViewController", [this] {
            auto c = std::make_shared<ProbedController>();
            // A page framework object the social plug-in's script hangs itself on.
            if (withPageFramework)
                c->pageScripts.emplace_back("window.KXWeb = {iOS: {}};", WKUserScriptInjectionTime::AtDocumentStart, true);
            return c;
        });
    }
    void TearDown() override {
        if (auto pay = ZVPayVC::current()) pay->cancel();
        if (auto vc = ZVLoginVC::current()) ZVCloseScreenWindow(vc->window());
        auto button = CXRHelperBtn::sharedButton();
        button->stopOnlineTimer();
        button->destoryWindow();
        CXRHelperBtn::hide();
        for (auto& a : UIAlertView::visibleAlertViews()) a->dismissWithClickedButtonIndex(-1, false);
        IOSPlugin::Unload();
        gtkWindow.close();
        for (auto& w : UIApplication::sharedApplication().windows()) w->setHidden(true);
        app.setDelegate(nullptr);
        RunLoop::drain();
        IOSPlugin::resetForTesting();
        setRelayExitFunction(nullptr);
        aggregator.reset();
        gate.reset();
        NetworkInterface::sharedInstance().setSession(nullptr);
        ShareVale::sharedInstance().clearLogin();
    }

    // The application starts as the platform starts it, and its page loads.
    void launch(bool online = true) {
        if (online) net->setWiFi();
        gate->startNetworkNotifier();
        app.setDelegate(delegate);
        ASSERT_TRUE(delegate->application_didFinishLaunchingWithOptions(app, Value()));
        controller = std::dynamic_pointer_cast<ProbedController>(delegate->window()->rootViewController());
        ASSERT_TRUE(controller);
        gtkWindow = ShownWindow(controller->webView());
        ready = event("ready");
    }
    WKWebView& page() { return *controller->webView(); }
    void call(const std::string& script) { evaluate(page(), script + "; 1"); }
    // The value of the next page report of `kind`.
    Value event(const std::string& kind) {
        Value found;
        bool ok = testsupport::waitFor(
            [&] {
                auto& messages = controller->probe->messages;
                for (; seenMessages < messages.size(); ++seenMessages)
                    if (messages[seenMessages].str("kind") == kind) {
                        found = messages[seenMessages++]["value"];
                        return true;
                    }
                return false;
            },
            std::chrono::seconds(20));
        EXPECT_TRUE(ok) << "no " << kind;
        return found;
    }
    // Asks the page for its init result.
    Value initResult() {
        call("RelaySDK_IOS.GetInitResult(function (r) { report('init', r); })");
        return event("init");
    }
    // Login() in the page, the player on the native screen, "onLogin" back.
    Value loginFromThePage() {
        call("RelaySDK_IOS.Login()");
        EXPECT_TRUE(roadtest::loginThroughScreen());
        return event("onLogin");
    }
    std::string localToken(const std::string& sign) {
        return "P100|||977|||" + RMDevice::sharedInstance().deviceID() + "|||player1|||" +
               Extend::md5Stringg(std::string("player1") + roadtest::kCheckKey) + "|||player1|||" + sign;
    }
    void scriptAggregator(const std::string& path, const Reply& reply) {
        for (size_t i = 0; i < standIns.aggregator.apiCount(); ++i) standIns.aggregator.api(i).scriptAlways(path, reply);
    }

    testsupport::TempHome home;
    ScopedTestReachability net;
    roadtest::StandIns standIns;
    std::unique_ptr<testsupport::TempBundle> bundle;
    std::unique_ptr<aggtest::FreshAggregator> aggregator;
    std::unique_ptr<RMNetWorkUtil> gate;
    UIApplication& app = UIApplication::sharedApplication();
    std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>();
    std::shared_ptr<ProbedController> controller;
    ShownWindow gtkWindow;
    size_t seenMessages = 0;
    Value ready;
    std::vector<int> exits;
    bool withPageFramework = false;
};

TEST_F(LoginRoad, LoginFromThePageReachesOnLoginWithTheAggregatorsUser) {
    const std::string nick = "Ann \"Q\" O'Lee \\ x";
    scriptAggregator("/v2/users/checklogin",
                     Reply::json(AggregatorStandin::okReply(
                         Value::dict({{"uid", 10001}, {"user_name", nick}, {"user_token", "tok 77 \"issued\""}}))));
    launch();
    EXPECT_EQ(ready, Value::dict({{"relay", "object"}, {"hs", "undefined"}, {"sn", "undefined"}}));
    Value login = loginFromThePage();
    EXPECT_EQ(login, Value::dict({{"result", 0}, {"userId", "10001"}, {"userNick", nick}, {"userToken", "tok 77 \"issued\""}}));
    // The road went through both servers: the user centre's login, then
    // the aggregator's check of that user and session.
    auto check = standIns.aggregator.journal().last("/v2/users/checklogin");
    ASSERT_TRUE(check);
    EXPECT_EQ(check->signOk, true);
    EXPECT_EQ(check->decoded.text("uid"), "player1");
    EXPECT_EQ(check->decoded.text("token"), standIns.userCentre.tokenFor("player1"));
    EXPECT_EQ(standIns.userCentre.journal().count(UserCentreStandin::path("login/dologin")), 1u);
    EXPECT_FALSE(ZVLoginVC::current());
}

TEST_F(LoginRoad, WithTheAggregatorDownTheCheckKeyGivesTheLocalToken) {
    launch();
    standIns.aggregator.stop();
    Value login = loginFromThePage();
    EXPECT_EQ(login["result"], Value(0));
    EXPECT_EQ(login["userId"], Value("player1"));
    EXPECT_EQ(login["userNick"], Value("player1"));
    EXPECT_EQ(login["userToken"], Value(localToken(standIns.userCentre.tokenFor("player1"))));
}

TEST_F(LoginRoad, InitResultAndALoginAskedForBeforeInit) {
    launch(false);
    EXPECT_EQ(initResult(), Value(-1));
    call("RelaySDK_IOS.Login()");
    RunLoop::drain();
    EXPECT_FALSE(ZVLoginVC::current());
    net->setWiFi();  // the network comes: init runs, then the pending login
    ASSERT_TRUE(roadtest::loginThroughScreen());
    EXPECT_EQ(event("onLogin")["result"], Value(0));
    EXPECT_EQ(initResult(), Value(0));
    call("RelaySDK_IOS.GetChannelType(function (t) { report('channel', t); })");
    EXPECT_EQ(event("channel"), Value(977));
}

TEST_F(LoginRoad, LogoutFromThePage) {
    launch();
    ASSERT_EQ(loginFromThePage()["result"], Value(0));
    std::string token = standIns.userCentre.tokenFor("player1");
    call("RelaySDK_IOS.Logout()");
    EXPECT_EQ(event("onLogout"), Value::dict({{"result", 0}}));
    // The user centre heard of it and ended the session.
    ASSERT_TRUE(testsupport::waitFor([&] { return standIns.userCentre.tokenFor("player1").empty(); }));
    EXPECT_FALSE(token.empty());
}

TEST_F(LoginRoad, PayFromThePageOrdersThenPaysOnThePaymentScreen) {
    launch();
    ASSERT_EQ(loginFromThePage()["result"], Value(0));
    call(R"(RelaySDK_IOS.Pay({orderInfo: {goodsID: "g60", goodsName: "钻石", cpOrderID: "cp-1", count: 1, amount: 6},
                             roleInfo: {serverID: "s1", serverName: "一区", gameRoleID: "r1", gameRoleName: "勇者"}}))");
    ASSERT_TRUE(testsupport::waitFor([] { return ZVPayVC::current() && !ZVPayVC::current()->ways().empty(); }));
    auto order = standIns.aggregator.journal().last("/v1/order/orderpay");
    ASSERT_TRUE(order);
    EXPECT_EQ(order->decoded.text("cp_order_id"), "cp-1");
    EXPECT_EQ(order->decoded.text("uid"), "player1");
    ASSERT_TRUE(uitest::tapButton("确认支付"));
    Value paid = event("onPay");
    EXPECT_EQ(paid, Value::dict({{"result", 0}, {"orderId", "SO000001"}, {"cpOrderId", "cp-1"}}));
    // The user centre settled the aggregator's order.
    auto settled = standIns.userCentre.journal().last(UserCentreStandin::path("Pay/dopay"));
    ASSERT_TRUE(settled);
    EXPECT_EQ(settled->decoded.text("ext"), "SO000001");
    EXPECT_EQ(settled->decoded.text("m"), "6.00");
}

// A refused order: the player sees why (the toast and the refusal's
// alert); the page hears nothing, as no order was placed.
TEST_F(LoginRoad, ARefusedOrderShowsItsAlertAndAToastAndThePageHearsNothing) {
    scriptAggregator("/v1/order/orderpay", Reply::json(AggregatorStandin::errorReply(1000, "商品已下架")));
    launch();
    ASSERT_EQ(loginFromThePage()["result"], Value(0));
    call(R"(RelaySDK_IOS.Pay({orderInfo: {goodsID: "g60", cpOrderID: "cp-2", count: 1, amount: 6}}))");
    // The toast (found while it fades, when its model alpha is 0 already).
    ASSERT_TRUE(testsupport::waitFor([] {
        return uitest::findView([](UIView& v) {
            auto* label = dynamic_cast<UILabel*>(&v);
            return label && label->text() == "下单失败，商品已下架";
        }) != nullptr;
    }));
    EXPECT_FALSE(ZVPayVC::current());
    // Anything the page heard about it came before this round trip.
    call("report('mark', 1)");
    event("mark");
    for (auto& m : controller->probe->messages) EXPECT_NE(m.str("kind"), "onPay");
    ASSERT_TRUE(testsupport::waitFor([] { return uitest::findLabel("商品已下架") != nullptr; }));
    ASSERT_TRUE(testsupport::waitFor([] { return uitest::tapButton("确定"); }));
    ASSERT_TRUE(testsupport::waitFor([] { return uitest::findLabel("商品已下架") == nullptr; }));
    EXPECT_TRUE(exits.empty());
}

TEST_F(LoginRoad, RolesFromThePageAreReportedAndResentWithoutSignOn1000) {
    standIns.aggregator.gateway().script("/api/gateway", Reply::json(AggregatorStandin::errorReply(1000, "sign")));
    launch();
    call(R"(RelaySDK_IOS.SetGameRoleInfo({serverID: "s1", serverName: "一区", gameRoleName: "勇者 \"一\"",
                                          gameRoleID: "r1", gameRoleLevel: "3", isCreate: true}))");
    ASSERT_TRUE(testsupport::waitFor([&] { return standIns.aggregator.journal().count("/api/gateway") == 2; }));
    auto reports = standIns.aggregator.journal().entries("/api/gateway");
    EXPECT_EQ(reports[0].request.method, "GET");
    EXPECT_TRUE(reports[0].request.hasParam("sign"));
    EXPECT_FALSE(reports[1].request.hasParam("sign"));
    EXPECT_EQ(reports[1].decoded.text("gameRoleName"), "勇者 \"一\"");
    EXPECT_EQ(reports[1].decoded.text("gameVersion"), "1.2.0");
    // A wrong argument never leaves the page.
    call("RelaySDK_IOS.SetGameRoleInfo('r1')");
    EXPECT_TRUE(controller->probe->sawConsole("warn: RelaySDK_IOS.SetGameRoleInfo param error"));
}

TEST_F(LoginRoad, TheSocialPlugInAppearsOnlyWithAnInterfaceAndAPageFramework) {
    auto sn = std::make_shared<RegisteredSN>();
    SNSDKPlugin::SetInterface(sn);
    withPageFramework = true;
    launch();
    EXPECT_EQ(ready["sn"], Value("object"));
    call("KXWeb.iOS.SNSDK.IsRegistered(function (r) { report('registered', r); })");
    EXPECT_EQ(event("registered"), Value(true));
    call("KXWeb.iOS.SNSDK.Login('x')");
    call("KXWeb.iOS.SNSDK.Login({code: 1})");
    ASSERT_TRUE(testsupport::waitFor([&] { return sn->logins.size() == 1; }));
    EXPECT_EQ(sn->logins[0], R"({"code":1})");
    EXPECT_TRUE(controller->probe->sawConsole("warn: KXWeb.iOS.SNSDK.Login param error"));
}

}  // namespace
