#include "ScreenTestSupport.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/ui/UILabel.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVPayVC.h"
#include "usercenter/core/ZVUserCentre.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {
class Facade : public ScreenTest {
protected:
    std::vector<int> roles;
    void uploadRole(const std::string& roleId, const std::string& zoneName) {
        size_t before = roles.size();
        ZorviaSDK::SetUserInfoDataWithRoleId(roleId, "勇者", "12", "s1", zoneName, "attach",
                                             [this](int status) { roles.push_back(status); });
        ASSERT_TRUE(testsupport::waitFor([&] { return roles.size() > before; }));
    }

};

unsigned long orientations(const Value& entries) {
    testsupport::TempBundle b(Value::dict({{"UISupportedInterfaceOrientations", entries}}));
    return ZorviaSDK::application_supportedInterfaceOrientationsForWindow(UIApplication::sharedApplication(), nullptr);
}
}  // namespace

TEST_F(Facade, RoleUploadAnswersTwoOneOrZero) {
    // Any empty text: 2 at once, nothing sent.
    ZorviaSDK::SetUserInfoDataWithRoleId("r1", "", "12", "s1", "一区", "", [this](int s) { roles.push_back(s); });
    ZorviaSDK::SetUserInfoDataWithRoleId("r1", "n", "12", "s1", "", "", [this](int s) { roles.push_back(s); });
    EXPECT_EQ(roles, (std::vector<int>{2, 2}));
    EXPECT_EQ(env->standin().journal().count(UserCentreStandin::path("Sdkhome/uprole")), 0u);

    uploadRole("r1", "一区");
    EXPECT_EQ(roles.back(), 1);
    auto sent = env->standin().journal().last(UserCentreStandin::path("Sdkhome/uprole"));
    ASSERT_TRUE(sent);
    for (auto [k, v] : std::vector<std::pair<std::string, std::string>>{
             {"roleId", "r1"}, {"roleName", "勇者"}, {"roleLevel", "12"}, {"zoneId", "s1"}, {"zoneName", "一区"},
             {"ext", "attach"}})
        EXPECT_EQ(sent->decoded.text(k), v) << k;

    env->standin().server().script(UserCentreStandin::path("Sdkhome/uprole"),
                                   UserCentreStandin::coded(Value::dict({{"z", 0}, {"b", "no"}})));
    uploadRole("r1", "一区");
    EXPECT_EQ(roles.back(), 0);
    env->standin().server().script(UserCentreStandin::path("Sdkhome/uprole"), Reply::closeConnection());
    uploadRole("r1", "一区");
    EXPECT_EQ(roles.back(), 0);
}

TEST_F(Facade, OrientationMaskFromTheInfoPlist) {
    EXPECT_EQ(orientations(Value::array({"UIInterfaceOrientationPortrait"})), 2u);
    EXPECT_EQ(orientations(Value::array({"UIInterfaceOrientationPortrait", "UIInterfaceOrientationPortraitUpsideDown"})), 2u);
    EXPECT_EQ(orientations(Value::array({"UIInterfaceOrientationLandscapeLeft", "UIInterfaceOrientationLandscapeRight"})), 24u);
    EXPECT_EQ(orientations(Value::array({"UIInterfaceOrientationPortrait", "UIInterfaceOrientationLandscapeRight"})), 26u);
    EXPECT_EQ(orientations(Value::array()), 24u);
    EXPECT_EQ(orientations(Value("UIInterfaceOrientationPortrait")), 24u);  // not a list: no entry
    EXPECT_EQ(orientations(Value::array({1, Value::dict(), "UIInterfaceOrientationPortrait"})), 2u);
}

