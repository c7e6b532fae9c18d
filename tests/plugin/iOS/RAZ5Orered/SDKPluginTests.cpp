// The SDK plug-ins without an engine: the aggregator plug-in's operations
// and events through a recording web view, its interface object between
// the page's JSON and the aggregator's notifications, and the dormant
// channel plug-ins, inert without an interface and complete with one.

#include <gtest/gtest.h>

#include "AggregatorCoreSupport.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/RelayNotifications.h"
#include "aggregator/SDKCooperater.h"
#include "platform/ui/UIApplication.h"
#include "platform/web/RecordingWebView.h"
#include "support/BridgeMessages.h"
#include "plugin/iOS/RAZ5Orered/HSSDKPlugin.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/RelaySDKPlugin.h"
#include "plugin/iOS/RAZ5Orered/SNSDKPlugin.h"
#include "support/TestSupport.h"

namespace {

std::vector<std::string> scripts(const std::shared_ptr<RecordingWebView>& view) {
    auto s = view->evaluatedScripts();
    view->clearEvaluatedScripts();
    return s;
}

Value message(const std::string& name, const Value& args = Value()) { return testsupport::postedMessage(name, args); }

void post(NSNotificationCenter& center, const char* name, const Value& info) {
    center.postNotificationName(name, nullptr, info);
}

// An interface that records the page's operations instead of reaching the aggregator.
class RecordingRelay : public RelaySDKInterface {
public:
    std::vector<std::string> calls;
    int initResult = -1, channelType = 977;
    int GetInitResult() override { return initResult; }
    void ReInit() override { calls.push_back("ReInit"); }
    void Login() override { calls.push_back("Login"); }
    void Logout() override { calls.push_back("Logout"); }
    void SetGameRoleInfo(const std::optional<std::string>& json) override {
        calls.push_back("SetGameRoleInfo " + json.value_or("(none)"));
    }
    void Pay(const std::optional<std::string>& json) override { calls.push_back("Pay " + json.value_or("(none)")); }
    int GetChannelType() override { return channelType; }
};

class SDKPlugins : public ::testing::Test {
protected:
    void SetUp() override {
        registerSDKPlugins();
        IOSPlugin::resetForTesting();
    }
    void TearDown() override {
        IOSPlugin::Unload();
        IOSPlugin::resetForTesting();
    }
    // The bridge with `relay` installed as "RelaySDK", loaded, on a new web view.
    std::shared_ptr<RecordingWebView> startWith(const std::shared_ptr<PluginInterface>& iface, const std::string& name) {
        IOSPlugin::SetInterface(iface, name);
        IOSPlugin::Load();
        auto view = RecordingWebView::create();
        IOSPlugin::SetWebView(view);
        return view;
    }
};

TEST_F(SDKPlugins, ThePagesOperationsReachTheInterfaceAndQueriesAnswerAtOnce) {
    auto relay = std::make_shared<RecordingRelay>();
    auto view = startWith(relay, "RelaySDK");
    auto ucc = view->configuration()->userContentController();
    EXPECT_TRUE(ucc->scriptMessageHandlerForName("iOS_RelaySDK"));
    EXPECT_FALSE(ucc->scriptMessageHandlerForName("iOS_HSSDK"));
    EXPECT_FALSE(ucc->scriptMessageHandlerForName("iOS_SNSDK"));

    view->postMessage("iOS_RelaySDK", message("GetInitResult"));
    relay->initResult = 0;
    view->postMessage("iOS_RelaySDK", message("GetInitResult"));
    view->postMessage("iOS_RelaySDK", message("GetChannelType"));
    EXPECT_EQ(scripts(view), (std::vector<std::string>{R"(__KLCallFunc(["RelaySDK_IOS","RelaySDK_GetInitResult_CbFunc",-1]);)",
                                                       R"(__KLCallFunc(["RelaySDK_IOS","RelaySDK_GetInitResult_CbFunc",0]);)",
                                                       R"(__KLCallFunc(["RelaySDK_IOS","RelaySDK_GetChannelType_CbFunc",977]);)"}));

    for (auto& m : {message("ReInit"), message("Login"), message("SetGameRoleInfo", R"({"serverID":"s1"})"),
                    message("Pay", "null"), message("Pay", 5), message("Logout"), message("Unknown"),
                    Value("Login"), Value::dict({{"name", "Login"}}), testsupport::postedMessage("")})
        view->postMessage("iOS_RelaySDK", m);
    EXPECT_EQ(relay->calls, (std::vector<std::string>{"ReInit", "Login", R"(SetGameRoleInfo {"serverID":"s1"})",
                                                      "Pay null", "Pay (none)", "Logout"}));
    EXPECT_TRUE(scripts(view).empty());

    // Unloaded, the interface hears nothing more.
    IOSPlugin::Unload();
    RelaySDKPlugin::resetForTesting();
    view->postMessage("iOS_RelaySDK", message("Login"));
    EXPECT_EQ(relay->calls.size(), 6u);
}

TEST_F(SDKPlugins, EventsReachThePageAsJSONValuesThatArriveIntact) {
    auto relay = std::make_shared<RecordingRelay>();
    auto view = startWith(relay, "RelaySDK");
    // Load registered the three callbacks: the interface's events reach the page.
    relay->OnLogin(std::string(R"({"result":0,"userNick":"A \"q\" b\\c"})"));
    relay->OnLogout(std::nullopt);
    relay->OnPay(std::string(R"({"result":1})"));
    auto got = scripts(view);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], R"(__KLCallFunc(["RelaySDK_IOS","onLogin","{\"result\":0,\"userNick\":\"A \\\"q\\\" b\\\\c\"}",1]);)");
    EXPECT_EQ(got[1], R"(__KLCallFunc(["RelaySDK_IOS","onLogout"]);)");
    EXPECT_EQ(got[2], R"(__KLCallFunc(["RelaySDK_IOS","onPay","{\"result\":1}",1]);)");

    // A callback code the interface does not report is refused; unregistered, an event goes nowhere.
    EXPECT_EQ(relay->RegCB(1404, [](const char*) { FAIL(); }), 0);
    EXPECT_EQ(relay->UnregCB(1404), 0);
    EXPECT_EQ(relay->UnregCB(RelaySDKInterface::kLoginEvent), 1);
    relay->OnLogin(std::string("{}"));
    EXPECT_TRUE(scripts(view).empty());
}

