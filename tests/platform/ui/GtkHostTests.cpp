// The toolkit in a real GTK window (under a virtual X server): its windows
// draw over a native widget standing in for the web view, and pointer
// events go to the toolkit where its views are and to the widget elsewhere.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <functional>

#include "platform/dispatch/RunLoop.h"
#include "platform/ui/GtkHost.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UITextField.h"
#include "support/TestSupport.h"

// X11 last: its macros collide with names above.
#include <gdk/gdkx.h>
#include "support/XTestClick.h"

namespace {

// A red GTK drawing area in the place of the web view, counting its clicks.
class NativeView : public UIView {
public:
    NativeView() {
        widget_ = gtk_drawing_area_new();
        g_object_ref_sink(widget_);
        gtk_widget_add_events(widget_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
        g_signal_connect(widget_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) -> gboolean {
                             cairo_set_source_rgb(cr, 1, 0, 0);
                             cairo_paint(cr);
                             return TRUE;
                         }), nullptr);
        g_signal_connect(widget_, "button-press-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             ++static_cast<NativeView*>(self)->clicks;
                             return TRUE;
                         }), this);
    }
    ~NativeView() override { g_object_unref(widget_); }
    GtkWidget* nativeWidget() const override { return widget_; }
    int clicks = 0;

private:
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

// A real click through the X server (XTest), as a player's mouse makes it.
void click(CGPoint p) {
    GdkWindow* w = gtk_widget_get_window(GtkHost::toplevel());
    int ox = 0, oy = 0;
    gdk_window_get_origin(w, &ox, &oy);
    testsupport::xtestClick(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), ox + int(p.x), oy + int(p.y));
}

TEST(GtkHost, AlertDrawsOverTheNativeWidgetAndTakesTheClick) {
    int argc = 1;
    char arg0[] = "ui_host_tests";
    char* argvData[] = {arg0, nullptr};
    char** argv = argvData;
    ASSERT_TRUE(GtkHost::initialize(&argc, &argv)) << "needs a display (run under xvfb-run)";
    auto root = std::make_shared<Root>();
    auto window = std::make_shared<UIWindow>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    GtkHost::sync();
    ASSERT_TRUE(testsupport::waitFor([] { return gtk_widget_get_mapped(GtkHost::toplevel()); }));
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
    window->setHidden(true);
}

}  // namespace
