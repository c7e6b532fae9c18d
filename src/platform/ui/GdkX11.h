#pragma once
// The toolkit's X11 calls, without Xlib's macros (None, Bool, Status,
// Above, Below), which collide with names of ours and of the toolkit.
// Include it after every other header.

#include <gdk/gdkx.h>
#undef None
#undef Bool
#undef Status
#undef Above
#undef Below
