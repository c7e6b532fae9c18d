// The toolkit in a real GTK window (under a virtual X server): its windows
// draw over a native widget standing in for the web view, and pointer
// events (the wheel's too) go to the toolkit where its views are and to the
// widget elsewhere.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <functional>

#include "platform/dispatch/RunLoop.h"
#include "platform/ui/CADisplayLink.h"
#include "platform/ui/GtkHost.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UITextField.h"
#include "support/TestSupport.h"

// X11 last: its macros collide with names above.
#include <gdk/gdkx.h>
#include "support/XTestClick.h"

namespace {

// A GTK drawing area of one colour (red by default) in the place of a web
// view, counting its clicks.
class NativeView : public UIView {
public:
    explicit NativeView(UIColor colour = UIColor::redColor()) : colour_(colour) {
        widget_ = gtk_drawing_area_new();
        g_object_ref_sink(widget_);
        gtk_widget_add_events(widget_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
        g_signal_connect(widget_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer self) -> gboolean {
                             UIColor c = static_cast<NativeView*>(self)->colour_;
                             cairo_set_source_rgb(cr, c.red, c.green, c.blue);
                             cairo_paint(cr);
                             return TRUE;
                         }), this);
        g_signal_connect(widget_, "button-press-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             ++static_cast<NativeView*>(self)->clicks;
                             return TRUE;
                         }), this);
        gtk_widget_set_can_focus(widget_, TRUE);
        gtk_widget_add_events(widget_, GDK_KEY_PRESS_MASK);
        g_signal_connect(widget_, "key-press-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             ++static_cast<NativeView*>(self)->keys;
                             return TRUE;
                         }), this);
        gtk_widget_add_events(widget_, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
        g_signal_connect(widget_, "scroll-event", G_CALLBACK(+[](GtkWidget*, GdkEventScroll* e, gpointer self) -> gboolean {
                             static_cast<NativeView*>(self)->scrolledAt.push_back(e->y);
                             return TRUE;
                         }), this);
    }
    ~NativeView() override { g_object_unref(widget_); }
    GtkWidget* nativeWidget() const override { return widget_; }
    // As a web view does: the host places it again whenever it or a view around it moves.
    void geometryDidChange() override {
        UIView::geometryDidChange();
        GtkHost::sync();
    }
    int clicks = 0, keys = 0;
    std::vector<double> scrolledAt;  // where wheel turns reached it (its y)

private:
    UIColor colour_;
    GtkWidget* widget_;
};

class Root : public UIViewController {
public:
    std::shared_ptr<NativeView> native;
    void loadView() override {
        UIViewController::loadView();
        native = std::make_shared<NativeView>();
        native->setFrame(view()->bounds());
        view()->addSubview(native);
    }
};

class FaultyView : public UIView {
public:
    using UIView::UIView;
    bool touched = false;
    void touchesBegan(const UITouchSet&, UIEvent*) override {
        touched = true;
        throw std::runtime_error("the view failed");
    }
};

GdkPixbuf* shot() {
    GdkWindow* w = gtk_widget_get_window(GtkHost::toplevel());
    return gdk_pixbuf_get_from_window(w, 0, 0, gdk_window_get_width(w), gdk_window_get_height(w));
}

struct Pixel {
    int r, g, b;
};
Pixel at(GdkPixbuf* pb, int x, int y) {
    const guchar* p = gdk_pixbuf_get_pixels(pb) + y * gdk_pixbuf_get_rowstride(pb) + x * gdk_pixbuf_get_n_channels(pb);
    return {p[0], p[1], p[2]};
}

// Runs the loop until a screenshot satisfies `ok` (the X server draws
// asynchronously); true when it did before the time-out.
bool screenShows(const std::function<bool(GdkPixbuf*)>& ok) {
    return testsupport::waitFor([&] {
        GdkPixbuf* pb = shot();
        bool yes = pb && ok(pb);
        if (pb) g_object_unref(pb);
        return yes;
    });
}