TEST_F(SDKPlugins, OnlyAnAggregatorInterfaceIsTaken) {
    class Other : public PluginInterface {
    public:
        void InitSDK() override {}
        void ReleaseSDK() override {}
        int RegCB(int, PluginEventCallback) override { return 1; }
        int UnregCB(int) override { return 1; }
    };
    auto view = startWith(std::make_shared<Other>(), "RelaySDK");
    EXPECT_FALSE(RelaySDKPlugin::GetInterface());
    EXPECT_FALSE(view->configuration()->userContentController()->scriptMessageHandlerForName("iOS_RelaySDK"));
    EXPECT_EQ(view->configuration()->userContentController()->userScripts().size(), 1u);  // the system plug-in's
}

// ---- The interface object between the page and the aggregator

class RelayInterface : public ::testing::Test {
protected:
    void SetUp() override {
        relay->InitSDK();
        for (int code : {1401, 1402, 1403})
            relay->RegCB(code, [this, code](const char* json) {
                events.push_back(std::to_string(code) + " " + (json ? json : "(null)"));
            });
    }
    void TearDown() override { relay->ReleaseSDK(); }

    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    aggtest::FreshAggregator aggregator;
    std::shared_ptr<RelaySDKInterface> relay = std::make_shared<RelaySDKInterface>();
    std::vector<std::string> events;
    NSNotificationCenter& center = NSNotificationCenter::defaultCenter();
};

TEST_F(RelayInterface, TheInitResultIsMinusOneUntilInitFinishesWhateverItsResult) {
    relay->InitWithApplication(UIApplication::sharedApplication(), Value(), std::string("key"), std::nullopt);
    EXPECT_EQ(relay->GetInitResult(), -1);
    EXPECT_EQ(SDKCooperater::shareCooperater().platformCfg()->productKey(), "key");
    EXPECT_EQ(SDKCooperater::shareCooperater().platformCfg()->productCode(), "");
    post(center, kRlpcRPInitDidFinishedNotification, Value::dict({{"error", -21}, {"msg", "init finish"}}));
    EXPECT_EQ(relay->GetInitResult(), 0);
    relay->ReInit();  // the facade starts once: nothing changes
    EXPECT_EQ(relay->GetInitResult(), 0);
}

