// The user centre in the running game: korvel-game on the demo bundle,
// pointed at both stand-ins, under a virtual X server. The player logs in
// on the page and the login screen, opens the floating button's user
// centre, and goes to the Tasks page: its signed request reaches the
// stand-in and the page shows green; its box link reaches the desktop's
// handler (a recording command); back twice after the ordinary link shows
// the Tasks page again and then closes the user centre.
//
// Points come from the screens' own layout, computed in this process; each
// step waits on the stand-ins' journals or on a pixel.

#include "UserCentreTestSupport.h"
#include "platform/ui/UIScreen.h"
#include "platform/web/WebTestSupport.h"
#include "standin/AggregatorStandin.h"
#include "support/GameProcess.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVScreenWindow.h"
#include "usercenter/screens/ZVNavigationController.h"

// X11 last: its macros collide with names above.
#include "support/GameWindow.h"

using standin::UserCentreStandin;
using namespace testsupport;

namespace {

using L = UserCentreStandin::PageLayout;
constexpr RGB kPageBackground{0x14, 0x18, 0x2b};  // the demo page's
constexpr const char* kBoxPage = "https://box.example.invalid/";

RGB rgb(uint32_t c) { return {int(c >> 16), int((c >> 8) & 0xFF), int(c & 0xFF)}; }

class UserCentreInTheGame : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        display = XOpenDisplay(nullptr);
        ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        ASSERT_TRUE(aggregator.start() && userCentre.start());
        UserCentreStandin::Account demo;
        demo.password = "123456";
        userCentre.addAccount("demo", demo);
        ASSERT_TRUE(userCentre.loadFixtures(sourceDir() / "tools/standin/fixtures"));
        writeBundle();
        writeRecorder();
    }
    void TearDown() override {
        game.reset();
        if (display) XCloseDisplay(display);
        UITest::TearDown();
    }

    // The demo bundle, with the stand-ins' settings in its Info.plist.
    void writeBundle() {
        fs::copy(sourceDir() / "examples/DemoGame.app", bundle, fs::copy_options::recursive);
        auto info = Value::fromPlist(readFile(bundle / "Info.plist"));
        ASSERT_TRUE(info);
        for (const Value& settings : {aggregator.infoPlistSettings(), userCentre.infoPlistSettings()})
            for (auto& key : settings.keys()) info->set(key, settings[key]);
        auto xml = info->toXMLPlist();
        writeFile(bundle / "Info.plist", std::string(xml.begin(), xml.end()));
    }
    // The desktop's handler of web addresses: a command that writes down what it is given.
    void writeRecorder() {
        writeFile(dir / "record.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + (dir / "opened").string() + "\"\n");
        fs::permissions(dir / "record.sh", fs::perms::owner_all);
        writeFile(dir / "data/applications/korvel-recorder.desktop",
                  "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + (dir / "record.sh").string() +
                      " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
        writeFile(dir / "config/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/https=korvel-recorder.desktop\n"
                  "x-scheme-handler/http=korvel-recorder.desktop\n");
    }
    void start() {
        GameProcess::Options o{bundle, dir / "home", dir / "game.log",
                               {{"XDG_DATA_HOME", (dir / "data").string()},
                                {"XDG_CONFIG_HOME", (dir / "config").string()},
                                {"FONTCONFIG_FILE", (sourceDir() / "tools/fonts/fonts.conf").string()}}};
        game.emplace(o);
        ASSERT_TRUE(waitFor([&] { return !game->running() || (window = windowOf(display, game->pid())); },
                            std::chrono::seconds(30)))
            << game->log();
        ASSERT_TRUE(window) << game->log();
    }

    bool pixelIs(CGPoint p, RGB want, int tolerance = 14) {
        return waitFor(
            [&] {
                auto px = pixel(display, window, int(p.x), int(p.y));
                return px && near(*px, want, tolerance);
            },
            std::chrono::seconds(30));
    }
    bool journalled(UserCentreStandin& s, const std::string& endpoint, size_t count = 1) {
        return waitFor([&] { return s.journal().count(UserCentreStandin::path(endpoint)) >= count; },
                       std::chrono::seconds(30));
    }
    void click(CGPoint p) { clickIn(display, window, int(p.x), int(p.y)); }
    std::string opened() { return fs::exists(dir / "opened") ? readFile(dir / "opened") : ""; }

    // Where the demo page puts its login button, laid out by the engine here.
    CGPoint pageLoginButton() {
        CGRect screen = UIScreen::mainScreen().bounds();
        auto view = WKWebView::create(screen, WKWebViewConfiguration::create());
        webtest::ShownWindow shown(view, int(screen.width()), int(screen.height()));
        auto data = bundle / "Data";
        view->loadHTMLString(readFile(data / "index.html"), NSURL::fileURLWithPath(data.string() + "/"));
        EXPECT_TRUE(webtest::waitForPage(*view, "document.getElementById('login')"));
        auto r = webtest::evaluate(*view, "var r = document.getElementById('login').getBoundingClientRect();"
                                          "[r.left + r.width / 2, r.top + r.height / 2]");
        return {r.value[0].doubleValue(), r.value[1].doubleValue()};
    }
    // Where the login screen puts its fields and button.
    struct LoginPoints {
        CGPoint account, password, login;
    };
    LoginPoints loginScreen() {
        auto vc = ZVLoginVC::present([](const LoginResult&) {}, [](int64_t, const std::string&) {});
        uitest::layout();
        auto centre = [](const UIView& v) {
            CGRect f = uitest::screenFrame(v);
            return CGPoint{f.midX(), f.midY()};
        };
        LoginPoints points{centre(*vc->accountField()), centre(*vc->passwordField()), centre(*uitest::findButton("登录"))};
        ZVCloseScreenWindow(vc->window());
        return points;
    }
    // Where a web page's back button is, in a user-centre stack.
    CGPoint webBackButton() {
        ZVSuWebVC::setWebViewFactory([](const CGRect& f, auto c) { return RecordingWebView::create(c, f); });
        auto page = std::make_shared<ZVSuWebVC>();
        makeWindow(ZVNavigationController::withRoot(page));
        uitest::layout();
        CGRect f = uitest::screenFrame(*page->backBtn());
        ZVSuWebVC::setWebViewFactory(nullptr);
        return {f.midX(), f.midY()};
    }

    Display* display = nullptr;
    Window window = 0;
    TempDir dir;
    fs::path bundle = dir / "DemoGame.app";
    standin::AggregatorStandin aggregator;
    UserCentreStandin userCentre;
    std::optional<GameProcess> game;
};

