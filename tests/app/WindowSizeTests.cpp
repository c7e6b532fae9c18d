// The game's window keeps the phone profile's size (375×667), with the
// login window up: its size hints give one size; resized by another X
// client where no window manager applies them, it takes its size back and
// the login window's dimming still covers all of it; under a window manager
// (jwm, on a virtual X server of the test's own) it offers neither maximise
// nor resizing, and a request for either leaves it as it is. A window its
// monitor's work area cannot hold (GDK_SCALE=2 on a 1280×1024 screen) is
// named in the log (the platform log and the game's log files) with both
// sizes in pixels; one that fits is not.

#include <gtest/gtest.h>

#include "LoginRoadSupport.h"
#include "support/GameProcess.h"
#include "support/PrivateDisplay.h"
#include "support/TestSupport.h"

// X11 last: its macros collide with names above.
#include "support/GameWindow.h"

namespace {

using namespace testsupport;

constexpr int kWidth = 375, kHeight = 667;
constexpr RGB kDimmed{40 * 6 / 10, 120 * 6 / 10, 220 * 6 / 10};  // the page under the login window
constexpr const char* kTooLarge = "does not fit its monitor's work area";

const char* kLoginPage = R"HTML(<!DOCTYPE html><html><head><meta charset="utf-8"></head>
<body style="margin: 0; height: 100vh; background: rgb(40, 120, 220)"><script>
function whenReady(f) {
  RelaySDK_IOS.GetInitResult(function (c) { if (c === 0) f(); else setTimeout(function () { whenReady(f); }, 100); });
}
whenReady(function () { RelaySDK_IOS.Login(); });
</script></body></html>)HTML";

std::vector<std::string> atoms(Display* d, Window w, const char* property) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<std::string> out;
    if (XGetWindowProperty(d, w, XInternAtom(d, property, False), 0, 64, False, XA_ATOM, &type, &format, &items,
                           &after, &data) == Success &&
        data && format == 32)
        for (unsigned long i = 0; i < items; ++i) {
            char* name = XGetAtomName(d, reinterpret_cast<Atom*>(data)[i]);
            out.emplace_back(name ? name : "");
            if (name) XFree(name);
        }
    if (data) XFree(data);
    return out;
}

bool holds(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

// A change of _NET_WM_STATE asked of the window manager, as a pager or a title bar's button asks for it.
void askState(Display* d, Window w, const char* first, const char* second = nullptr) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1;  // add
    e.xclient.data.l[1] = long(XInternAtom(d, first, False));
    e.xclient.data.l[2] = second ? long(XInternAtom(d, second, False)) : 0;
    e.xclient.data.l[3] = 1;  // from an application
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XSync(d, False);
}

class WindowSize : public ::testing::Test {
protected:
    void SetUp() override {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        ASSERT_TRUE(standIns.start());
    }
    void TearDown() override {
        game.reset();
        if (display) XCloseDisplay(display);
    }
    // The game on `displayName` ("" for the shared one), its login window up.
    void launch(const std::string& displayName = "",
                const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
        ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
        auto bundle = dir / "Game.app";
        roadtest::writeBundle(bundle, roadtest::infoFor(standIns), kLoginPage);
        GameProcess::Options options{bundle, dir / "home", dir / "game.log", environment};
        if (!displayName.empty()) options.environment.push_back({"DISPLAY", displayName});
        game.emplace(options);
        ASSERT_TRUE(waitFor([&] { return !game->running() || (window = windowOf(display, game->pid())); }))
            << game->log();
        ASSERT_TRUE(window) << "the game ended early:\n" << game->log();
        XSelectInput(display, window, StructureNotifyMask);
        ASSERT_TRUE(dimmedAt(8, 8)) << game->log();
    }
    bool dimmedAt(int x, int y) {
        return waitFor([&] {
            auto p = pixel(display, window, x, y);
            return p && near(*p, kDimmed);
        });
    }
    CGSize size() {
        XWindowAttributes a{};
        XGetWindowAttributes(display, window, &a);
        return {double(a.width), double(a.height)};
    }
    // Waits for the window's next ConfigureNotify of this size (those before it are passed over).
    bool configuredTo(int width, int height) {
        return waitFor([&] {
            while (XPending(display)) {
                XEvent e;
                XNextEvent(display, &e);
                if (e.type == ConfigureNotify && e.xconfigure.window == window && e.xconfigure.width == width &&
                    e.xconfigure.height == height)
                    return true;
            }
            return false;
        });
    }