TEST_F(Facade, OpenURLActsOnlyOnTheGamesReturnScheme) {
    int quick = 0;
    auto token = NSNotificationCenter::defaultCenter().addObserver("SendQuickLogin", [&](const NSNotification&) { ++quick; });
    auto& app = UIApplication::sharedApplication();
    size_t payReturns = ZVPayPlug::handledCount();
    auto open = [&](const std::string& text) {
        auto url = NSURL::URLWithString(text);
        ASSERT_TRUE(url) << text;
        ZorviaSDK::application_handleOpenURL(app, *url);
    };
    open("ZorviaPaylinkScheme1001://payreturn?result=%7B%7D");
    EXPECT_EQ(ZVPayPlug::handledCount(), payReturns + 1);
    open("ZorviaPaylinkScheme9999://payreturn");   // another game's scheme
    open("https://payreturn/");                     // not a return scheme at all
    open("ZorviaPaylinkScheme1001://ZOR_QUICK&only-a-name");
    open("ZorviaPaylinkScheme1001://elsewhere");
    EXPECT_EQ(ZVPayPlug::handledCount(), payReturns + 1);
    EXPECT_EQ(quick, 0);

    open("zorviapaylinkscheme1001://box.ZOR_QUICK&%E5%BC%A0%E4%B8%89&p%26ss");
    EXPECT_EQ(quick, 1);
    EXPECT_EQ(ShareVale::sharedInstance().userName(), "张三");
    EXPECT_EQ(ShareVale::sharedInstance().password(), "p&ss");
    NSNotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(Facade, LogoutHidesTheButtonStopsTheTimerAndTellsTheServer) {
    loginThroughScreen();
    ASSERT_EQ(login.successes, 1);
    std::string token = login.sign;
    auto button = CXRHelperBtn::sharedButton();
    ASSERT_TRUE(button->isOnlineTimerRunning());

    ZorviaSDK::LoginOut();
    EXPECT_TRUE(button->isHidden());
    EXPECT_TRUE(button->buttonWindow()->isHidden());
    EXPECT_FALSE(button->isOnlineTimerRunning());
    EXPECT_EQ(ShareVale::sharedInstance().loginStyle(), 2);
    EXPECT_FALSE(ShareVale::sharedInstance().isLogin);
    // The stand-in clears the token before it journals the request: wait for both.
    auto logout = UserCentreStandin::path("login/logout");
    ASSERT_TRUE(testsupport::waitFor([&] {
        return env->standin().tokenFor("player1").empty() && env->standin().journal().last(logout);
    }));
    auto sent = env->standin().journal().last(logout);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->decoded.text("s"), token);
    EXPECT_EQ(login.failures.size(), 0u);  // no call back
    // No report once the timer is gone.
    size_t reports = env->standin().journal().count(UserCentreStandin::path("Sdkhome/online"));
    advance(180);
    RunLoop::runFor(std::chrono::milliseconds(50));
    EXPECT_EQ(env->standin().journal().count(UserCentreStandin::path("Sdkhome/online")), reports);
}

TEST_F(Facade, OnlineTimeIsReportedEveryMinuteAndTheLimitLogsOut) {
    loginThroughScreen();
    const std::string online = UserCentreStandin::path("Sdkhome/online");
    advance(59);
    RunLoop::runFor(std::chrono::milliseconds(30));
    EXPECT_EQ(env->standin().journal().count(online), 0u);
    advance(1);
    ASSERT_TRUE(testsupport::waitFor([&] { return env->standin().journal().count(online) == 1; }));
    auto sent = env->standin().journal().last(online);
    EXPECT_EQ(sent->decoded["d"].intValue(), 60);
    EXPECT_EQ(sent->decoded.text("s"), login.sign);
    advance(120);
    ASSERT_TRUE(testsupport::waitFor([&] { return env->standin().journal().count(online) == 3; }));

    env->standin().server().script(online, UserCentreStandin::coded(Value::dict({{"z", -2}, {"b", "今日游戏时间已用完"}})));
    advance(60);
    ASSERT_TRUE(testsupport::waitFor([] { return !UIAlertView::visibleAlertViews().empty(); }));
    auto alert = UIAlertView::visibleAlertViews().back();
    EXPECT_EQ(alert->message(), "今日游戏时间已用完");
    EXPECT_FALSE(CXRHelperBtn::sharedButton()->isOnlineTimerRunning());
    EXPECT_TRUE(login.failures.empty());
    alert->clickButtonAtIndex(0);
    advance(0.5);
    ASSERT_EQ(login.failures.size(), 1u);
    EXPECT_EQ(login.failures[0], std::make_pair(-9, std::string("注销")));
    EXPECT_TRUE(CXRHelperBtn::sharedButton()->isHidden());
    EXPECT_FALSE(ShareVale::sharedInstance().isLogin);
}

