#include "ScreenTestSupport.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/graphics/ImageIO.h"
#include "platform/security/Digest.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UILabel.h"
#include "plugin/iOS/RAZ5Orered/LogCapture.h"
#include "ui/ZVProgressHUD.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVScreenWindow.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {
class LoginScreen : public ScreenTest {};

bool dark(RGBA8 p) { return p.r < 100 && p.g < 100 && p.b < 100; }
}  // namespace

TEST_F(LoginScreen, LogsInAgainstTheServerAndHandsOverTheFourValues) {
    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    auto window = vc->window();
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->isHidden());
    EXPECT_EQ(window->windowLevel(), kZVScreenWindowLevel);
    EXPECT_TRUE(window->isKeyWindow());

    typeInto(vc->accountField(), "player1");
    typeInto(vc->passwordField(), "secret1");
    ASSERT_TRUE(uitest::tapButton("登录"));
    EXPECT_TRUE(ZVProgressHUD::HUDForView(vc->view()));  // busy while the request runs
    ASSERT_TRUE(testsupport::waitFor([&] { return login.successes > 0; }));

    EXPECT_EQ(login.successes, 1);
    EXPECT_TRUE(login.failures.empty());
    EXPECT_EQ(login.userName, "player1");
    EXPECT_EQ(login.sign, env->standin().tokenFor("player1"));
    EXPECT_FALSE(login.sign.empty());
    EXPECT_EQ(login.rzStatus, "2");
    auto sent = env->standin().journal().last(UserCentreStandin::path("login/dologin"));
    ASSERT_TRUE(sent);
    EXPECT_EQ(login.loginTime.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_FALSE(login.loginTime.empty());

    // The screen is gone; the state is kept; the floating button shows and the online report runs.
    EXPECT_TRUE(window->isHidden());
    EXPECT_FALSE(ZVLoginVC::current());
    auto& share = ShareVale::sharedInstance();
    EXPECT_TRUE(share.isLogin);
    EXPECT_EQ(share.userName(), "player1");
    EXPECT_EQ(share.token(), login.sign);
    EXPECT_EQ(share.isRz(), "2");
    EXPECT_EQ(share.loginStyle(), 1);
    EXPECT_EQ(share.accounts(), std::vector<std::string>{"player1"});
    auto button = CXRHelperBtn::sharedButton();
    EXPECT_FALSE(button->isHidden());
    EXPECT_FALSE(button->buttonWindow()->isHidden());
    EXPECT_TRUE(button->isOnlineTimerRunning());
}

TEST_F(LoginScreen, AWrongPasswordShowsTheServersMessageAsAToastAndStaysOpen) {
    loginThroughScreen("not-it");
    ASSERT_EQ(login.failures.size(), 1u);
    EXPECT_EQ(login.failures[0], std::make_pair(-2, std::string("密码错误")));
    EXPECT_EQ(login.successes, 0);
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    auto toast = findText("密码错误");
    ASSERT_TRUE(toast);
    EXPECT_TRUE(toast->isDescendantOfView(vc->view().get()));
    auto box = toast->superview();
    EXPECT_EQ(box->accessibilityIdentifier(), "toast");
    // Fully shown for 0.3 s, then fading; touches still reach the screen under it.
    EXPECT_DOUBLE_EQ(box->presentation().alpha, 1);
    advance(0.25);
    EXPECT_DOUBLE_EQ(box->presentation().alpha, 1);
    advance(1.05);
    EXPECT_NEAR(box->presentation().alpha, 0.5, 0.15);
    CGRect bf = uitest::screenFrame(*box);
    auto hit = vc->window()->hitTestWindow({bf.midX(), bf.midY()});
    EXPECT_TRUE(hit && hit != box && hit != toast);
    EXPECT_FALSE(ZVProgressHUD::HUDForView(vc->view()));
    // The toast fades and removes itself; the player can try again.
    advance(1.1);
    EXPECT_FALSE(labelShown("密码错误"));
    vc->passwordField()->setText("");
    typeInto(vc->passwordField(), "secret1");
    ASSERT_TRUE(uitest::tapButton("登录"));
    ASSERT_TRUE(testsupport::waitFor([&] { return login.successes > 0; }));
    EXPECT_EQ(login.userName, "player1");
}

TEST_F(LoginScreen, EmptyFieldsAreRefusedWithoutARequest) {
    openLogin();
    ASSERT_TRUE(uitest::tapButton("登录"));
    EXPECT_TRUE(labelShown("请输入账号"));
    typeInto(ZVLoginVC::current()->accountField(), "  player1 ");
    ASSERT_TRUE(uitest::tapButton("登录"));
    EXPECT_TRUE(labelShown("请输入密码"));
    EXPECT_EQ(env->standin().journal().count(UserCentreStandin::path("login/dologin")), 0u);
}

