#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVScreenWindow.h"
#include "usercenter/screens/shell/ZVNavigationController.h"
#include "usercenter/screens/shell/ZVSuWebVC.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIScreen.h"
#include "platform/web/RecordingWebView.h"
#include "platform/web/WebTestSupport.h"

#include "GameTestSupport.h"

using standin::UserCentreStandin;
using namespace testsupport;

namespace {
// How long a wait for what the game shows or sends may take before the test
// fails. Generous on purpose: a wait ends as soon as its event comes, and a
// sanitized game on a loaded machine can take over half a minute to map its
// window.
constexpr auto kEventBound = std::chrono::seconds(90);
}  // namespace

void UserCentreGameTest::SetUp() {
    UITest::SetUp();
    display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
    // A window going away under a query must fail the query, not end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    ASSERT_TRUE(aggregator.start() && userCentre.start());
    UserCentreStandin::Account demo;
    demo.password = "123456";
    userCentre.addAccount("demo", demo);
    ASSERT_TRUE(userCentre.loadFixtures(sourceDir() / "tools/standin/fixtures"));
    writeBundle();
    points.pageLogin = pageLoginButton();
    loginScreen();
    points.webBack = webBackButton();
}

void UserCentreGameTest::TearDown() {
    game.reset();
    if (display) XCloseDisplay(display);
    UITest::TearDown();
}

void UserCentreGameTest::writeBundle() {
    fs::copy(sourceDir() / "examples/DemoGame.app", bundle, fs::copy_options::recursive);
    auto info = Value::fromPlist(readFile(bundle / "Info.plist"));
    ASSERT_TRUE(info);
    for (const Value& settings : {aggregator.infoPlistSettings(), userCentre.infoPlistSettings()})
        for (auto& key : settings.keys()) info->set(key, settings[key]);
    auto xml = info->toXMLPlist();
    writeFile(bundle / "Info.plist", std::string(xml.begin(), xml.end()));
}

void UserCentreGameTest::start() {
    GameProcess::Options o{bundle, dir / "home", dir / "game.log", desktop.environment()};
    o.environment.emplace_back("FONTCONFIG_FILE", (sourceDir() / "tools/fonts/fonts.conf").string());
    game.emplace(o);
    ASSERT_TRUE(waitFor([&] { return !game->running() || (window = windowOf(display, game->pid())); },
                        kEventBound))
        << game->log();
    ASSERT_TRUE(window) << game->log();
    ASSERT_TRUE(journalled(userCentre, ZVApi::kSdkInfo)) << game->log();
    ASSERT_TRUE(pixelIs(gameCorner(), kPageBackground)) << game->log();
}

void UserCentreGameTest::logIn() {
    click(points.pageLogin);
    ASSERT_TRUE(pixelIs(points.login, rgb(0x4988FD), 40)) << game->log();
    // Return moves on to the password and there logs in; the panel moves up
    // with the keyboard, so only the first field is clicked.
    click(points.account);
    type("demo");
    xtestKey(display, XK_Return);
    type("123456");
    xtestKey(display, XK_Return);
    ASSERT_TRUE(journalled(userCentre, ZVApi::kLogin)) << game->log();
    ASSERT_TRUE(pixelIs(floatingButton(), rgb(0x4988FD), 40)) << game->log();
}

void UserCentreGameTest::openUserCentre() {
    click(floatingButton());
    CGRect screen = UIScreen::mainScreen().bounds();
    ASSERT_TRUE(pixelIs({screen.width() / 2, screen.height() / 2}, {255, 255, 255})) << game->log();
}

bool UserCentreGameTest::pixelIs(CGPoint p, RGB want, int tolerance) {
    return waitFor(
        [&] {
            auto px = pixel(display, window, int(p.x), int(p.y));
            return px && near(*px, want, tolerance);
        },
        kEventBound);
}