    std::optional<PrivateDisplay> desktop;  // outlives the connection to it
    Display* display = nullptr;
    Window window = 0;
    TempDir dir;
    roadtest::StandIns standIns;
    std::optional<GameProcess> game;
};

TEST_F(WindowSize, ResizedByAnotherClientItTakesThePhonesSizeBack) {
    launch();
    XSizeHints hints{};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(display, window, &hints, &supplied));
    EXPECT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize));
    EXPECT_EQ(hints.min_width, kWidth);
    EXPECT_EQ(hints.max_width, kWidth);
    EXPECT_EQ(hints.min_height, kHeight);
    EXPECT_EQ(hints.max_height, kHeight);

    XResizeWindow(display, window, 700, 900);
    XSync(display, False);
    ASSERT_TRUE(configuredTo(700, 900));
    ASSERT_TRUE(configuredTo(kWidth, kHeight)) << game->log();
    // The login window's dimming covers the window to its far corner.
    EXPECT_TRUE(dimmedAt(kWidth - 8, kHeight - 8)) << game->log();
    EXPECT_EQ(size(), (CGSize{kWidth, kHeight}));
}

TEST_F(WindowSize, UnderAWindowManagerItOffersNeitherMaximiseNorResizing) {
    desktop.emplace(1280, 1024);
    ASSERT_FALSE(desktop->name().empty()) << "Xvfb did not start";
    ASSERT_TRUE(desktop->startWindowManager({"jwm"})) << "jwm did not start (scripts/deps installs it)";
    launch(desktop->name());
    EXPECT_FALSE(game->logged(kTooLarge)) << game->log();
    std::vector<std::string> allowed;
    ASSERT_TRUE(waitFor([&] { return holds(allowed = atoms(display, window, "_NET_WM_ALLOWED_ACTIONS"), "_NET_WM_ACTION_CLOSE"); }));
    for (auto* action : {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE",
                         "_NET_WM_ACTION_FULLSCREEN"})
        EXPECT_FALSE(holds(allowed, action)) << action;

    // Asked anyway, maximise and a larger size are refused. The window
    // manager takes requests in order: once it has put the window above the
    // others, it has answered the two before.
    askState(display, window, "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ");
    XResizeWindow(display, window, 700, 900);
    XSync(display, False);
    askState(display, window, "_NET_WM_STATE_ABOVE");
    std::vector<std::string> state;
    ASSERT_TRUE(waitFor([&] { return holds(state = atoms(display, window, "_NET_WM_STATE"), "_NET_WM_STATE_ABOVE"); }));
    EXPECT_FALSE(holds(state, "_NET_WM_STATE_MAXIMIZED_VERT"));
    EXPECT_FALSE(holds(state, "_NET_WM_STATE_MAXIMIZED_HORZ"));
    EXPECT_EQ(size(), (CGSize{kWidth, kHeight}));
    EXPECT_TRUE(dimmedAt(kWidth - 8, kHeight - 8)) << game->log();
}

TEST_F(WindowSize, DoubledOnAnOrdinaryScreenTheLogSaysItDoesNotFit) {
    desktop.emplace(1280, 1024);
    ASSERT_FALSE(desktop->name().empty()) << "Xvfb did not start";
    launch(desktop->name(), {{"GDK_SCALE", "2"}});
    EXPECT_TRUE(waitFor([&] {
        return game->logged("the window (750x1334 pixels at scale 2) does not fit its monitor's work area "
                            "(1280x1024 pixels)");
    })) << game->log();
    EXPECT_TRUE(game->logged("at least 750x1334 pixels (a smaller GDK_SCALE makes it smaller)")) << game->log();
    // The game's log files have it too.
    auto logFiles = [&] {
        std::string all;
        std::error_code ec;
        for (auto& e : std::filesystem::directory_iterator(dir / "home/Library/Caches/Logs", ec))
            all += readFile(e.path());
        return all;
    };
    EXPECT_TRUE(waitFor([&] { return logFiles().find("(a smaller GDK_SCALE makes it smaller)") != std::string::npos; }))
        << logFiles();
}

// Doubled, the window fits a screen 1400 pixels high (at scale 1 an
// ordinary one, above): it is not named.
TEST_F(WindowSize, AWindowThatFitsIsNotNamed) {
    desktop.emplace(800, 1400);
    ASSERT_FALSE(desktop->name().empty()) << "Xvfb did not start";
    launch(desktop->name(), {{"GDK_SCALE", "2"}});
    EXPECT_EQ(size(), (CGSize{2 * kWidth, 2 * kHeight}));
    EXPECT_FALSE(game->logged(kTooLarge)) << game->log();
}

}  // namespace