// Failed and refused logins reach the log (and so its files), the failed
// request with the address it went to.
TEST_F(LoginScreen, ATransportFailureSaysServerErrorAndTheLogTellsWhy) {
    shelltest::LogCapture log;
    env->standin().server().script(UserCentreStandin::path("login/dologin"), Reply::closeConnection());
    loginThroughScreen();
    ASSERT_EQ(login.failures.size(), 1u);
    EXPECT_EQ(login.failures[0], std::make_pair(-8, std::string("服务器错误")));
    EXPECT_TRUE(labelShown("服务器错误"));
    auto logged = [&](const std::string& text) {
        for (auto& line : log->flushed())
            if (line.message.find(text) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(logged("(" + env->standin().serverURL() + "sdkapicoupon2/login/dologin)"));
    EXPECT_TRUE(logged("ZVLoginVC: the login of player1 failed (-8): 服务器错误"));
    ZVLoginVC::current()->passwordField()->setText("not-it");
    ASSERT_TRUE(uitest::tapButton("登录"));
    ASSERT_TRUE(testsupport::waitFor([&] { return login.failures.size() == 2; }));
    EXPECT_TRUE(logged("ZVLoginVC: the login of player1 failed (-2): 密码错误"));
}

TEST_F(LoginScreen, APendingUpdateFailsLoginWithMinusTen) {
    std::vector<std::string> opened;
    ZVExternal::setOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    env->standin().setUpdate(true, "https://dl.example.invalid/game.apk", "请更新到最新版本");
    ZorviaSDK::didFinishLaunching();
    ASSERT_TRUE(testsupport::waitFor([] { return !UIAlertView::visibleAlertViews().empty(); }));
    auto launchAlert = UIAlertView::visibleAlertViews().back();
    EXPECT_EQ(launchAlert->message(), "请更新到最新版本");
    launchAlert->clickButtonAtIndex(0);
    advance(0.5);
    EXPECT_EQ(opened, std::vector<std::string>{"https://dl.example.invalid/game.apk"});

    openLogin();
    ASSERT_EQ(login.failures.size(), 1u);  // at once
    EXPECT_EQ(login.failures[0], std::make_pair(-10, std::string("SDK需要更新")));
    EXPECT_FALSE(ZVLoginVC::current());
    ASSERT_EQ(UIAlertView::visibleAlertViews().size(), 1u);
    EXPECT_EQ(UIAlertView::visibleAlertViews()[0]->title(), "更新提示");
    EXPECT_EQ(env->standin().journal().count(UserCentreStandin::path("login/dologin")), 0u);
}

TEST_F(LoginScreen, AFailedInformationRequestDoesNotBlockLogin) {
    env->standin().server().script(UserCentreStandin::path("Sdkhome/sdkinfo"), Reply::html500());
    ZorviaSDK::didFinishLaunching();
    ASSERT_TRUE(testsupport::waitFor(
        [&] { return env->standin().journal().count(UserCentreStandin::path("Sdkhome/sdkinfo")) == 1; }));
    RunLoop::runFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(UIAlertView::visibleAlertViews().empty());
    loginThroughScreen();
    EXPECT_EQ(login.successes, 1);
}

TEST_F(LoginScreen, AQuickLoginFromTheBoxApplicationLogsIn) {
    openLogin();
    auto url = NSURL::URLWithString("ZorviaPaylinkScheme1001://ZOR_QUICK&player1&secret1");
    ASSERT_TRUE(url);
    ZorviaSDK::application_openURL_options(UIApplication::sharedApplication(), *url, Value());
    ASSERT_TRUE(testsupport::waitFor([&] { return login.successes > 0; }));
    EXPECT_EQ(login.userName, "player1");
    EXPECT_EQ(ShareVale::sharedInstance().password(), "secret1");
    EXPECT_EQ(NSUserDefaults::standardUserDefaults().dictionaryRepresentation().toJSON().find("secret1"),
              std::string::npos);
}

TEST_F(LoginScreen, RendersLegibleChineseText) {
    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    uitest::layout();
    auto img = vc->window()->renderImage();
    ASSERT_TRUE(img);
    testsupport::TempDir dir;
    ASSERT_TRUE(vc->window()->writePNG((dir / "login.png").string()));
    // Kept for people to look at.
    vc->window()->writePNG(testsupport::built("usercenter-login.png"));
    auto png = imageio::decode(*files::readData(dir / "login.png"));
    ASSERT_TRUE(png);
    const CGImage& shot = *png->image;

    auto title = uitest::findLabel("账号登录");
    ASSERT_TRUE(title);
    CGRect tf = uitest::screenFrame(*title);
    // Each of the four characters is drawn, and they are four different shapes (no
    // missing-glyph boxes, which all look alike).
    CGSize text = title->sizeThatFits({0, 0});
    double x0 = tf.midX() - text.width / 2, cell = text.width / 4;
    std::vector<std::vector<bool>> glyphs;
    for (int i = 0; i < 4; ++i) {
        CGRect r(x0 + i * cell, tf.minY(), cell, tf.height());
        EXPECT_GT(countPixels(shot, r, dark), 60) << "character " << i;
        std::vector<bool> bits;
        for (int y = int(r.minY() * 2); y < int(r.maxY() * 2); ++y)
            for (int x = int(r.minX() * 2); x < int(r.minX() * 2) + int(cell * 2) - 1; ++x) bits.push_back(dark(shot.pixelAt(x, y)));
        glyphs.push_back(bits);
    }
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) {
            size_t n = std::min(glyphs[i].size(), glyphs[j].size()), diff = 0;
            for (size_t k = 0; k < n; ++k) diff += glyphs[i][k] != glyphs[j][k];
            EXPECT_GT(diff, 80u) << i << " and " << j;
        }
    // The panel is white on a dimmed background; the login button is blue with white text.
    EXPECT_EQ(shot.pixelAt(2 * int(tf.minX() + 5), 2 * int(tf.minY() + 2)), (RGBA8{255, 255, 255, 255}));
    RGBA8 dim = shot.pixelAt(10, 10);  // 40% black over the game
    EXPECT_NEAR(dim.a, 102, 2);
    EXPECT_LT(dim.r + dim.g + dim.b, 10);
    auto button = uitest::findButton("登录");
    ASSERT_TRUE(button);
    CGRect bf = uitest::screenFrame(*button);
    RGBA8 blue = shot.pixelAt(int(bf.minX() * 2) + 30, int(bf.midY() * 2));
    EXPECT_EQ(blue, (RGBA8{0x49, 0x88, 0xFD, 255}));
    EXPECT_GT(countPixels(shot, bf, [](RGBA8 p) { return p.r > 230 && p.g > 230 && p.b > 230; }), 80);
    // Placeholder text in the account field, in grey.
    auto field = vc->accountField();
    EXPECT_GT(countPixels(shot, uitest::screenFrame(*field),
                          [](RGBA8 p) { return p.r < 200 && p.r > 100 && std::abs(p.r - p.b) < 20; }),
              40);
}

TEST_F(LoginScreen, EscapeOrTheCloseButtonCancelsOnceAndTheScreenOpensAgain) {
    openLogin();
    ASSERT_TRUE(ZVLoginVC::current());
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_FALSE(ZVLoginVC::current());
    ASSERT_EQ(login.failures.size(), 1u);
    EXPECT_EQ(login.failures[0].first, ZVLoginVC::kCancelled);

    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    ASSERT_TRUE(uitest::tapView(*vc->closeButton()));
    EXPECT_EQ(login.failures.size(), 2u);
    EXPECT_FALSE(ZVLoginVC::current());
    uitest::tapView(*vc->closeButton());
    EXPECT_EQ(login.failures.size(), 2u);
    EXPECT_EQ(login.successes, 0);
}

// Login asked for again while logged in (to change accounts), then the
// window closed: the player stays logged in and the game hears that login
// again, never a failed one.
TEST_F(LoginScreen, ClosingTheWindowWhileLoggedInKeepsTheLogin) {
    loginThroughScreen();
    ASSERT_EQ(login.successes, 1);
    std::string sign = login.sign;
    openLogin();
    ASSERT_TRUE(ZVLoginVC::current());
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_FALSE(ZVLoginVC::current());
    EXPECT_TRUE(login.failures.empty());
    EXPECT_EQ(login.successes, 2);
    EXPECT_EQ(login.userName, "player1");
    EXPECT_EQ(login.sign, sign);
    EXPECT_TRUE(ShareVale::sharedInstance().isLogin);
    EXPECT_FALSE(CXRHelperBtn::sharedButton()->isHidden());
    EXPECT_EQ(env->standin().journal().count(UserCentreStandin::path("login/dologin")), 1u);
}

// "自动登录": the digest of the typed password is kept (never the password),
// and at the next start the login window logs in by itself; not with the
// switch off, nor after a logout; a refused automatic login asks for the
// password and is not tried again.
TEST_F(LoginScreen, TheAutomaticLoginLogsTheLastAccountInAtTheNextStart) {
    auto& share = ShareVale::sharedInstance();
    auto logins = [&] { return env->standin().journal().count(UserCentreStandin::path("login/dologin")); };
    auto restart = [&] {
        share.clearLogin();  // what a new process knows: only what was stored
        NSUserDefaults::resetStandardUserDefaults();
        login = {};
    };
    // Typed by hand over the account the window offers.
    auto typedLogin = [&] {
        openLogin();
        auto vc = ZVLoginVC::current();
        ASSERT_TRUE(vc);
        vc->accountField()->setText("");
        typeInto(vc->accountField(), "player1");
        typeInto(vc->passwordField(), "secret1");
        ASSERT_TRUE(uitest::tapButton("登录"));
        ASSERT_TRUE(testsupport::waitFor([&] { return login.successes == 1; }));
    };
    loginThroughScreen();
    EXPECT_EQ(share.autoLoginDigest(), digest::md5Hex("secret1"));
    EXPECT_EQ(NSUserDefaults::standardUserDefaults().dictionaryRepresentation().toJSON().find(
                  digest::md5Hex("secret1")), std::string::npos);

    restart();
    openLogin();
    ASSERT_TRUE(testsupport::waitFor([&] { return login.successes == 1; }));
    EXPECT_EQ(login.userName, "player1");
    EXPECT_FALSE(ZVLoginVC::current());
    auto sent = env->standin().journal().entries(UserCentreStandin::path("login/dologin"));
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].decoded.text("i"), "player1");
    EXPECT_EQ(sent[1].decoded.text("p"), digest::md5Hex("secret1"));

    // Switched off: the window waits for the player, and nothing is kept.
    share.setIsNotAutoLogin(true);
    EXPECT_EQ(share.autoLoginDigest(), "");
    restart();
    openLogin();
    RunLoop::drain();
    ASSERT_TRUE(ZVLoginVC::current());
    EXPECT_EQ(logins(), 2u);
    ZVLoginVC::current()->cancel();

    // On again, logged in by hand, then logged out: no automatic login.
    share.setIsNotAutoLogin(false);
    restart();
    typedLogin();
    ZorviaSDK::LoginOut();
    EXPECT_EQ(share.autoLoginDigest(), "");
    restart();
    openLogin();
    RunLoop::drain();
    ASSERT_TRUE(ZVLoginVC::current());
    EXPECT_EQ(logins(), 3u);
    ZVLoginVC::current()->cancel();

    // The password changed on the server: the kept one is refused once.
    restart();
    typedLogin();
    auto account = *env->standin().account("player1");
    account.password = "changed1";
    env->standin().addAccount("player1", account);
    restart();
    openLogin();
    ASSERT_TRUE(testsupport::waitFor([&] { return !login.failures.empty(); }));
    EXPECT_EQ(login.failures[0].second, "密码错误");
    EXPECT_TRUE(ZVLoginVC::current());
    EXPECT_EQ(share.autoLoginDigest(), "");
    EXPECT_EQ(ZVLoginVC::current()->accountField()->text(), "player1");
}