TEST_F(Facade, WithoutAUserCentreTheFloatingButtonOpensNothing) {
    loginThroughScreen();
    auto button = CXRHelperBtn::sharedButton();
    ASSERT_FALSE(button->isHidden());
    ASSERT_TRUE(uitest::tapView(*button));
    EXPECT_FALSE(button->helperWindow());
    EXPECT_FALSE(button->isHidden());
}

TEST_F(Facade, TheButtonSettlesAtTheNearerEdgeAndLetsOtherTouchesThrough) {
    loginThroughScreen();
    auto button = CXRHelperBtn::sharedButton();
    uitest::layout();
    CGPoint start = CGPoint{uitest::screenFrame(*button).midX(), uitest::screenFrame(*button).midY()};
    ASSERT_TRUE(uitest::drag(start, {300, 400}));
    advance(0.3);
    CGRect f = uitest::screenFrame(*button);
    EXPECT_DOUBLE_EQ(f.maxX(), 375);
    EXPECT_NEAR(f.midY(), 400, 1);
    EXPECT_FALSE(button->helperWindow());  // a drag is no tap
    // Away from the button, the button's window takes no touch.
    EXPECT_FALSE(button->buttonWindow()->hitTestWindow({100, 100}));
    EXPECT_TRUE(button->buttonWindow()->hitTestWindow(CGPoint{f.midX(), f.midY()}));
}

TEST_F(Facade, PaymentSettlesOnTheServer) {
    loginThroughScreen();
    openPay("6.00");
    auto vc = ZVPayVC::current();
    ASSERT_TRUE(vc);
    ASSERT_TRUE(testsupport::waitFor([&] { return !vc->ways().empty(); }));
    EXPECT_EQ(vc->ways()[0].wayId, "ptb");
    EXPECT_TRUE(labelShown("商品：钻石×60"));
    EXPECT_TRUE(uitest::findButton("平台币（余额 1000.00）"));
    ASSERT_TRUE(uitest::tapButton("确认支付"));
    ASSERT_TRUE(testsupport::waitFor([&] { return payEnded(); }));
    EXPECT_EQ(pay.successes, 1);
    EXPECT_EQ(pay.a.textValue(), "ZV000001");
    EXPECT_EQ(pay.b.textValue(), "6.00");
    EXPECT_FALSE(ZVPayVC::current());
    EXPECT_EQ(env->standin().account("player1")->balanceCents, 100000 - 600);
    auto sent = env->standin().journal().last(UserCentreStandin::path("Pay/dopay"));
    EXPECT_EQ(sent->decoded.text("ext"), "AGG-0001");
    EXPECT_EQ(sent->decoded.text("m"), "6.00");
    EXPECT_EQ(sent->decoded.text("s"), login.sign);
}

TEST_F(Facade, RefusedPaymentsStayOpenAndClosingCancels) {
    loginThroughScreen();
    auto account = *env->standin().account("player1");
    account.balanceCents = 100;
    env->standin().addAccount("player1", account);
    openPay("6.00");
    auto vc = ZVPayVC::current();
    ASSERT_TRUE(vc);
    ASSERT_TRUE(testsupport::waitFor([&] { return !vc->ways().empty(); }));
    ASSERT_TRUE(uitest::tapButton("确认支付"));
    ASSERT_TRUE(testsupport::waitFor([&] { return labelShown("余额不足"); }));
    EXPECT_FALSE(payEnded());
    EXPECT_TRUE(ZVPayVC::current());

    auto close = uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "pay_close"; });
    ASSERT_TRUE(close);
    ASSERT_TRUE(uitest::tapView(*close));
    EXPECT_EQ(pay.failures, 1);
    EXPECT_EQ(pay.code, 6001);
    EXPECT_EQ(pay.a.textValue(), "AGG-0001");
    EXPECT_FALSE(ZVPayVC::current());
    // Exactly one block, even if the player taps again.
    uitest::tapView(*close);
    EXPECT_EQ(pay.failures, 1);
    EXPECT_EQ(pay.successes, 0);
}