bool isRed(Pixel p) { return p.r > 200 && p.g < 60; }
bool is(Pixel p, int r, int g, int b) { return std::abs(p.r - r) < 30 && std::abs(p.g - g) < 30 && std::abs(p.b - b) < 30; }

void initializeHost() {
    static int argc = 1;
    static char arg0[] = "ui_host_tests";
    static char* argvData[] = {arg0, nullptr};
    static char** argv = argvData;
    ASSERT_TRUE(GtkHost::initialize(&argc, &argv)) << "needs a display (run under xvfb-run)";
}

// A real click through the X server (XTest), as a player's mouse makes it.
void click(CGPoint p) {
    GdkWindow* w = gtk_widget_get_window(GtkHost::toplevel());
    int ox = 0, oy = 0;
    gdk_window_get_origin(w, &ox, &oy);
    testsupport::xtestClick(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), ox + int(p.x), oy + int(p.y));
}

// The game's window, shown: a Root with its native widget, mapped.
struct GameWindow {
    std::shared_ptr<Root> root = std::make_shared<Root>();
    std::shared_ptr<UIWindow> window = std::make_shared<UIWindow>();
    GameWindow() {
        initializeHost();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        GtkHost::sync();
    }
    bool mapped() const { return testsupport::waitFor([] { return gtk_widget_get_mapped(GtkHost::toplevel()); }); }
};

TEST(GtkHost, AlertDrawsOverTheNativeWidgetAndTakesTheClick) {
    GameWindow game;
    auto& root = game.root;
    auto& window = game.window;
    ASSERT_TRUE(game.mapped());
    // The native widget shows.
    ASSERT_TRUE(screenShows([](GdkPixbuf* pb) { return isRed(at(pb, 20, 20)); }));

    // A click on the native widget goes to it, not to the toolkit.
    click({20, 20});
    ASSERT_TRUE(testsupport::waitFor([&] { return root->native->clicks == 1; }));

    std::vector<std::string> log;
    auto alert = UIAlertController::alertControllerWithTitle("提示", "网络错误", UIAlertControllerStyle::Alert);
    alert->addAction(UIAlertAction::actionWithTitle("确定", UIAlertActionStyle::Default,
                                                    [&](UIAlertAction& a) { log.push_back(a.title()); }));
    root->presentViewController(alert, false);
    // The light alert box over the red widget, which is dimmed (red under
    // 40% black) around it.
    EXPECT_TRUE(screenShows([](GdkPixbuf* pb) {
        Pixel dimmed = at(pb, 20, 20), box = at(pb, 187, 333);
        return dimmed.r > 120 && dimmed.r < 190 && box.g > 220;
    }));

    auto button = alert->buttonForAction(0);
    ASSERT_TRUE(button);
    CGRect f = uitest::screenFrame(*button);
    click({f.midX(), f.midY()});
    ASSERT_TRUE(testsupport::waitFor([&] { return !log.empty(); }));
    EXPECT_EQ(log, std::vector<std::string>{"确定"});
    EXPECT_EQ(root->native->clicks, 1);
    // The alert is gone.
    EXPECT_TRUE(screenShows([](GdkPixbuf* pb) { return isRed(at(pb, 20, 20)); }));

    // Hosted, a display link follows the window's frame clock.
    double refresh = 0;
    unsigned id = GtkHost::addFrameCallback([&](double interval) { refresh = interval; });
    ASSERT_NE(id, 0u);
    int frames = 0;
    auto link = CADisplayLink::displayLinkWithCallback([&](CADisplayLink&) { ++frames; });
    link->addToRunLoop(NSRunLoopCommonModes);
    ASSERT_TRUE(testsupport::waitFor([&] { return frames >= 3 && refresh > 0; }));
    EXPECT_DOUBLE_EQ(link->duration(), refresh);
    link->invalidate();
    GtkHost::removeFrameCallback(id);

    // A fault in a view's touch handling stops at the host, and is logged.
    auto faulty = std::make_shared<FaultyView>(CGRect(0, 100, 100, 100));
    root->view()->addSubview(faulty);
    GtkHost::sync();
    testsupport::StderrCapture err;
    click({50, 150});
    ASSERT_TRUE(testsupport::waitFor([&] { return faulty->touched; }));
    EXPECT_NE(err.text().find("GtkHost: an event handler failed: the view failed"), std::string::npos) << err.text();
    window->setHidden(true);
}

