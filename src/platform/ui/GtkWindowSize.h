#pragma once
// The host window keeps the screen profile's size: the page and the native
// screens are laid out for a portrait phone. The window is not resizable
// (its size hints give one size, so a window manager offers neither
// maximise nor resizing), and where no window manager applies those hints
// (X lets any client resize a window), a size set from outside is set back.
// Under a window manager the host leaves the window to it rather than
// fight one that insists on another size. When the window is first shown
// and its monitor's work area cannot hold it (a large GDK_SCALE on an
// ordinary screen), a warning in the log gives both sizes in pixels.

typedef struct _GtkWidget GtkWidget;

namespace GtkHost {

// Fixes the top-level `window` at width × height (points).
void holdSize(GtkWidget* window, int width, int height);

}  // namespace GtkHost
