// The login window's real-name panel in the running game, as a player
// meets it: a login that asks for verification (not mandatory) shows the
// panel; an empty submit and a refused identity number show their toasts;
// the anti-addiction rules page opens over the panel (the keyboard going
// away) and its "<" brings the panel back, whole and answering; "暂不认证"
// then hands the login on. A login that must verify sends the check with
// the account just logged in, and the account page then reads "已认证".
// And the password reset over the login card: Tab and typing in it, with
// real keys, never reach the card's fields.

#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UIScreen.h"
#include "platform/security/Digest.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVScreenWindow.h"
#include "usercenter/screens/account/ZVSuUserVC.h"
#include "usercenter/screens/panels/ZVLoginRzView.h"
#include "usercenter/screens/panels/ZVLoginWebView.h"
#include "usercenter/screens/panels/ZVSuForgetView.h"
#include "usercenter/screens/shell/ZVNavigationController.h"

#include "GameTestSupport.h"

using standin::UserCentreStandin;
using L = UserCentreStandin::PageLayout;

namespace {

class LoginPanelInTheGame : public UserCentreGameTest {
protected:
    // Where the panel's parts are, laid out here as the login window lays
    // the panel out: centred on the screen, and lifted over the keyboard
    // while a field is edited.
    struct PanelPoints {
        CGPoint name, code, commit, close, detail;  // at rest
        CGPoint liftedCode, liftedCommit, liftedDetail;  // while the keyboard shows
        CGPoint webBack, webBar, webPage;           // the rules page over the panel at rest
        CGPoint keyboard;                           // a point of the keyboard's bottom row
        CGRect panel;
    };
    PanelPoints panelPoints(bool mandatory = false) {
        PanelPoints p;
        auto host = makeWindow()->rootViewController()->view();
        auto rz = ZVLoginRzView::fromNib();
        auto login = std::make_shared<LoginResult>();
        login->isMustRZ = mandatory;
        rz->setLoginData(login);
        rz->setCenter(CGPoint{host->bounds().width() / 2, host->bounds().height() / 2});
        host->addSubview(rz);
        uitest::layout();
        p.panel = uitest::screenFrame(*rz);
        p.name = centreOf(*rz->nameF);
        p.code = centreOf(*rz->codeF);
        p.commit = centreOf(*rz->rzBtn);
        p.close = centreOf(*rz->closeBtn);
        p.detail = centreOf(*rz->detailBtn);
        auto web = ZVLoginWebView::fromNib();
        rz->addSubview(web);
        uitest::layout();
        p.webBack = centreOf(*web->backBtn);
        p.webBar = {p.panel.minX() + 60, p.panel.minY() + 6};
        // In the page's coloured block, and beside the panel's own texts.
        p.webPage = {p.panel.minX() + 8, p.panel.minY() + ZVLoginWebView::kBarHeight + 50};
        web->removeFromSuperview();
        rz->codeF->becomeFirstResponder();
        uitest::layout();
        p.liftedCode = centreOf(*rz->codeF);
        p.liftedCommit = centreOf(*rz->rzBtn);
        p.liftedDetail = centreOf(*rz->detailBtn);
        CGRect keyboard = UIKeyboard::frame();
        p.keyboard = {keyboard.minX() + 4, keyboard.maxY() - 4};
        rz->codeF->resignFirstResponder();
        rz->removeFromSuperview();
        return p;
    }
    // "demo" typed into the login screen, up to the login request.
    void logInWithoutWaiting() {
        click(points.pageLogin);
        ASSERT_TRUE(pixelIs(points.login, rgb(0x4988FD), 40)) << game->log();
        click(points.account);
        type("demo");
        testsupport::xtestKey(display, XK_Return);
        type("123456");
        testsupport::xtestKey(display, XK_Return);
        ASSERT_TRUE(journalled(userCentre, ZVApi::kLogin)) << game->log();
    }
    // The login card's "忘记密码" and the reset panel's phone field and
    // button, at rest.
    struct ResetPoints {
        CGPoint forget, phone, commit;
        CGPoint commitRing;  // where a focus ring round "确认修改" shows, left of it
    };
    ResetPoints resetPoints() {
        ResetPoints p;
        auto vc = ZVLoginVC::present([](const LoginResult&) {}, [](int64_t, const std::string&) {});
        uitest::layout();
        p.forget = centreOf(*vc->forgetButton());
        auto panels = ZVMakeLoginPanels();
        panels->showForgetPassword(vc->view());
        uitest::layout();
        auto forget = std::dynamic_pointer_cast<ZVSuForgetView>(
            uitest::findView([](UIView& v) { return dynamic_cast<ZVSuForgetView*>(&v) != nullptr; }));
        EXPECT_TRUE(forget);
        if (forget) {
            p.phone = centreOf(*forget->numF);
            p.commit = centreOf(*forget->commitBtn);
            p.commitRing = {uitest::screenFrame(*forget->commitBtn).minX() - 3, p.commit.y};
        }
        ZVCloseScreenWindow(vc->window());
        return p;
    }
    // Waits until 20 pixels of an area show `want`.
    bool areaShows(CGRect a, testsupport::RGB want) {
        auto near = [&](testsupport::RGB p) { return testsupport::near(p, want, 15); };
        return testsupport::waitFor([&] {
            return testsupport::countPixels(display, window, int(a.minX()), int(a.minY()), int(a.width()),
                                            int(a.height()), near) >= 20;
        }, std::chrono::seconds(90));
    }
};

TEST_F(LoginPanelInTheGame, TheRulesPageReturnsToThePanelAfterFailedSubmits) {
    UserCentreStandin::Account demo;
    demo.password = "123456";
    demo.nickName = "demo";
    demo.rzStatus = "0";  // verification asked for, not mandatory
    userCentre.addAccount("demo", demo);
    auto p = panelPoints();
    auto realName = UserCentreStandin::path(ZVApi::kRealName);
    const testsupport::RGB white{255, 255, 255}, blue = rgb(0x4988FD);
    // The game's page under the login window's dimming (black at 0.4).
    const testsupport::RGB dimmedPage{kPageBackground.r * 6 / 10, kPageBackground.g * 6 / 10,
                                      kPageBackground.b * 6 / 10};

    start();
    logInWithoutWaiting();
    ASSERT_TRUE(pixelIs(p.commit, blue, 40)) << game->log();  // the panel's "立即认证"
    shoot("rz-panel");

    // Empty fields: a toast, nothing sent. Then a name and a wrong identity
    // number, typed with the panel lifted over the keyboard: refused.
    click(p.commit);
    click(p.name);
    ASSERT_TRUE(pixelIs(p.liftedCommit, blue, 40)) << game->log();
    type("Zhang");
    click(p.liftedCode);
    type("123");
    click(p.liftedCommit);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kRealName)) << game->log();
    auto sent = userCentre.journal().entries(realName);
    ASSERT_EQ(sent.size(), 1u);  // the empty submit sent nothing
    EXPECT_EQ(sent[0].decoded.text("r"), "Zhang");
    EXPECT_EQ(sent[0].decoded.text("id"), "123");

    // The rules page: the keyboard goes, the panel settles, and the page
    // shows inside the panel under its bar.
    click(p.liftedDetail);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kAntiAddictionPage)) << game->log();
    ASSERT_TRUE(pixelIs(p.keyboard, dimmedPage, 8)) << game->log();
    ASSERT_TRUE(pixelIs(p.webPage, rgb(L::kAccount))) << game->log();
    EXPECT_TRUE(pixelIs(p.webBar, white)) << game->log();
    shoot("rz-rules");

    // "<": the panel again, whole, and it answers: "暂不认证" hands the login on.
    click(p.webBack);
    ASSERT_TRUE(pixelIs(p.webPage, white)) << game->log();
    ASSERT_TRUE(pixelIs(p.commit, blue, 40)) << game->log();
    shoot("rz-back");
    click(p.close);
    ASSERT_TRUE(pixelIs(floatingButton(), blue, 40)) << game->log();
    EXPECT_TRUE(pixelIs(gameCorner(), kPageBackground)) << game->log();
}