class PassThroughWindowForMoves : public UIWindow {
public:
    std::shared_ptr<UIView> hitTest(CGPoint p, UIEvent* e) override {
        auto hit = UIWindow::hitTest(p, e);
        return hit.get() == this ? nullptr : hit;
    }
};

void wheel(CGPoint p, int notches) {
    GdkWindow* w = gtk_widget_get_window(GtkHost::toplevel());
    int ox = 0, oy = 0;
    gdk_window_get_origin(w, &ox, &oy);
    testsupport::xtestWheel(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), ox + int(p.x), oy + int(p.y), notches);
}

// A native view in a higher window goes where its container goes: moved
// up and back down (as a panel lifted over the keyboard moves), it shows at
// each place, and once its container is taken off screen it shows nowhere.
TEST(GtkHost, ANativeViewFollowsItsContainerAndLeavesWithIt) {
    initializeHost();
    auto root = std::make_shared<Root>();
    auto game = std::make_shared<UIWindow>();
    game->setRootViewController(root);
    game->makeKeyAndVisible();
    auto upper = std::make_shared<PassThroughWindowForMoves>();
    upper->setWindowLevel(UIWindowLevelStatusBar + 1);
    upper->setBackgroundColor(UIColor::clearColor());
    upper->setOpaque(false);
    auto panel = std::make_shared<UIView>(CGRect(40, 200, 300, 300));
    panel->setBackgroundColor(UIColor::whiteColor());
    auto page = std::make_shared<NativeView>(UIColor::greenColor());
    page->setFrame(CGRect(0, 44, 300, 256));
    panel->addSubview(page);
    upper->addSubview(panel);
    upper->setHidden(false);
    GtkHost::sync();
    ASSERT_TRUE(testsupport::waitFor([] { return gtk_widget_get_mapped(GtkHost::toplevel()); }));
    auto at = [&](int x, int y, int r, int g, int b) {
        return screenShows([&](GdkPixbuf* pb) { return is(::at(pb, x, y), r, g, b); });
    };
    EXPECT_TRUE(at(100, 260, 0, 255, 0));  // the page, under the panel's white bar
    EXPECT_TRUE(at(100, 220, 255, 255, 255));

    panel->setFrame(CGRect(40, 100, 300, 300));  // lifted
    EXPECT_TRUE(at(100, 160, 0, 255, 0));
    EXPECT_TRUE(at(100, 120, 255, 255, 255));
    EXPECT_TRUE(at(100, 420, 255, 0, 0));  // below it now: the game's page
    panel->setFrame(CGRect(40, 200, 300, 300));  // back down
    EXPECT_TRUE(at(100, 220, 255, 255, 255));  // its bar where the page was
    EXPECT_TRUE(at(100, 260, 0, 255, 0));

    panel->removeFromSuperview();
    EXPECT_TRUE(at(100, 260, 255, 0, 0));
    upper->setHidden(true);
    game->setHidden(true);
}

// A window that takes touches on its subviews only.
class PassThroughWindow : public UIWindow {
public:
    std::shared_ptr<UIView> hitTest(CGPoint p, UIEvent* e) override {
        auto hit = UIWindow::hitTest(p, e);
        return hit.get() == this ? nullptr : hit;
    }
};

