#pragma once
// Whether GL on this display is drawn by the CPU: Mesa's software
// rasterisers ("swrast", or "kms_swrast" on a display device that has no GL
// driver), as under a virtual X server, in a virtual machine or a remote
// desktop without a GPU driver, or with LIBGL_ALWAYS_SOFTWARE set. The
// engine's GL threads (its compositor, its painting workers) have been seen
// to fault inside the rasteriser there, ending the page's content process,
// so web views there draw without GL compositing.
//
// Asked once per process, of EGL on the toolkit's display (X11 or Wayland;
// Mesa's surfaceless platform without one): the display whose GL the engine
// takes for its own and whose device it hands to its content processes.
// The probe's EGL display is never terminated: the engine may hold the same
// one. An EGL that cannot name its driver (not Mesa's) counts as a GPU's;
// one that cannot start at all as software, since the engine finds no GL
// there either.

#include <string>

namespace webengine {

// The EGL driver's name ("swrast", "iris", ...; "" when EGL cannot say).
const std::string& glDriverName();
bool glIsSoftware();

}  // namespace webengine