TEST_F(LoginPanelInTheGame, AMandatoryCheckCarriesTheAccountAndItsStateIsKept) {
    UserCentreStandin::Account demo;
    demo.password = "123456";
    demo.rzStatus = "0";
    demo.mustRZ = true;
    userCentre.addAccount("demo", demo);
    auto p = panelPoints(true);
    auto account = std::make_shared<ZVSuUserVC>();  // where "我的" shows the state, and "关闭"
    makeWindow(ZVNavigationController::withRoot(account));
    uitest::layout();
    CGRect state = uitest::screenFrame(*account->rzL);
    CGPoint close = centreOf(*account->closeBtn);
    const testsupport::RGB blue = rgb(0x4988FD);

    start();  // a fresh home: no account remembered
    logInWithoutWaiting();
    ASSERT_TRUE(pixelIs(p.commit, blue, 40)) << game->log();  // "立即认证", full width
    click(p.name);
    ASSERT_TRUE(pixelIs(p.liftedCommit, blue, 40)) << game->log();
    type("Zhang");
    click(p.liftedCode);
    type("110101199001011234");
    click(p.liftedCommit);
    ASSERT_TRUE(pixelIs(floatingButton(), blue, 40)) << game->log();
    auto sent = userCentre.journal().entries(UserCentreStandin::path(ZVApi::kRealName));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].decoded.text("i"), "demo");

    // "已认证" in dark grey; its row opens no cover, so "关闭" right after it brings the button back.
    openUserCentre();
    EXPECT_TRUE(areaShows(state, {85, 85, 85})) << game->log();
    shoot("rz-kept");
    click({state.midX(), state.midY()});
    click(close);
    ASSERT_TRUE(pixelIs(floatingButton(), blue, 40)) << game->log();
    EXPECT_EQ(userCentre.journal().count(UserCentreStandin::path(ZVApi::kRealName)), 1u);
}