// A second native view in a higher window stacks over the first, with its
// own window's views drawn under and over it as their order says, and each
// click goes to what shows at its point.
TEST(GtkHost, ANativeViewInAHigherWindowStacksBetweenItsWindowsViews) {
    initializeHost();
    auto root = std::make_shared<Root>();
    auto game = std::make_shared<UIWindow>();
    game->setRootViewController(root);
    game->makeKeyAndVisible();

    auto upper = std::make_shared<PassThroughWindow>();
    upper->setWindowLevel(UIWindowLevelStatusBar + 1);
    upper->setBackgroundColor(UIColor::clearColor());
    upper->setOpaque(false);
    auto under = std::make_shared<UIView>(CGRect(20, 100, 200, 200));  // before the page: under it
    under->setBackgroundColor(UIColor::fromRGB(0xFFFF00));
    auto page = std::make_shared<NativeView>(UIColor::greenColor());
    page->setFrame(CGRect(60, 140, 200, 200));
    auto over = std::make_shared<UIButton>();  // after the page: over it
    over->setFrame(CGRect(160, 240, 150, 150));
    over->setBackgroundColor(UIColor::blueColor());
    int overTaps = 0;
    over->addAction(UIControlEventTouchUpInside, [&](UIControl&) { ++overTaps; });
    for (auto& v : std::vector<std::shared_ptr<UIView>>{under, page, over}) upper->addSubview(v);
    upper->setHidden(false);
    GtkHost::sync();

    struct Spot {
        CGPoint at;
        int r, g, b;
    };
    const std::vector<Spot> spots = {
        {{10, 10}, 255, 0, 0},     // the game's page alone
        {{30, 110}, 255, 255, 0},  // the upper window's view under its page
        {{100, 200}, 0, 255, 0},   // the upper page over both
        {{200, 280}, 0, 0, 255},   // the view after the upper page, over it
        {{300, 380}, 0, 0, 255},
    };
    EXPECT_TRUE(screenShows([&](GdkPixbuf* pb) {
        for (auto& s : spots)
            if (!is(at(pb, int(s.at.x), int(s.at.y)), s.r, s.g, s.b)) return false;
        return true;
    }));

    click({100, 200});
    ASSERT_TRUE(testsupport::waitFor([&] { return page->clicks == 1; }));
    click({200, 280});
    ASSERT_TRUE(testsupport::waitFor([&] { return overTaps == 1; }));
    click({10, 10});
    ASSERT_TRUE(testsupport::waitFor([&] { return root->native->clicks == 1; }));
    EXPECT_EQ(page->clicks, 1);

    // With the upper window gone, its page goes too.
    upper->setHidden(true);
    GtkHost::sync();
    EXPECT_TRUE(screenShows([](GdkPixbuf* pb) { return isRed(at(pb, 100, 200)) && isRed(at(pb, 200, 280)); }));
    game->setHidden(true);
}