TEST_F(RelayInterface, LoginResultsCarryTheTokenOfThisLogin) {
    SDKCooperater::shareCooperater().setLastUserToken("stale-token");
    RLPCRelayChannel::defaultChannel().updateUserId(Value("10001"));
    RLPCRelayChannel::defaultChannel().updateUserNick(Value("Ann \"Q\" Lee"));
    post(center, kRlpcRPLoginNotification,
         Value::dict({{"error", 0}, {"msg", "login success"}, {"uid", "10001"}, {"user_token", "P100|||local"}}));
    post(center, kRlpcRPLoginNotification, Value::dict({{"error", -301}, {"msg", "login fail"}}));
    post(center, kRlpcRPLogoutNotification, Value::dict({{"error", 0}, {"msg", "logout"}}));
    post(center, kRlpcRPLogoutNotification, Value::dict({{"error", 3}}));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0], R"(1401 {"result":0,"userId":"10001","userNick":"Ann \"Q\" Lee","userToken":"P100|||local"})");
    EXPECT_EQ(events[1], R"(1401 {"result":1})");
    EXPECT_EQ(events[2], R"(1402 {"result":0})");
    EXPECT_EQ(events[3], R"(1402 {"result":1})");
}

TEST_F(RelayInterface, PayResultsGoOutOnlyWithAPayCallback) {
    post(center, kRlpcRPNotiRecharge,
         Value::dict({{"error", 0}, {"orderId", "SO1"}, {"cpOrderId", "cp-1"}, {"sdkOrderId", "x"}}));
    post(center, kRlpcRPNotiRecharge, Value::dict({{"error", -401}, {"orderId", "SO2"}}));
    relay->UnregCB(1403);
    post(center, kRlpcRPNotiRecharge, Value::dict({{"error", 0}, {"orderId", "SO3"}}));
    EXPECT_EQ(events, (std::vector<std::string>{R"(1403 {"cpOrderId":"cp-1","orderId":"SO1","result":0})",
                                                R"(1403 {"result":1})"}));
    // Released: no observer and no callback is left.
    relay->ReleaseSDK();
    post(center, kRlpcRPLoginNotification, Value::dict({{"error", 0}}));
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(RelayInterface, ThePagesRecordsBecomeTheAggregatorsRecords) {
    Value page = *Value::fromJSON(R"({"goodsID":"g1","goodsName":"钻石","cpOrderID":77,"count":"2","amount":"6.5",
                                     "extrasParams":{"a":1},"callbackUrl":"https://x/cb"})");
    auto order = RelaySDKInterface::orderInfoFromPage(page);
    EXPECT_EQ(order->goodsID(), "g1");
    EXPECT_EQ(order->productName(), "钻石");
    EXPECT_EQ(order->cpOrderID(), "77");
    EXPECT_EQ(order->count(), 2u);
    EXPECT_EQ(order->amount(), 6.5);
    EXPECT_EQ(order->extrasParams(), R"({"a":1})");
    EXPECT_EQ(order->callbackUrl(), "https://x/cb");
    auto empty = RelaySDKInterface::orderInfoFromPage(Value::dict({{"count", -3}}));
    EXPECT_EQ(empty->count(), 0u);
    EXPECT_EQ(empty->amount(), 0.0);

    auto role = RelaySDKInterface::roleInfoFromPage(*Value::fromJSON(
        R"({"serverID":1,"serverName":"一区","gameRoleName":"勇者","gameRoleID":"r1","gameBalance":"5","vipLevel":2,
            "gameRoleLevel":"30","partyName":"盟"})"));
    EXPECT_EQ(role->serverId(), "1");
    EXPECT_EQ(role->gameRoleID(), "r1");
    EXPECT_EQ(role->gameUserBalance(), "5");
    EXPECT_EQ(role->vipLevel(), "2");
    EXPECT_EQ(role->gameUserLevel(), "30");
    EXPECT_EQ(role->partyName(), "盟");
    EXPECT_EQ(RelaySDKInterface::roleInfoFromPage(Value::dict())->vipLevel(), "0");  // unset keeps its default
}

TEST_F(RelayInterface, PayAndRoleCallsReachTheAggregator) {
    aggtest::NotificationRecorder seen{{kRlpcRPNotiRecharge}};
    // An order without a role still goes to the facade, which fails it here
    // (no server): the player is told, the game hears nothing.
    relay->Pay(R"({"orderInfo":{"goodsID":"g1","count":"2","amount":"6.5"}})");
    ASSERT_TRUE(testsupport::waitFor([&] { return aggregator.zorvia->messages.size() == 1; }));
    EXPECT_EQ(aggregator.zorvia->messages[0], "下单失败，网络故障");
    RunLoop::drain();
    EXPECT_EQ(seen.count(kRlpcRPNotiRecharge), 0u);
    // No order: failed at once. Not an object, or no text: dropped.
    relay->Pay(R"({"roleInfo":{}})");
    EXPECT_EQ(seen.count(kRlpcRPNotiRecharge), 1u);
    EXPECT_EQ(seen.all()[0].userInfo["msg"], Value("Pay params error"));
    relay->Pay(std::string("null"));
    relay->Pay(std::string("{bad"));
    relay->Pay(std::nullopt);
    RunLoop::drain();
    EXPECT_EQ(seen.count(kRlpcRPNotiRecharge), 1u);

    relay->SetGameRoleInfo(R"({"serverID":"s1","serverName":"一区","gameRoleName":"勇者","gameRoleID":"r1",
                              "gameRoleLevel":"3","isCreate":true})");
    relay->SetGameRoleInfo(std::string("[1,2]"));
    ASSERT_EQ(aggregator.zorvia->roles.size(), 1u);
    EXPECT_EQ(aggregator.zorvia->roles[0].roleId, "r1");
    EXPECT_EQ(aggregator.zorvia->roles[0].zoneName, "一区");
    EXPECT_EQ(SDKCooperater::shareCooperater().lastEnteredRole()->gameRoleID(), "r1");
}

