// The user centre's ways out and the mouse wheel in the running game, with
// real pointer and keys: the wheel scrolls "我的" and never the game's page
// under it, "关闭" stays in reach however far the page is scrolled, Escape
// closes the top pushed screen and then the user centre, Login while logged
// in and closed again never tells the page the login failed, and with
// "自动登录" on a restart logs in without the password.
//
// The demo page reports here through KL_IOS.Error: what its event list shows,
// and every scroll of the page.

#include "platform/foundation/Strings.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/shell/ZVNavigationController.h"
#include "usercenter/screens/account/ZVSuUserVC.h"

#include "GameTestSupport.h"

using standin::UserCentreStandin;

namespace {

class WaysOutInTheGame : public UserCentreGameTest {
protected:
    void SetUp() override {
        UserCentreGameTest::SetUp();
        // The page tells what it shows in its event list, and each scroll.
        auto script = bundle / "Data/game.js";
        std::string js = strings::replaceAll(testsupport::readFile(script), "function show(text) {",
                                             "function show(text) { KL_IOS.Error('show ' + text);");
        js += "\nwindow.addEventListener('scroll', function () { KL_IOS.Error('page scrolled ' + window.scrollY); });\n";
        testsupport::writeFile(script, js);
    }
    // Points of the account page, laid out here as the game lays it out.
    struct AccountPoints {
        CGPoint header, messages, close, closeEdge;
    };
    AccountPoints accountPoints() {
        AccountPoints p;
        auto account = std::make_shared<ZVSuUserVC>();
        makeWindow(ZVNavigationController::withRoot(account));
        uitest::layout();
        // Beside the cards, below the title bar: the purple header at rest.
        CGRect bar = uitest::screenFrame(*account->titleBar);
        p.header = {4, bar.maxY() + 20};
        p.messages = centreOf(*account->btnsView->viewWithTag(ZVSuUserVC::kMessages));
        p.close = centreOf(*account->closeBtn);
        CGRect close = uitest::screenFrame(*account->closeBtn);
        p.closeEdge = {close.minX() + 2, close.minY() + 4};  // the bar beside its text
        return p;
    }
    std::vector<std::string> loginsHeard() {
        std::vector<std::string> out;
        for (auto& r : game->reports())
            if (strings::hasPrefix(r, "show onLogin")) out.push_back(r);
        return out;
    }
    bool heardLogins(size_t n) {
        return testsupport::waitFor([&] { return loginsHeard().size() >= n; }, std::chrono::seconds(30));
    }
    const testsupport::RGB purple = rgb(0x6036E7), pageGrey = rgb(0xF5F6FA), white{255, 255, 255};
};

TEST_F(WaysOutInTheGame, TheWheelScrollsTheAccountPageNotTheGameAndCloseStaysInReach) {
    auto p = accountPoints();
    start();
    logIn();
    openUserCentre();
    ASSERT_TRUE(journalled(userCentre, ZVApi::kUserIndex)) << game->log();
    ASSERT_TRUE(pixelIs(p.header, purple)) << game->log();

    // Down: the header leaves, the grey page comes up under the bar.
    wheel({p.header.x + 40, p.header.y + 200}, 4);
    ASSERT_TRUE(pixelIs(p.header, pageGrey, 6)) << game->log();
    shoot("account-scrolled");
    // "关闭" where it was, in the bar, and it answers.
    ASSERT_TRUE(pixelIs(p.closeEdge, purple)) << game->log();
    click(p.close);
    ASSERT_TRUE(pixelIs(gameCorner(), kPageBackground)) << game->log();
    ASSERT_TRUE(pixelIs(floatingButton(), rgb(0x4988FD), 40)) << game->log();
    // The turns over the user centre never reached the page.
    EXPECT_FALSE(game->reported("page scrolled"));

    // Over the page itself the wheel is the page's.
    wheel({200, 400}, 3);
    EXPECT_TRUE(testsupport::waitFor([&] { return game->reported("page scrolled"); }, std::chrono::seconds(30)))
        << game->log();
}

TEST_F(WaysOutInTheGame, EscapeClosesThePushedScreenThenTheUserCentre) {
    auto p = accountPoints();
    start();
    logIn();
    openUserCentre();
    ASSERT_TRUE(pixelIs(p.header, purple)) << game->log();
    click(p.messages);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kMessageList)) << game->log();
    ASSERT_TRUE(pixelIs(p.header, white)) << game->log();  // the message list, pushed
    testsupport::xtestKey(display, XK_Escape);
    ASSERT_TRUE(pixelIs(p.header, purple)) << game->log();  // back on "我的"
    testsupport::xtestKey(display, XK_Escape);
    ASSERT_TRUE(pixelIs(gameCorner(), kPageBackground)) << game->log();
    EXPECT_TRUE(pixelIs(floatingButton(), rgb(0x4988FD), 40)) << game->log();
}

TEST_F(WaysOutInTheGame, LoginWhileLoggedInClosedAgainIsNoFailedLogin) {
    start();
    logIn();
    ASSERT_TRUE(heardLogins(1)) << game->log();
    EXPECT_NE(loginsHeard()[0].find("\"result\":0"), std::string::npos) << loginsHeard()[0];

    click(points.pageLogin);
    ASSERT_TRUE(pixelIs(points.login, rgb(0x4988FD), 40)) << game->log();
    testsupport::xtestKey(display, XK_Escape);
    ASSERT_TRUE(heardLogins(2)) << game->log();
    auto heard = loginsHeard();
    EXPECT_NE(heard[1].find("\"result\":0"), std::string::npos) << heard[1];
    EXPECT_EQ(heard[1].find("\"result\":1"), std::string::npos) << heard[1];
    // Still logged in: the floating button stays and opens the user centre.
    ASSERT_TRUE(pixelIs(floatingButton(), rgb(0x4988FD), 40)) << game->log();
    openUserCentre();
    EXPECT_TRUE(journalled(userCentre, ZVApi::kUserIndex));
}

TEST_F(WaysOutInTheGame, ARestartLogsInWithoutThePassword) {
    start();
    logIn();
    ASSERT_TRUE(heardLogins(1)) << game->log();
    game.reset();  // the player ends the game
    start();
    // The page's script has run (its buttons answer) before the player taps Login.
    ASSERT_TRUE(testsupport::waitFor([&] { return game->reported("show page loaded"); }, std::chrono::seconds(30)))
        << game->log();
    click(points.pageLogin);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kLogin, 2)) << game->log();
    ASSERT_TRUE(pixelIs(floatingButton(), rgb(0x4988FD), 40)) << game->log();
    ASSERT_TRUE(heardLogins(1)) << game->log();
    EXPECT_NE(loginsHeard()[0].find("\"result\":0"), std::string::npos) << loginsHeard()[0];
}

}  // namespace
