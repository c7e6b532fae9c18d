#pragma once
// Shared by the shell's benchmarks: a window for a web view and running
// the main loop until a condition holds.

#include <gtk/gtk.h>

#include <chrono>
#include <functional>

#include "platform/dispatch/RunLoop.h"

namespace bench {

inline GtkWidget* showWidget(GtkWidget* widget, int width = 375, int height = 667) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), width, height);
    gtk_container_add(GTK_CONTAINER(window), widget);
    gtk_widget_show_all(window);
    return window;
}

inline bool runUntil(const std::function<bool()>& cond, std::chrono::seconds timeout = std::chrono::seconds(60)) {
    return RunLoop::runUntil(cond, std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
}

}  // namespace bench
