#pragma once
// The GTK host of the running application: one top-level GTK window the size
// of the screen profile. Native widgets of visible windows (web views) are
// placed at their views' frames and stacked in drawing order; the toolkit's
// windows are drawn with Cairo in layers between them, so that everything
// after a native view in drawing order (alerts, toasts, the keyboard, a
// screen in a higher window) shows over it, and a web view in a higher
// window shows over the game's web view with its own window's views around it.
// Pointer events go to the toolkit where its views are hit and to the native
// widgets elsewhere; so do wheel and touchpad turns (over the toolkit's
// views they scroll its scroll view under the pointer, never a web view
// the toolkit covers); keys reach the first responder through a GTK input
// method context (CJK input). The host turns the GTK window's life (close,
// minimise, focus) into the application's life-cycle events. Without a
// display everything runs headless and the host does nothing.

#include <functional>
#include <string>

typedef struct _GtkWidget GtkWidget;

namespace GtkHost {

// Takes GTK's own options ("--display=:1", "--class NAME", ...) out of
// argv, leaving the rest, without opening a display: a program can then
// refuse what is left before it starts.
void takeToolkitOptions(int* argc, char*** argv);
// gtk_init_check; false when there is no display (headless).
bool initialize(int* argc, char*** argv);
bool hasDisplay();
// The top-level GTK window, made on first use; nullptr headless.
GtkWidget* toplevel();
// Re-places every native widget of the visible windows and redraws the
// toolkit's layers. Called when windows change and when a view with a
// native widget moves.
void sync();
// Writes what the host window shows now (native widgets included) to a PNG.
bool writeScreenshot(const std::string& path);

// Calls `onFrame` with the display's refresh interval in seconds at every
// frame of the host window's frame clock, on the main thread, until
// removed. 0 (nothing called) when there is no host window yet.
unsigned addFrameCallback(std::function<void(double interval)> onFrame);
void removeFrameCallback(unsigned id);

// The host window normally appears with the first toolkit window. An
// application whose first content comes later (a web page) holds it back,
// so that no empty frame shows: it appears at showWindow(), or once
// `mostSeconds` have passed on the clock, whichever comes first.
void holdWindow(double mostSeconds);
void showWindow();

// Where the host's warnings about its window go (one that does not fit
// its monitor, a size set from outside): the platform log until an
// application gives them a road to its own log.
void setWarningLog(std::function<void(const std::string& warning)> log);

// Ends the run as a close of the window does: the application hears that it
// will terminate, then the main loop ends.
void close();

// A host window destroyed from outside (another X client) ends the run
// cleanly, as a close does: X errors (its gone drawables) are trapped for
// the whole run rather than end the process.

}  // namespace GtkHost
