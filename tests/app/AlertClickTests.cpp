// The running executable under a virtual X server: its page shows an alert
// through the system plug-in, real clicks go through the X server, and the
// page hears which button was clicked. A click beside the alert's box
// reaches neither the alert nor the page under it.
//
// The page reports through KL_IOS.Error, whose lines reach the executable's
// standard error before the message handling returns.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../platform/ui/UITestSupport.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIScreen.h"
#include "support/GameProcess.h"
#include "support/TestSupport.h"

// X11 last: its macros collide with names above.
#include "support/GameWindow.h"

using namespace testsupport;

namespace {

// Reports every alert click and every press that reaches the page, shows an
// alert with two buttons, and says so once the alert has been handled (the
// plug-in handles the page's messages in order). Its background is
// kPageColour.
const char* kPage = R"HTML(<html><body style="margin: 0; background: rgb(40, 120, 220)">
<script>
  KL_IOS.SetCallback({onAlertViewClick: function(index) { KL_IOS.Error('onAlertViewClick ' + index); }});
  document.addEventListener('mousedown', function(e) {
    KL_IOS.Error('page mousedown ' + e.clientX + ' ' + e.clientY);
  }, true);
  KL_IOS.CreateAlert({title: '提示', message: '要继续吗？'});
  KL_IOS.AddAlertButton('取消');
  KL_IOS.AddAlertButton('确定');
  KL_IOS.ShowAlert();
  KL_IOS.GetAdId(function() { KL_IOS.Error('alert shown'); });
</script></body></html>)HTML";

constexpr RGB kPageColour{40, 120, 220};

class AlertInTheGame : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        display = XOpenDisplay(nullptr);
        ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
        // A window going away under a query must fail the query, not end the test.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    void TearDown() override {
        game.reset();
        if (display) XCloseDisplay(display);
        UITest::TearDown();
    }

    // Where the toolkit puts the alert's box and a button, as offsets from
    // the screen's centre (the alert is centred, whatever the window's size).
    struct Layout {
        CGRect box, button;
    };
    Layout alertLayout(long buttonIndex) {
        auto alert = std::make_shared<UIAlertView>("提示", "要继续吗？");
        alert->addButtonWithTitle("取消");
        alert->addButtonWithTitle("确定");
        alert->show();
        uitest::layout();
        auto button = alert->controller()->buttonForAction(size_t(buttonIndex));
        EXPECT_TRUE(button && button->superview());
        if (!button || !button->superview()) return {};
        CGRect screen = UIScreen::mainScreen().bounds();
        auto centred = [&](CGRect r) { return r.offsetBy(-screen.midX(), -screen.midY()); };
        return {centred(uitest::screenFrame(*button->superview())), centred(uitest::screenFrame(*button))};
    }

    void click(CGPoint p) { clickIn(display, window, int(p.x), int(p.y)); }
    bool waitForPixel(CGPoint p, const std::function<bool(RGB)>& ok) {
        return testsupport::waitFor([&] {
            auto px = pixel(display, window, int(p.x), int(p.y));
            return px && ok(*px);
        });
    }

    Display* display = nullptr;
    Window window = 0;
    testsupport::TempDir dir;
    std::optional<GameProcess> game;
};

TEST_F(AlertInTheGame, AClickOnItsButtonReachesThePageAndAClickBesideItReachesNothing) {
    Layout layout = alertLayout(1);
    ASSERT_GT(layout.button.width(), 0);
    ASSERT_TRUE(layout.box.contains({layout.button.midX(), layout.button.midY()}));

    testsupport::TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.alert"}, {"KL_URL", "local://game/"}}));
    bundle.writeFile("Data/index.html", kPage);
    game.emplace(bundle.path(), dir / "home", dir / "game.log");
    ASSERT_TRUE(testsupport::waitFor([&] { return !game->running() || (window = windowOf(display, game->pid())); }))
        << game->log();
    ASSERT_TRUE(window) << "the game ended early:\n" << game->log();
    ASSERT_TRUE(testsupport::waitFor([&] { return !game->running() || game->reported("alert shown"); }))
        << game->log();
    ASSERT_TRUE(game->running()) << game->log();

    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    CGPoint centre{attributes.width / 2.0, attributes.height / 2.0};
    CGRect box = layout.box.offsetBy(centre.x, centre.y);
    CGRect button = layout.button.offsetBy(centre.x, centre.y);
    CGPoint inBox{box.minX() + 6, box.minY() + box.height() / 4};
    CGPoint beside{box.minX() / 2, box.minY() / 2};

    // On screen: the light box, and the page dimmed around it.
    RGB dimmed{kPageColour.r * 6 / 10, kPageColour.g * 6 / 10, kPageColour.b * 6 / 10};
    EXPECT_TRUE(waitForPixel(inBox, [](RGB p) { return p.r > 235 && p.g > 235 && p.b > 235; }));
    EXPECT_TRUE(waitForPixel(beside, [&](RGB p) { return near(p, dimmed); }));

    // Beside the box, then on the second button: the events reach the game in
    // that order, so a press that leaked to the page would be reported first.
    click(beside);
    click({button.midX(), button.midY()});
    ASSERT_TRUE(testsupport::waitFor([&] { return game->reported("onAlertViewClick"); })) << game->log();
    // The alert is gone and the page shows undimmed.
    EXPECT_TRUE(waitForPixel(beside, [](RGB p) { return near(p, kPageColour); }));

    // Now a press at the same place reaches the page.
    click(beside);
    ASSERT_TRUE(testsupport::waitFor([&] { return game->reported("page mousedown"); })) << game->log();
    std::string pressed = strings::format("page mousedown %d %d", int(beside.x), int(beside.y));
    EXPECT_EQ(game->reports(), (std::vector<std::string>{"alert shown", "onAlertViewClick 1", pressed}))
        << game->log();
}

}  // namespace