// Phone, Tab, new password, Tab past "显示", code, Tab to "确认修改" and
// Space: the reset gets what was typed; Escape closes the panel, and Return
// logs in with the card's account and password as they were.
TEST_F(LoginPanelInTheGame, TabAndTypingInThePasswordResetNeverReachTheLoginCard) {
    auto r = resetPoints();
    const testsupport::RGB blue = rgb(0x4988FD);
    start();
    click(points.pageLogin);
    ASSERT_TRUE(pixelIs(points.login, blue, 40)) << game->log();
    click(points.account);
    type("demo");
    testsupport::xtestKey(display, XK_Tab);
    type("123456");
    testsupport::xtestKey(display, XK_Escape);  // the keyboard goes, the card settles
    ASSERT_TRUE(pixelIs(points.login, blue, 40)) << game->log();

    click(r.forget);
    ASSERT_TRUE(pixelIs(r.commit, blue, 40)) << game->log();
    click(r.phone);
    type("13800001111");
    testsupport::xtestKey(display, XK_Tab);
    type("newpass1");
    testsupport::xtestKey(display, XK_Tab);  // "显示"
    testsupport::xtestKey(display, XK_Tab);
    type("1234");
    testsupport::xtestKey(display, XK_Tab);  // "获取验证码"
    testsupport::xtestKey(display, XK_Tab);  // "确认修改", the panel back at rest
    ASSERT_TRUE(pixelIs(r.commitRing, rgb(0x1565E8), 30)) << game->log();
    shoot("reset-focus");
    testsupport::xtestKey(display, XK_space);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kForgetPassword)) << game->log();
    auto reset = userCentre.journal().last(UserCentreStandin::path(ZVApi::kForgetPassword))->decoded;
    EXPECT_EQ(reset.text("phone"), "13800001111");
    EXPECT_EQ(reset.text("password"), "newpass1");
    EXPECT_EQ(reset.text("yzm"), "1234");

    testsupport::xtestKey(display, XK_Escape);
    ASSERT_TRUE(pixelIs(points.login, blue, 40)) << game->log();  // no cover over the card
    testsupport::xtestKey(display, XK_Return);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kLogin)) << game->log();
    auto login = userCentre.journal().last(UserCentreStandin::path(ZVApi::kLogin))->decoded;
    EXPECT_EQ(login.text("i"), "demo");
    EXPECT_EQ(login.text("p"), digest::md5Hex("123456"));
    EXPECT_TRUE(pixelIs(floatingButton(), blue, 40)) << game->log();
}

}  // namespace
