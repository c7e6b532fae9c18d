#pragma once
// The display cycle: changes to views ask for one coalesced pass on the main
// queue that lays out every visible window, runs the display hooks of the
// layers that asked for new content (UIView::displayLayer), and then tells
// the redraw handler (the GTK host) to repaint. Headless runs do not paint.

#include <functional>

namespace DisplayLoop {

// Schedules a pass (at most one pending at a time).
void setNeedsUpdate();
// Lays out every visible window and displays its layers now, then calls
// the redraw handler.
void runPass();
void setRedrawHandler(std::function<void()> handler);

}  // namespace DisplayLoop