TEST_F(UserCentreInTheGame, TheTasksPageIsSignedItsLinksWorkAndBackClosesTheUserCentre) {
    CGPoint loginButton = pageLoginButton();
    LoginPoints login = loginScreen();
    CGPoint back = webBackButton();
    CGRect screen = UIScreen::mainScreen().bounds();
    double top = UIScreen::mainScreen().navigationBarTop();
    CGPoint floating{8, screen.height() / 3 + CXRHelperBtn::kSide / 2};
    CGPoint middle{screen.width() / 2, screen.height() / 2};
    CGPoint tasksTab{screen.width() / 5 * 2.5, screen.height() - UIScreen::mainScreen().tabBarHeight() + 20};
    CGPoint block{screen.width() / 2, top + L::kBlockHeight / 2.0};

    start();
    ASSERT_TRUE(journalled(userCentre, ZVApi::kSdkInfo)) << game->log();
    ASSERT_TRUE(pixelIs({screen.width() - 4, screen.height() - 4}, kPageBackground)) << game->log();

    // Logging in: the page's button, then the native login screen.
    click(loginButton);
    ASSERT_TRUE(pixelIs(login.login, rgb(0x4988FD), 40)) << game->log();
    click(login.account);
    xtestType(display, "demo");
    click(login.password);
    xtestType(display, "123456");
    click(login.login);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kLogin)) << game->log();
    ASSERT_TRUE(pixelIs(floating, rgb(0x4988FD), 40)) << game->log();

    // The floating button opens the user centre; 任务 loads the signed page.
    click(floating);
    ASSERT_TRUE(pixelIs(middle, {255, 255, 255})) << game->log();
    click(tasksTab);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kTasksPage)) << game->log();
    EXPECT_EQ(userCentre.journal().last(UserCentreStandin::path(ZVApi::kTasksPage))->signOk, true);
    ASSERT_TRUE(pixelIs(block, rgb(L::kSigned))) << game->log();

    // The box link goes to the desktop's handler; the page stays.
    click({screen.width() / 2, top + L::kBoxLinkTop + L::kLinkHeight / 2.0});
    ASSERT_TRUE(waitFor([&] { return opened() == std::string(kBoxPage) + "\n"; }, std::chrono::seconds(30)))
        << opened() << game->log();
    EXPECT_TRUE(pixelIs(block, rgb(L::kSigned)));

    // The ordinary link, then back twice: the Tasks page, then the game.
    click({screen.width() / 2, top + L::kNextLinkTop + L::kLinkHeight / 2.0});
    ASSERT_TRUE(journalled(userCentre, UserCentreStandin::kNextPage)) << game->log();
    ASSERT_TRUE(pixelIs(block, rgb(L::kNext))) << game->log();
    click(back);
    ASSERT_TRUE(pixelIs(block, rgb(L::kSigned))) << game->log();
    click(back);
    ASSERT_TRUE(pixelIs({screen.width() - 4, screen.height() - 4}, kPageBackground)) << game->log();
    EXPECT_TRUE(pixelIs(floating, rgb(0x4988FD), 40));
    EXPECT_EQ(opened(), std::string(kBoxPage) + "\n");
}

}  // namespace
