#pragma once
// A real click through the X server (XTest), as a player's mouse makes it:
// the pointer moves to a point of the root window, then button 1 goes down
// and up; a real drag; and turns of the wheel. Include this header last: Xlib's macros (None, Bool, Status)
// collide with names elsewhere, and are undefined here.

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#undef None
#undef Bool
#undef Status

namespace testsupport {

inline void xtestClick(Display* display, int rootX, int rootY) {
    XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
}

// Button 1 down at one point of the root window, `steps` moves to the
// other, then up. The X server spaces the moves `msPerStep` apart by its own
// clock (XTest's delay), so the drag has a speed without a sleep here.
inline void xtestDrag(Display* display, int fromX, int fromY, int toX, int toY, int steps = 12,
                      unsigned long msPerStep = 16) {
    XTestFakeMotionEvent(display, -1, fromX, fromY, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    for (int i = 1; i <= steps; ++i)
        XTestFakeMotionEvent(display, -1, fromX + (toX - fromX) * i / steps, fromY + (toY - fromY) * i / steps, msPerStep);
    XTestFakeButtonEvent(display, 1, False, msPerStep);
    XFlush(display);
}

// Turns the mouse wheel `notches` times at a point of the root window:
// down (towards the content's end) when positive, up when negative.
inline void xtestWheel(Display* display, int rootX, int rootY, int notches) {
    XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
    unsigned button = notches > 0 ? 5 : 4;
    for (int i = 0; i < (notches > 0 ? notches : -notches); ++i) {
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
    }
    XFlush(display);
}

}  // namespace testsupport
