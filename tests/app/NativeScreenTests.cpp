// The native screens in the running executable under a virtual X server,
// driven with real keys and clicks (XTest) against both stand-ins: Escape
// closes the login window and the page hears a failed login; a login typed
// with keys and Return alone succeeds and logs no whole token; a login and a
// payment reach the log files; Pay before a login fails and tells the player; the window shows the page at once and
// a window destroyed from outside ends the process cleanly.
//
// The page reports through KL_IOS.Error, whose lines reach the executable's
// standard error.

#include <gtest/gtest.h>

#include "LoginRoadSupport.h"
#include "platform/security/Digest.h"
#include "support/GameProcess.h"
#include "support/TestSupport.h"

// X11 last: its macros collide with names above.
#include "support/GameWindow.h"

namespace {

using namespace testsupport;

constexpr RGB kPageColour{40, 120, 220};

// The page: reports its events (the token only by its length), then runs
// `action` once the aggregator's init has finished.
std::string page(const std::string& action) {
    return R"HTML(<!DOCTYPE html><html><head><meta charset="utf-8"></head>
<body style="margin: 0; height: 100vh; background: rgb(40, 120, 220)"><script>
function say(s) { KL_IOS.Error(s); }
RelaySDK_IOS.SetCallback({
  onLogin: function (r) { say('onLogin ' + r.result + ' ' + (r.userToken ? r.userToken.length : 0)); },
  onPay: function (r) { say('onPay ' + JSON.stringify(r)); }
});
function whenReady(f) {
  RelaySDK_IOS.GetInitResult(function (c) { if (c === 0) f(); else setTimeout(function () { whenReady(f); }, 100); });
}
whenReady(function () { say('ready'); )HTML" +
           action + R"HTML( });
</script></body></html>)HTML";
}

// A payment of 6 for 60 diamonds, as the page asks for it.
const char* kPay = R"(RelaySDK_IOS.Pay({orderInfo: {goodsID: "g60", goodsName: "钻石", cpOrderID: "cp-1", count: 1, amount: 6},
                                roleInfo: {serverID: "s1", serverName: "一区", gameRoleID: "r1", gameRoleName: "勇者"}});)";

class GameScreens : public ::testing::Test {
protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        ASSERT_TRUE(standIns.start());
    }
    void TearDown() override {
        game.reset();
        if (display) XCloseDisplay(display);
    }

    void launch(const std::string& action) {
        auto bundle = dir / "Game.app";
        roadtest::writeBundle(bundle, roadtest::infoFor(standIns), page(action));
        game.emplace(bundle, dir / "home", dir / "game.log");
        ASSERT_TRUE(testsupport::waitFor([&] { return !game->running() || (window = windowOf(display, game->pid())); }))
            << game->log();
        ASSERT_TRUE(window) << "the game ended early:\n" << game->log();
    }
    bool reported(const std::string& prefix) {
        return testsupport::waitFor([&] { return !game->running() || game->reported(prefix); }) &&
               game->reported(prefix);
    }
    // The X server's idea of the pointer's window: keys go to the focused window.
    void focus() {
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        XSync(display, False);
    }
    bool waitForPixel(CGPoint p, const std::function<bool(RGB)>& ok) {
        return testsupport::waitFor([&] {
            auto px = pixel(display, window, p);
            return px && ok(*px);
        });
    }
    // A toast: a dark box at two thirds of the window's height.
    bool toastShown() {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display, window, &a)) return false;
        return waitForPixel({a.width / 2.0, a.height * 2.0 / 3}, [](RGB p) { return p.r < 60 && p.g < 60 && p.b < 60; });
    }
    // From the login window's first field: the player, Return, the password, Return.
    void typeTheDemoAccount() {
        xtestKey(display, XK_Tab);
        xtestType(display, roadtest::kPlayer);
        xtestKey(display, XK_Return);
        xtestType(display, roadtest::kPassword);
        xtestKey(display, XK_Return);
    }
    // The login window dims the page around its panel.
    bool loginWindowShown() {
        RGB dimmed{kPageColour.r * 6 / 10, kPageColour.g * 6 / 10, kPageColour.b * 6 / 10};
        return waitForPixel({8, 8}, [&](RGB p) { return near(p, dimmed); });
    }

    Display* display = nullptr;
    Window window = 0;
    testsupport::TempDir dir;
    roadtest::StandIns standIns;
    std::optional<GameProcess> game;
};

TEST_F(GameScreens, EscapeClosesTheLoginWindowAndThePageHearsAFailedLogin) {
    launch("RelaySDK_IOS.Login();");
    ASSERT_TRUE(loginWindowShown()) << game->log();
    focus();
    xtestKey(display, XK_Escape);
    ASSERT_TRUE(reported("onLogin 1")) << game->log();
    EXPECT_TRUE(waitForPixel({8, 8}, [](RGB p) { return near(p, kPageColour); }));
    // Nothing was sent: closing is no login attempt.
    EXPECT_EQ(standIns.userCentre.journal().count(standin::UserCentreStandin::path("login/dologin")), 0u);
}

