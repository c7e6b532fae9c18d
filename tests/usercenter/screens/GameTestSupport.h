#pragma once
// The end-to-end set-up of the user centre's screens: korvel-game on the
// demo bundle, pointed at an aggregator and a user-centre stand-in started
// here (the account "demo" / "123456", the demo fixtures), under a virtual
// X server, with the desktop's handler of web addresses replaced by a
// command that writes down what it is given. Points to click come from the
// screens' own layout, computed in this process; every step waits on a
// stand-in's journal or on a pixel, never on time alone.
//
// Include this header last: it brings in Xlib, whose macros collide with
// names elsewhere.

#include <optional>
#include <string>

#include "UITestSupport.h"
#include "standin/AggregatorStandin.h"
#include "standin/UserCentreStandin.h"
#include "support/GameProcess.h"
#include "support/TestSupport.h"

#include "support/GameWindow.h"

class UserCentreGameTest : public UITest {
protected:
    static constexpr testsupport::RGB kPageBackground{0x14, 0x18, 0x2b};  // the demo page's
    static testsupport::RGB rgb(uint32_t c) { return {int(c >> 16), int((c >> 8) & 0xFF), int(c & 0xFF)}; }

    void SetUp() override;
    void TearDown() override;

    // Starts the game and waits for its window.
    void start();
    // Logs "demo" in through the page's button and the login screen, and
    // waits for the floating button.
    void logIn();
    // Opens the user centre with the floating button.
    void openUserCentre();

    // Waits until the window shows `want` at `p`.
    bool pixelIs(CGPoint p, testsupport::RGB want, int tolerance = 14);
    // Waits until the stand-in journalled `count` requests of an API endpoint.
    bool journalled(standin::UserCentreStandin& s, const std::string& endpoint, size_t count = 1);
    // Waits until the window's column x shows `want` between two heights; the first y that does.
    std::optional<double> columnShows(double x, double top, double bottom, testsupport::RGB want, int tolerance = 14);
    void click(CGPoint p);
    void drag(CGPoint from, CGPoint to);
    // Turns the mouse wheel at a point of the window (positive: down).
    void wheel(CGPoint at, int notches);
    void type(const std::string& text);
    // What the desktop's handler was given, a line each.
    std::string opened();
    // With KORVEL_SHOT_DIR set, writes what the game's window shows to
    // <dir>/<name>.png, to look at.
    void shoot(const std::string& name);

    // Points of the screens, laid out here before the game starts (a window
    // of this process shown later could take the game's clicks).
    struct Points {
        CGPoint pageLogin;                  // the demo page's "Login"
        CGPoint account, password, login;   // the login screen (before its keyboard shows)
        CGPoint webBack;                    // a web page's back button in a user-centre stack
    };
    Points points;
    // The middle of a view laid out in this process, in screen points.
    static CGPoint centreOf(const UIView& v);
    CGPoint floatingButton();    // inside the floating button's blue disc
    CGPoint tab(size_t index);   // a tab of the user centre's tab bar
    CGPoint gameCorner();        // a point of the game's page no screen covers

    Display* display = nullptr;
    Window window = 0;
    testsupport::TempDir dir;
    testsupport::fs::path bundle = dir / "DemoGame.app";
    testsupport::DesktopRecorder desktop{dir.path()};
    standin::AggregatorStandin aggregator;
    standin::UserCentreStandin userCentre;
    std::optional<testsupport::GameProcess> game;

private:
    void writeBundle();
    CGPoint pageLoginButton();
    void loginScreen();
    CGPoint webBackButton();
};
