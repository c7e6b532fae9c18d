#pragma once
// The GTK host of the running application: one top-level GTK window the size
// of the screen profile, in which native widgets of visible windows (the web
// view) are placed at their views' frames, lowest window level first. The
// host turns the GTK window's life (close, minimise, focus) into the
// application's life-cycle events. Without a display everything runs
// headless and the host does nothing.

typedef struct _GtkWidget GtkWidget;

namespace GtkHost {

// gtk_init_check; false when there is no display (headless).
bool initialize(int* argc, char*** argv);
bool hasDisplay();
// The top-level GTK window, made on first use; nullptr headless.
GtkWidget* toplevel();
// Re-places every native widget of the visible windows. Called when windows
// change and when a view with a native widget moves.
void sync();

}  // namespace GtkHost
