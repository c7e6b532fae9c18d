#pragma once
// A real click through the X server (XTest), as a player's mouse makes it:
// the pointer moves to a point of the root window, then button 1 goes down
// and up. Include this header last: Xlib's macros (None, Bool, Status)
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

}  // namespace testsupport
