#pragma once
// The game's window as the X server shows it, for end-to-end tests: the
// top-level window of a process, the colour at one of its points, and real
// clicks and keys (XTest). Include this header last: Xlib's macros collide
// with names elsewhere.

#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/foundation/Strings.h"
#include "platform/graphics/Geometry.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "support/XTestClick.h"

namespace testsupport {

struct RGB {
    int r, g, b;
};

inline bool near(RGB p, RGB want, int tolerance = 12) {
    return std::abs(p.r - want.r) <= tolerance && std::abs(p.g - want.g) <= tolerance &&
           std::abs(p.b - want.b) <= tolerance;
}

// The mapped top-level X window of a process (GTK names its pid on it),
// searched under `parent` down to a window manager's frames; 0 when none.
inline Window windowOf(Display* d, pid_t pid, Window parent = 0, int depth = 0) {
    Window root = DefaultRootWindow(d), up = 0, *children = nullptr, found = 0;
    unsigned count = 0;
    if (!XQueryTree(d, parent ? parent : root, &root, &up, &children, &count)) return 0;
    Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable) continue;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                               &data) == Success &&
            data && items == 1 && format == 32 && pid_t(*reinterpret_cast<unsigned long*>(data)) == pid)
            found = children[i];
        if (data) XFree(data);
    }
    for (unsigned i = 0; i < count && !found && depth < 2; ++i) found = windowOf(d, pid, children[i], depth + 1);
    if (children) XFree(children);
    return found;
}

// What the X server shows at a point of the window.
inline std::optional<RGB> pixel(Display* d, Window w, int x, int y) {
    XImage* image = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return std::nullopt;
    unsigned long v = XGetPixel(image, 0, 0);
    auto channel = [v](unsigned long mask) {
        int shift = __builtin_ctzl(mask);
        return int(((v & mask) >> shift) * 255 / (mask >> shift));
    };
    RGB out{channel(image->red_mask), channel(image->green_mask), channel(image->blue_mask)};
    XDestroyImage(image);
    return out;
}

inline std::optional<RGB> pixel(Display* d, Window w, CGPoint p) { return pixel(d, w, int(p.x), int(p.y)); }

// The first y in [y0, y1) of the window's column x that shows `want`; nullopt when none does.
inline std::optional<int> firstInColumn(Display* d, Window w, int x, int y0, int y1, RGB want, int tolerance = 12) {
    if (y1 <= y0) return std::nullopt;
    XImage* image = XGetImage(d, w, x, y0, 1, unsigned(y1 - y0), AllPlanes, ZPixmap);
    if (!image) return std::nullopt;
    auto channel = [](unsigned long v, unsigned long mask) {
        int shift = __builtin_ctzl(mask);
        return int(((v & mask) >> shift) * 255 / (mask >> shift));
    };
    std::optional<int> found;
    for (int y = 0; y < y1 - y0 && !found; ++y) {
        unsigned long v = XGetPixel(image, 0, y);
        RGB p{channel(v, image->red_mask), channel(v, image->green_mask), channel(v, image->blue_mask)};
        if (near(p, want, tolerance)) found = y0 + y;
    }
    XDestroyImage(image);
    return found;
}

// A key press and release through the X server, with Shift held when `shift`.
inline void xtestKey(Display* d, KeySym sym, bool shift = false) {
    KeyCode shiftCode = XKeysymToKeycode(d, XK_Shift_L);
    if (shift) XTestFakeKeyEvent(d, shiftCode, 1, CurrentTime);
    KeyCode code = XKeysymToKeycode(d, sym);
    XTestFakeKeyEvent(d, code, 1, CurrentTime);
    XTestFakeKeyEvent(d, code, 0, CurrentTime);
    if (shift) XTestFakeKeyEvent(d, shiftCode, 0, CurrentTime);
    XFlush(d);
}

// Types plain ASCII letters and digits.
inline void xtestType(Display* d, const std::string& text) {
    for (char c : text) {
        bool upper = c >= 'A' && c <= 'Z';
        xtestKey(d, XStringToKeysym(std::string(1, upper ? char(c - 'A' + 'a') : c).c_str()), upper);
    }
}

// The pixels of a rectangle of the window for which `pred` holds; -1 when
// the window cannot be read.
template <class Pred>
int countPixels(Display* d, Window w, int x, int y, int width, int height, Pred pred) {
    XImage* image = XGetImage(d, w, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return -1;
    int n = 0;
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            unsigned long v = XGetPixel(image, col, row);
            n += pred(RGB{int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255)});
        }
    XDestroyImage(image);
    return n;
}

// Types any text (UTF-8): each character's Unicode keysym is put on a
// keycode the server has left empty and pressed there, which GTK's input
// method commits as that character. The keycodes keep their keysyms (taking
// them back could race the client's reading of the new mapping).
inline void xtestTypeUnicode(Display* d, const std::string& text) {
    int minCode = 0, maxCode = 0;
    XDisplayKeycodes(d, &minCode, &maxCode);
    std::u16string units = strings::toUTF16(text);
    for (size_t at = 0; at < units.size(); ++at) {
        char32_t c = units[at];
        if (c >= 0xD800 && c < 0xDC00 && at + 1 < units.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++at] - 0xDC00);
        KeySym sym = c < 0x100 ? KeySym(c) : KeySym(0x1000000 + c);
        KeyCode code = XKeysymToKeycode(d, sym);
        for (int k = maxCode; !code && k >= minCode; --k) {
            int perCode = 0;
            KeySym* syms = XGetKeyboardMapping(d, KeyCode(k), 1, &perCode);
            bool empty = true;
            for (int i = 0; i < perCode; ++i) empty = empty && syms[i] == NoSymbol;
            XFree(syms);
            if (!empty) continue;
            KeySym both[2] = {sym, sym};
            XChangeKeyboardMapping(d, k, 2, both, 1);
            XSync(d, False);
            code = KeyCode(k);
        }
        if (!code) continue;
        XTestFakeKeyEvent(d, code, 1, CurrentTime);
        XTestFakeKeyEvent(d, code, 0, CurrentTime);
        XSync(d, False);
    }
}

// A real click at a point of the window.
inline void clickIn(Display* d, Window w, int x, int y) {
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x, y, &rx, &ry, &child);
    xtestClick(d, rx, ry);
}

// A real drag between two points of the window.
inline void dragIn(Display* d, Window w, int x0, int y0, int x1, int y1) {
    int rx0 = 0, ry0 = 0, rx1 = 0, ry1 = 0;
    Window child = 0;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x0, y0, &rx0, &ry0, &child);
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x1, y1, &rx1, &ry1, &child);
    xtestDrag(d, rx0, ry0, rx1, ry1);
}

}  // namespace testsupport