// The wheel over a list of the toolkit scrolls the list and never the
// native widget the list covers; over a native widget it reaches that
// widget (here a web page below the list in the same screen).
TEST(GtkHost, TheWheelScrollsTheToolkitViewUnderThePointerNotTheWidgetItCovers) {
    initializeHost();
    auto root = std::make_shared<Root>();
    auto window = std::make_shared<UIWindow>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    // A screen over the game's page (as the user centre's window is): a
    // list at its top, a page of its own below.
    auto screen = std::make_shared<PassThroughWindowForMoves>();
    screen->setWindowLevel(UIWindowLevelStatusBar + 1);
    screen->setBackgroundColor(UIColor::clearColor());
    screen->setOpaque(false);
    auto list = std::make_shared<UIScrollView>(CGRect(0, 0, 375, 300));
    list->setContentSize({375, 2000});
    list->setBackgroundColor(UIColor::whiteColor());
    auto page = std::make_shared<NativeView>(UIColor::greenColor());
    page->setFrame(CGRect(0, 300, 375, 367));
    screen->addSubview(list);
    screen->addSubview(page);
    screen->setHidden(false);
    GtkHost::sync();
    ASSERT_TRUE(testsupport::waitFor([] { return gtk_widget_get_mapped(GtkHost::toplevel()); }));
    ASSERT_TRUE(screenShows([](GdkPixbuf* pb) { return is(at(pb, 20, 20), 255, 255, 255) && is(at(pb, 20, 400), 0, 255, 0); }));

    wheel({100, 150}, 3);
    ASSERT_TRUE(testsupport::waitFor([&] { return list->contentOffset().y >= 3 * 40; })) << list->contentOffset().y;
    double moved = list->contentOffset().y;
    wheel({100, 150}, -1);
    ASSERT_TRUE(testsupport::waitFor([&] { return list->contentOffset().y < moved; }));
    moved = list->contentOffset().y;

    // Over the screen's page: the page's own; turns over the list reached
    // neither it nor the game's page under the list.
    wheel({100, 500}, 2);
    ASSERT_TRUE(testsupport::waitFor([&] { return !page->scrolledAt.empty(); }));
    EXPECT_TRUE(root->native->scrolledAt.empty());
    for (double y : page->scrolledAt) EXPECT_GT(y, 0);
    EXPECT_EQ(list->contentOffset().y, moved);
    screen->setHidden(true);
    window->setHidden(true);
}

// A key press of the player's on the host window, through GDK's own queue
// (as the display delivers it to the window with the keyboard focus).
void typeKey(guint keyval) {
    GdkWindow* w = gtk_widget_get_window(GtkHost::toplevel());
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* e = gdk_event_new(type);
        e->key.window = GDK_WINDOW(g_object_ref(w));
        e->key.time = GDK_CURRENT_TIME;
        e->key.keyval = keyval;
        gdk_event_set_device(e, gdk_seat_get_keyboard(seat));
        gdk_display_put_event(gdk_display_get_default(), e);
        gdk_event_free(e);
    }
}

// Keys go to the focused native widget (the game's page) until a screen of
// the toolkit covers it whole, with nothing focused on it; a native widget
// on that screen gets them.
TEST(GtkHost, AScreenCoveringThePageWholeKeepsTheKeysFromIt) {
    GameWindow game;
    auto& root = game.root;
    ASSERT_TRUE(game.mapped());
    gtk_widget_grab_focus(root->native->nativeWidget());
    typeKey(GDK_KEY_a);
    ASSERT_TRUE(testsupport::waitFor([&] { return root->native->keys == 1; }));

    // A screen over the page, as the login window is: a button, nothing focused.
    auto screen = std::make_shared<UIWindow>();
    screen->setWindowLevel(UIWindowLevelStatusBar + 1);
    screen->setBackgroundColor(UIColor::colorWithWhite(0, 0.4));
    screen->setOpaque(false);
    auto button = std::make_shared<UIButton>(CGRect(100, 300, 175, 44));
    screen->addSubview(button);
    screen->setHidden(false);
    GtkHost::sync();
    gtk_widget_grab_focus(root->native->nativeWidget());  // the page keeps GTK's focus under it
    typeKey(GDK_KEY_b);
    typeKey(GDK_KEY_Return);
    // A page of the screen's own (as the user centre's pages are) takes keys.
    auto page = std::make_shared<NativeView>(UIColor::greenColor());
    page->setFrame(CGRect(0, 400, 375, 267));
    screen->addSubview(page);
    GtkHost::sync();
    gtk_widget_grab_focus(page->nativeWidget());
    typeKey(GDK_KEY_c);
    ASSERT_TRUE(testsupport::waitFor([&] { return page->keys == 1; }));
    EXPECT_EQ(root->native->keys, 1);

    screen->setHidden(true);
    GtkHost::sync();
    gtk_widget_grab_focus(root->native->nativeWidget());
    typeKey(GDK_KEY_d);
    ASSERT_TRUE(testsupport::waitFor([&] { return root->native->keys == 2; }));
    game.window->setHidden(true);
}

}  // namespace
