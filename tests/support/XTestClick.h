#pragma once
// A real click through the X server (XTest), as a player's mouse makes it:
// the pointer moves to a point of the root window, then button 1 goes down
// and up; and a real drag. Include this header last: Xlib's macros (None, Bool, Status)
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

}  // namespace testsupport
