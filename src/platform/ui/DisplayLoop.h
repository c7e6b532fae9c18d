#pragma once
// The display cycle: changes to views ask for one coalesced pass on the main
// queue that lays out every visible window and then tells the redraw
// handler (the GTK host) to repaint. Headless runs only lay out.

#include <functional>

namespace DisplayLoop {

// Schedules a pass (at most one pending at a time).
void setNeedsUpdate();
// Lays out every visible window now and calls the redraw handler.
void runPass();
void setRedrawHandler(std::function<void()> handler);

}  // namespace DisplayLoop