bool UserCentreGameTest::journalled(UserCentreStandin& s, const std::string& endpoint, size_t count) {
    return waitFor([&] { return s.journal().count(UserCentreStandin::path(endpoint)) >= count; },
                   kEventBound);
}

std::optional<double> UserCentreGameTest::columnShows(double x, double top, double bottom, RGB want, int tolerance) {
    std::optional<int> y;
    waitFor([&] { return bool(y = firstInColumn(display, window, int(x), int(top), int(bottom), want, tolerance)); },
            kEventBound);
    return y ? std::optional<double>(*y) : std::nullopt;
}

void UserCentreGameTest::click(CGPoint p) { clickIn(display, window, int(p.x), int(p.y)); }
void UserCentreGameTest::drag(CGPoint from, CGPoint to) {
    dragIn(display, window, int(from.x), int(from.y), int(to.x), int(to.y));
}
void UserCentreGameTest::wheel(CGPoint at, int notches) {
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), int(at.x), int(at.y), &rx, &ry, &child);
    xtestWheel(display, rx, ry, notches);
}
void UserCentreGameTest::type(const std::string& text) { xtestType(display, text); }
void UserCentreGameTest::shoot(const std::string& name) {
    const char* folder = std::getenv("KORVEL_SHOT_DIR");
    XWindowAttributes a;
    if (!folder || !*folder || !XGetWindowAttributes(display, window, &a)) return;
    XImage* x = XGetImage(display, window, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
    if (!x) return;
    auto image = CGImage::create(a.width, a.height, false);
    for (int py = 0; py < a.height; ++py)
        for (int px = 0; px < a.width; ++px) {
            unsigned long v = XGetPixel(x, px, py);
            image->setPixel(px, py, RGBA8{uint8_t((v >> 16) & 255), uint8_t((v >> 8) & 255), uint8_t(v & 255), 255});
        }
    XDestroyImage(x);
    if (auto png = imageio::encodePNG(*image)) writeFile(fs::path(folder) / (name + ".png"), std::string(png->begin(), png->end()));
}

std::string UserCentreGameTest::opened() { return desktop.opened(); }

CGPoint UserCentreGameTest::pageLoginButton() {
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

CGPoint UserCentreGameTest::centreOf(const UIView& v) {
    CGRect f = uitest::screenFrame(v);
    return {f.midX(), f.midY()};
}

void UserCentreGameTest::loginScreen() {
    auto vc = ZVLoginVC::present([](const LoginResult&) {}, [](int64_t, const std::string&) {});
    uitest::layout();
    points.account = centreOf(*vc->accountField());
    points.password = centreOf(*vc->passwordField());
    points.login = centreOf(*uitest::findButton("登录"));
    ZVCloseScreenWindow(vc->window());
}

CGPoint UserCentreGameTest::webBackButton() {
    ZVSuWebVC::setWebViewFactory([](const CGRect& f, auto c) { return RecordingWebView::create(c, f); });
    auto page = std::make_shared<ZVSuWebVC>();
    makeWindow(ZVNavigationController::withRoot(page));
    uitest::layout();
    CGPoint p = centreOf(*page->backBtn());
    ZVSuWebVC::setWebViewFactory(nullptr);
    return p;
}

CGPoint UserCentreGameTest::floatingButton() {
    // Half of it shows at the left edge; its centre is blue.
    return {3, UIScreen::mainScreen().bounds().height() / 3 + CXRHelperBtn::kSide / 2};
}

CGPoint UserCentreGameTest::tab(size_t index) {
    CGRect screen = UIScreen::mainScreen().bounds();
    return {screen.width() / 5 * (double(index) + 0.5), screen.height() - UIScreen::mainScreen().tabBarHeight() + 20};
}

CGPoint UserCentreGameTest::gameCorner() {
    CGRect screen = UIScreen::mainScreen().bounds();
    return {screen.width() - 4, screen.height() - 4};
}