// ---- The dormant channel plug-ins

class RecordingHS : public HSSDKInterface {
public:
    std::vector<std::string> calls;
    std::optional<std::string> gameId = "g\"1</script>";
    bool appStore = true;
    void InitSDK() override { calls.push_back("InitSDK"); }
    void ReleaseSDK() override { calls.push_back("ReleaseSDK"); }
    int RegCB(int code, PluginEventCallback) override {
        calls.push_back("RegCB " + std::to_string(code));
        return 1;
    }
    int UnregCB(int) override { return 1; }
    int GetInitResult() override { return 0; }
    void Login() override { calls.push_back("Login"); }
    void Logout() override { calls.push_back("Logout"); }
    void Pay(const std::string& json) override { calls.push_back("Pay " + json); }
    void LogRole(const std::string& json) override { calls.push_back("LogRole " + json); }
    std::optional<std::string> GetGameId() override { return gameId; }
    bool IsSendAppStore() override { return appStore; }
};

class RecordingSN : public SNSDKInterface {
public:
    std::vector<std::string> calls;
    void InitSDK() override { calls.push_back("InitSDK"); }
    void ReleaseSDK() override { calls.push_back("ReleaseSDK"); }
    int RegCB(int code, PluginEventCallback) override {
        calls.push_back("RegCB " + std::to_string(code));
        return 1;
    }
    int RegIntCB(int code, RegisterCallback) override {
        calls.push_back("RegIntCB " + std::to_string(code));
        return 1;
    }
    int UnregCB(int) override { return 1; }
    void RegisterSN(const std::string& t) override { calls.push_back("RegisterSN " + t); }
    bool IsRegistered() override { return false; }
    bool IsSNAppInstalled() override { return true; }
    void Login(const std::string& j) override { calls.push_back("Login " + j); }
    void Pay(const std::string& j) override { calls.push_back("Pay " + j); }
    void SendText(const std::string& j) override { calls.push_back("SendText " + j); }
    void SendImage(const std::string& j) override { calls.push_back("SendImage " + j); }
    void SendWebpage(const std::string& j) override { calls.push_back("SendWebpage " + j); }
    void OnLogin(const Value& v) override { calls.push_back("OnLogin " + v.toJSON()); }
    void OnPay(const Value& v) override { calls.push_back("OnPay " + v.toJSON()); }
    void OnShare(const Value& v) override { calls.push_back("OnShare " + v.toJSON()); }
};

TEST_F(SDKPlugins, WithoutInterfacesTheDormantPlugInsAddNothing) {
    IOSPlugin::Load();
    auto view = RecordingWebView::create();
    IOSPlugin::SetWebView(view);
    auto ucc = view->configuration()->userContentController();
    EXPECT_FALSE(ucc->scriptMessageHandlerForName("iOS_HSSDK"));
    EXPECT_FALSE(ucc->scriptMessageHandlerForName("iOS_SNSDK"));
    EXPECT_FALSE(ucc->scriptMessageHandlerForName("iOS_RelaySDK"));
    EXPECT_EQ(ucc->userScripts().size(), 1u);
    OnHSSDKLogin("{}");
    OnSNSDKRegister(1);
    SNSDKPlugin::OnLogin(Value("x"));
    EXPECT_TRUE(view->evaluatedScripts().empty());
}

