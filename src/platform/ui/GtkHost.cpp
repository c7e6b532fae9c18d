#include "platform/ui/GtkHost.h"

#include <gtk/gtk.h>
#include <glib-unix.h>

#include <set>

#include "platform/dispatch/RunLoop.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIScreen.h"

namespace GtkHost {

namespace {

bool gDisplay = false;
GtkWidget* gWindow = nullptr;
GtkWidget* gFixed = nullptr;
bool gSyncing = false;

void terminate() {
    UIApplication::sharedApplication().willTerminate();
    RunLoop::quit();
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
    terminate();
    return TRUE;  // the loop's end closes the window
}

gboolean onWindowState(GtkWidget*, GdkEventWindowState* e, gpointer) {
    auto& app = UIApplication::sharedApplication();
    if (e->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
        if (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) app.didEnterBackground();
        else app.didBecomeActive();
    }
    return FALSE;
}

gboolean onFocus(GtkWidget*, GdkEventFocus* e, gpointer) {
    auto& app = UIApplication::sharedApplication();
    if (e->in) app.didBecomeActive();
    else if (app.applicationState() == UIApplicationState::Active) app.willResignActive();
    return FALSE;
}

void onSizeAllocate(GtkWidget*, GdkRectangle* alloc, gpointer) {
    // Windows fill the GTK window: follow its size.
    for (auto& w : UIApplication::sharedApplication().windows()) {
        CGRect f = w->frame();
        if (f.size.width != alloc->width || f.size.height != alloc->height)
            w->setFrame(CGRect(0, 0, alloc->width, alloc->height));
    }
    sync();
}

void place(UIView& view, bool visible, std::set<GtkWidget*>& placed) {
    bool shown = visible && !view.isHidden() && view.alpha() > 0;
    if (GtkWidget* w = view.nativeWidget()) {
        if (gtk_widget_get_parent(w) != gFixed) {
            if (gtk_widget_get_parent(w)) gtk_container_remove(GTK_CONTAINER(gtk_widget_get_parent(w)), w);
            gtk_fixed_put(GTK_FIXED(gFixed), w, 0, 0);
        }
        CGRect r = view.convertRectToView(view.bounds(), nullptr);
        gtk_fixed_move(GTK_FIXED(gFixed), w, int(r.origin.x), int(r.origin.y));
        gtk_widget_set_size_request(w, int(r.size.width), int(r.size.height));
        if (shown) gtk_widget_show(w);
        else gtk_widget_hide(w);
        placed.insert(w);
    }
    for (auto& s : view.subviews()) place(*s, shown, placed);
}

}  // namespace

bool initialize(int* argc, char*** argv) {
    gDisplay = gtk_init_check(argc, argv);
    g_unix_signal_add(SIGTERM, [](gpointer) -> gboolean { terminate(); return G_SOURCE_REMOVE; }, nullptr);
    g_unix_signal_add(SIGINT, [](gpointer) -> gboolean { terminate(); return G_SOURCE_REMOVE; }, nullptr);
    UIApplication::sharedApplication().setWindowsObserver([] { sync(); });
    return gDisplay;
}

bool hasDisplay() { return gDisplay; }

GtkWidget* toplevel() {
    if (!gDisplay) return nullptr;
    if (!gWindow) {
        gWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        CGRect b = UIScreen::mainScreen().bounds();
        gtk_window_set_default_size(GTK_WINDOW(gWindow), int(b.size.width), int(b.size.height));
        gFixed = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(gWindow), gFixed);
        g_signal_connect(gWindow, "delete-event", G_CALLBACK(onDelete), nullptr);
        g_signal_connect(gWindow, "window-state-event", G_CALLBACK(onWindowState), nullptr);
        g_signal_connect(gWindow, "focus-in-event", G_CALLBACK(onFocus), nullptr);
        g_signal_connect(gWindow, "focus-out-event", G_CALLBACK(onFocus), nullptr);
        g_signal_connect(gFixed, "size-allocate", G_CALLBACK(onSizeAllocate), nullptr);
        gtk_widget_show_all(gWindow);
    }
    return gWindow;
}

void sync() {
    if (!gDisplay || gSyncing) return;
    auto windows = UIApplication::sharedApplication().windows();
    if (windows.empty() && !gWindow) return;
    if (!toplevel()) return;
    gSyncing = true;
    std::set<GtkWidget*> placed;
    for (auto& w : windows) place(*w, true, placed);
    // Widgets whose views left every visible window are hidden, not destroyed.
    GList* children = gtk_container_get_children(GTK_CONTAINER(gFixed));
    for (GList* c = children; c; c = c->next)
        if (!placed.count(GTK_WIDGET(c->data))) gtk_widget_hide(GTK_WIDGET(c->data));
    g_list_free(children);
    gSyncing = false;
}

}  // namespace GtkHost

int UIApplicationMain(int argc, char** argv, std::function<std::shared_ptr<UIApplicationDelegate>()> makeDelegate) {
    GtkHost::initialize(&argc, &argv);
    auto& app = UIApplication::sharedApplication();
    app.setDelegate(makeDelegate ? makeDelegate() : nullptr);
    app.didFinishLaunching(Value());
    app.didBecomeActive();
    RunLoop::run();
    return 0;
}