TEST_F(GameScreens, KeysAndReturnAloneLogInAndTheLogHoldsNoWholeToken) {
    launch("RelaySDK_IOS.Login();");
    ASSERT_TRUE(loginWindowShown()) << game->log();
    focus();
    typeTheDemoAccount();
    ASSERT_TRUE(reported("onLogin 0 32")) << game->log();

    auto check = standIns.aggregator.journal().last("/v2/users/checklogin");
    ASSERT_TRUE(check);
    std::string token = digest::md5Hex(check->decoded.text("uid") + ":" + check->decoded.text("token"));
    std::string log = game->log();
    EXPECT_EQ(log.find(token), std::string::npos) << log;
    EXPECT_NE(log.find("\"user_token\":\"" + token.substr(0, 4) + "…\""), std::string::npos) << log;
}

// What succeeded reaches the log files too, not only standard error: the
// login (its session shortened) and the payment with both order ids.
TEST_F(GameScreens, ALoginAndAPaymentAreWrittenToTheLogFiles) {
    launch(std::string(R"(RelaySDK_IOS.SetCallback({
      onLogin: function (r) { say('onLogin ' + r.result); if (r.result === 0) { )") + kPay + R"( } },
      onPay: function (r) { say('onPay ' + JSON.stringify(r)); }
    });
    RelaySDK_IOS.Login();)");
    ASSERT_TRUE(loginWindowShown()) << game->log();
    focus();
    typeTheDemoAccount();
    ASSERT_TRUE(reported("onLogin 0")) << game->log();
    // Return pays once the screen knows how; until then it does nothing.
    const std::string pay = standin::UserCentreStandin::path("Pay/dopay");
    bool paid = false;
    for (int i = 0; i < 100 && !paid; ++i) {
        xtestKey(display, XK_Return);
        paid = testsupport::waitFor([&] { return standIns.userCentre.journal().count(pay) > 0; },
                                    std::chrono::milliseconds(300));
    }
    ASSERT_TRUE(paid) << game->log();
    ASSERT_TRUE(reported(R"(onPay {"cpOrderId":"cp-1","orderId":"SO000001","result":0})")) << game->log();
    ASSERT_TRUE(game->stop());  // writes out what is queued

    std::string files;
    for (auto& f : fs::directory_iterator(dir / "home/Library/Caches/Logs")) files += readFile(f.path());
    std::string token = standIns.userCentre.tokenFor(roadtest::kPlayer);
    ASSERT_FALSE(token.empty());
    EXPECT_NE(files.find("ZVLoginVC: player1 logged in with a password, session " + token.substr(0, 4) + "…"),
              std::string::npos)
        << files;
    EXPECT_EQ(files.find(token), std::string::npos) << files;
    EXPECT_NE(files.find("ZVPayVC: player1 paid 6.00 by ptb: order ZV000001, aggregator order SO000001"),
              std::string::npos)
        << files;
}

TEST_F(GameScreens, PayBeforeALoginFailsAndTellsThePlayer) {
    launch(kPay);
    ASSERT_TRUE(reported("onPay {\"result\":1}")) << game->log();
    EXPECT_TRUE(toastShown());
}

// An order the aggregator's servers never answer: the player sees why, the
// page hears nothing, and the failures are in the log files (not only on
// standard error), while the start leaves no object addresses and no
// empty carrier line.
TEST_F(GameScreens, AFailedOrderIsToldToThePlayerAndWrittenToTheLogFiles) {
    for (size_t i = 0; i < standIns.aggregator.apiCount(); ++i)
        standIns.aggregator.api(i).scriptAlways("/v1/order/orderpay", standin::Reply::closeConnection());
    launch(kPay);
    ASSERT_TRUE(reported("ready")) << game->log();
    EXPECT_TRUE(toastShown());
    ASSERT_TRUE(game->stop());  // writes out what is queued
    EXPECT_FALSE(game->reported("onPay")) << game->log();

    std::string files;
    for (auto& f : fs::directory_iterator(dir / "home/Library/Caches/Logs")) files += readFile(f.path());
    EXPECT_NE(files.find("RLLog:下单失败，网络故障"), std::string::npos) << files;
    EXPECT_NE(files.find("RLLog:no server answered /v1/order/orderpay"), std::string::npos) << files;
    std::string log = game->log();
    EXPECT_EQ(log.find("<SDKCooperater: 0x"), std::string::npos) << log;
    EXPECT_EQ(log.find("运营商:\n"), std::string::npos) << log;
}

TEST_F(GameScreens, TheWindowShowsThePageFromItsFirstFrameAndEndsCleanlyWhenDestroyed) {
    launch("");
    // However early it is looked at, the mapped window shows the page, never an empty black frame.
    auto first = pixel(display, window, {100, 100});
    ASSERT_TRUE(first);
    EXPECT_TRUE(near(*first, kPageColour)) << first->r << "," << first->g << "," << first->b;
    ASSERT_TRUE(reported("ready")) << game->log();

    XDestroyWindow(display, window);
    XSync(display, False);
    ASSERT_TRUE(testsupport::waitFor([&] { return !game->running(); })) << game->log();
    EXPECT_EQ(game->exitCode(), 0) << game->log();
    EXPECT_EQ(game->log().find("BadDrawable"), std::string::npos) << game->log();
}

}  // namespace
