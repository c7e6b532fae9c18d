#include "platform/ui/GtkWindowSize.h"

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/GtkHost.h"

#include "platform/ui/GdkX11.h"  // last

namespace GtkHost {

namespace {

struct Size {
    int width = 0, height = 0;
};
Size gFixedSize;

std::function<void(const std::string&)>& warningLog() {
    static auto* log = new std::function<void(const std::string&)>();
    return *log;
}

void warn(const std::string& text) {
    if (warningLog()) warningLog()(text);
    else NSLog("%s", text.c_str());
}

// A window manager that speaks EWMH names itself on the root window.
bool windowManaged(GdkWindow* window) {
    GdkScreen* screen = gdk_window_get_screen(window);
    if (!GDK_IS_X11_SCREEN(screen)) return true;  // elsewhere the compositor keeps the hints
    return g_strcmp0(gdk_x11_screen_get_window_manager_name(screen), "unknown") != 0;
}

gboolean onConfigure(GtkWidget*, GdkEventConfigure* e, gpointer) {
    if (e->width == gFixedSize.width && e->height == gFixedSize.height) return FALSE;
    if (windowManaged(e->window)) return FALSE;
    warn(strings::format("GtkHost: the window was resized to %dx%d from outside; set back to %dx%d", e->width,
                         e->height, gFixedSize.width, gFixedSize.height));
    gdk_window_resize(e->window, gFixedSize.width, gFixedSize.height);
    return FALSE;
}

// What a window may use of its monitor is the work area (panels and docks
// left out). A fixed window larger than that cannot be seen whole: it runs
// off the screen, or a window manager stretches it around a page that keeps
// its size. Said once, in pixels, which is how the user knows the screen.
void warnIfLargerThanWorkArea(GdkWindow* window) {
    GdkMonitor* monitor = gdk_display_get_monitor_at_window(gdk_window_get_display(window), window);
    if (!monitor) return;
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    if (gFixedSize.width <= area.width && gFixedSize.height <= area.height) return;
    int scale = gdk_monitor_get_scale_factor(monitor);
    warn(strings::format("GtkHost: the window (%dx%d pixels at scale %d) does not fit its monitor's work area (%dx%d "
                         "pixels), so part of it cannot be seen; it needs a work area of at least %dx%d pixels%s",
                         gFixedSize.width * scale, gFixedSize.height * scale, scale, area.width * scale,
                         area.height * scale, gFixedSize.width * scale, gFixedSize.height * scale,
                         scale > 1 ? " (a smaller GDK_SCALE makes it smaller)" : ""));
}

gboolean onFirstMap(GtkWidget* widget, GdkEvent*, gpointer) {
    g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(onFirstMap), nullptr);
    if (GdkWindow* window = gtk_widget_get_window(widget)) warnIfLargerThanWorkArea(window);
    return FALSE;
}

}  // namespace

void setWarningLog(std::function<void(const std::string& warning)> log) { warningLog() = std::move(log); }

void holdSize(GtkWidget* window, int width, int height) {
    gFixedSize = {width, height};
    GdkGeometry hints{};
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
    gtk_window_set_geometry_hints(GTK_WINDOW(window), nullptr, &hints,
                                  GdkWindowHints(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    g_signal_connect(window, "configure-event", G_CALLBACK(onConfigure), nullptr);
    g_signal_connect(window, "map-event", G_CALLBACK(onFirstMap), nullptr);
}

}  // namespace GtkHost