TEST_F(SDKPlugins, AChannelInterfaceUnderHSSDKTakesThePlaceOfTheAggregatorPlugIn) {
    auto hs = std::make_shared<RecordingHS>();
    auto view = startWith(hs, "HSSDK");
    auto ucc = view->configuration()->userContentController();
    EXPECT_TRUE(ucc->scriptMessageHandlerForName("iOS_HSSDK"));
    EXPECT_FALSE(ucc->scriptMessageHandlerForName("iOS_RelaySDK"));
    EXPECT_EQ(hs->calls, (std::vector<std::string>{"InitSDK", "RegCB 2901", "RegCB 2902", "RegCB 2903"}));
    hs->calls.clear();

    for (auto& m : {message("GetInitResult"), message("Login"), message("Logout"), message("Pay", R"({"a":1})"),
                    message("LogRole", R"({"r":2})"), message("GetGameId"), message("IsSendAppStore")})
        view->postMessage("iOS_HSSDK", m);
    hs->gameId.reset();
    hs->appStore = false;
    view->postMessage("iOS_HSSDK", message("GetGameId"));
    view->postMessage("iOS_HSSDK", message("IsSendAppStore"));
    EXPECT_EQ(hs->calls, (std::vector<std::string>{"Login", "Logout", R"(Pay {"a":1})", R"(LogRole {"r":2})"}));
    // The game id is a string literal like any other value: it cannot end the script.
    EXPECT_EQ(scripts(view), (std::vector<std::string>{
                                 R"(__KLCallFunc(["HSSDK_IOS","HSSDK_GetInitResult_CbFunc",0]);)",
                                 R"(__KLCallFunc(["HSSDK_IOS","HSSDK_GetGameId_CbFunc","g\"1<\/script>"]);)",
                                 R"(__KLCallFunc(["HSSDK_IOS","HSSDK_IsSendAppStore_CbFunc",true]);)",
                                 R"(__KLCallFunc(["HSSDK_IOS","HSSDK_GetGameId_CbFunc"]);)",
                                 R"(__KLCallFunc(["HSSDK_IOS","HSSDK_IsSendAppStore_CbFunc",false]);)"}));
    OnHSSDKPay(R"({"result":0})");
    OnHSSDKLogout(nullptr);
    EXPECT_EQ(scripts(view), (std::vector<std::string>{R"(__KLCallFunc(["HSSDK_IOS","onPay","{\"result\":0}",1]);)",
                                                       R"(__KLCallFunc(["HSSDK_IOS","onLogout"]);)"}));
    IOSPlugin::Unload();
    EXPECT_EQ(hs->calls.back(), "ReleaseSDK");
}

TEST_F(SDKPlugins, ASocialInterfaceRegistersItsFiveCallbacksAndServesItsPageObject) {
    auto sn = std::make_shared<RecordingSN>();
    SNSDKPlugin::SetInterface(sn);
    IOSPlugin::Load();
    EXPECT_EQ(sn->calls, (std::vector<std::string>{"InitSDK", "RegIntCB 215", "RegCB 211", "RegCB 212", "RegCB 213",
                                                   "RegCB 214"}));
    sn->calls.clear();
    auto view = RecordingWebView::create();
    IOSPlugin::SetWebView(view);
    EXPECT_TRUE(view->configuration()->userContentController()->scriptMessageHandlerForName("iOS_SNSDK"));

    for (auto& m : {message("RegisterSN", "app-1"), message("RegisterSN", 3), message("IsRegistered"),
                    message("IsSNAppInstalled"), message("Login", "{}"), message("Pay", "{}"),
                    message("SendText", R"({"t":"x"})"), message("SendImage", "{}"), message("SendWebpage", "{}")})
        view->postMessage("iOS_SNSDK", m);
    EXPECT_EQ(sn->calls, (std::vector<std::string>{"RegisterSN app-1", "Login {}", "Pay {}", R"(SendText {"t":"x"})",
                                                   "SendImage {}", "SendWebpage {}"}));
    OnSNSDKRegister(3);
    OnSNSDKShare(R"({"ok":true})");
    OnSNSDKReq(nullptr);
    EXPECT_EQ(scripts(view),
              (std::vector<std::string>{R"(__KLCallFunc(["KXWeb.iOS.SNSDK","SNSDK_IsRegistered_CbFunc",false]);)",
                                        R"(__KLCallFunc(["KXWeb.iOS.SNSDK","SNSDK_IsSNAppInstalled_CbFunc",true]);)",
                                        R"(__KLCallFunc(["KXWeb.iOS.SNSDK","onRegister",3]);)",
                                        R"(__KLCallFunc(["KXWeb.iOS.SNSDK","onShare","{\"ok\":true}",1]);)",
                                        R"(__KLCallFunc(["KXWeb.iOS.SNSDK","onSNReq"]);)"}));
    sn->calls.clear();
    SNSDKPlugin::OnLogin(Value::dict({{"code", "c1"}}));
    SNSDKPlugin::OnShare(Value(1));
    EXPECT_EQ(sn->calls, (std::vector<std::string>{R"(OnLogin {"code":"c1"})", "OnShare 1"}));
}

}  // namespace