// No way to pay (a session the server no longer knows, or no answer): the
// screen says why in place of the ways and leads back to the game; the
// panel is as tall as what it shows, with no empty band.
TEST_F(Facade, APaymentScreenWithoutWaysSaysWhyAndLeadsBack) {
    loginThroughScreen();
    auto& server = env->standin().server();
    auto note = [] {
        return std::dynamic_pointer_cast<UILabel>(
            uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "pay_ways_note"; }));
    };
    server.script(UserCentreStandin::path("Pay/payway"),
                  UserCentreStandin::coded(Value::dict({{"z", -5}, {"b", "登录已失效，请重新登录"}})));
    openPay("6.00");
    auto vc = ZVPayVC::current();
    ASSERT_TRUE(vc);
    ASSERT_TRUE(testsupport::waitFor([&] { return note() && !note()->isHidden() && note()->text() != "正在获取支付方式…"; }));
    EXPECT_EQ(note()->text(), "无法获取支付方式\n登录已失效，请重新登录");
    EXPECT_FALSE(uitest::findButton("确认支付"));
    ASSERT_TRUE(uitest::tapButton("返回游戏"));
    EXPECT_EQ(pay.failures, 1);
    EXPECT_EQ(pay.code, 4000);
    EXPECT_EQ(pay.b.textValue(), "登录已失效，请重新登录");
    EXPECT_FALSE(ZVPayVC::current());
    EXPECT_EQ(env->standin().journal().count(UserCentreStandin::path("Pay/dopay")), 0u);

    // No answer at all: the same, with the request layer's word; Return leads back too.
    pay = {};
    server.script(UserCentreStandin::path("Pay/payway"), standin::Reply::closeConnection());
    openPay("6.00");
    ASSERT_TRUE(testsupport::waitFor([&] { return note() && note()->text() == "无法获取支付方式\n服务器错误"; }));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputReturn));
    EXPECT_EQ(pay.code, 4000);

    // With a way: the button right under it.
    pay = {};
    openPay("6.00");
    vc = ZVPayVC::current();
    ASSERT_TRUE(testsupport::waitFor([&] { return vc && !vc->ways().empty(); }));
    uitest::layout();
    auto way = uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "pay_way_ptb"; });
    auto confirm = uitest::findButton("确认支付");
    ASSERT_TRUE(way && confirm);
    double gap = uitest::screenFrame(*confirm).minY() - uitest::screenFrame(*way).maxY();
    EXPECT_GT(gap, 0);
    EXPECT_LT(gap, 30);
    EXPECT_FALSE(note());  // hidden
}

TEST_F(Facade, PaymentIsRefusedAtOnceWithoutALoginOrAnAmount) {
    makeWindow();  // the game's window, where the toast shows
    openPay("6.00");
    EXPECT_EQ(pay.failures, 1);
    EXPECT_EQ(pay.code, 4000);
    EXPECT_FALSE(ZVPayVC::current());
    EXPECT_TRUE(labelShown("请先登录"));
    loginThroughScreen();
    for (const char* bad : {"", "0", "-1", "abc", "6.001", "1e3"}) {
        pay = {};
        openPay(bad);
        EXPECT_EQ(pay.failures, 1) << bad;
        EXPECT_FALSE(ZVPayVC::current()) << bad;
    }
    EXPECT_EQ(env->standin().journal().count(UserCentreStandin::path("Pay/payway")), 0u);
}
