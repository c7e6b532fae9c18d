#include "platform/ui/GtkWindowSize.h"

#include <gtk/gtk.h>

#include "platform/foundation/PlatformLog.h"

#include "platform/ui/GdkX11.h"  // last

namespace GtkHost {

namespace {

struct Size {
    int width = 0, height = 0;
};
Size gFixedSize;

// A window manager that speaks EWMH names itself on the root window.
bool windowManaged(GdkWindow* window) {
    GdkScreen* screen = gdk_window_get_screen(window);
    if (!GDK_IS_X11_SCREEN(screen)) return true;  // elsewhere the compositor keeps the hints
    return g_strcmp0(gdk_x11_screen_get_window_manager_name(screen), "unknown") != 0;
}

gboolean onConfigure(GtkWidget*, GdkEventConfigure* e, gpointer) {
    if (e->width == gFixedSize.width && e->height == gFixedSize.height) return FALSE;
    if (windowManaged(e->window)) return FALSE;
    NSLog("GtkHost: the window was resized to %dx%d from outside; set back to %dx%d", e->width, e->height,
          gFixedSize.width, gFixedSize.height);
    gdk_window_resize(e->window, gFixedSize.width, gFixedSize.height);
    return FALSE;
}

}  // namespace

void holdSize(GtkWidget* window, int width, int height) {
    gFixedSize = {width, height};
    GdkGeometry hints{};
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
    gtk_window_set_geometry_hints(GTK_WINDOW(window), nullptr, &hints,
                                  GdkWindowHints(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    g_signal_connect(window, "configure-event", G_CALLBACK(onConfigure), nullptr);
}

}  // namespace GtkHost