TEST_F(LoginScreen, TypedKeysTabAndReturnAloneLogIn) {
    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    vc->accountField()->setText("");
    ASSERT_TRUE(uitest::pressKey(UIKeyInputTab));
    ASSERT_TRUE(vc->accountField()->isFirstResponder());
    uitest::insertText("player1");
    uitest::pressKey(UIKeyInputReturn);
    ASSERT_TRUE(vc->passwordField()->isFirstResponder());
    uitest::insertText("secret1");
    uitest::pressKey(UIKeyInputReturn);
    ASSERT_TRUE(testsupport::waitFor([&] { return login.successes > 0; }));
    EXPECT_EQ(login.userName, "player1");
}

TEST_F(LoginScreen, TheKeyboardLiftsThePanelAndATapBesideTheFieldsPutsItAway) {
    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    CGRect resting = uitest::screenFrame(*vc->panel());
    ASSERT_TRUE(uitest::tapView(*vc->passwordField()));
    ASSERT_TRUE(UIKeyboard::isVisible());
    CGRect lifted = uitest::screenFrame(*vc->panel());
    EXPECT_LE(lifted.maxY(), UIKeyboard::frame().minY());
    EXPECT_GE(lifted.minY(), 0);
    // The title's row is beside the fields.
    ASSERT_TRUE(uitest::tap({lifted.minX() + 30, lifted.minY() + 30}));
    EXPECT_FALSE(UIKeyboard::isVisible());
    EXPECT_FALSE(vc->passwordField()->isFirstResponder());
    EXPECT_EQ(uitest::screenFrame(*vc->panel()), resting);
}
