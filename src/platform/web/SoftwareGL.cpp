#include "platform/web/SoftwareGL.h"

// EGL's own types only: the native display goes in as a plain pointer.
#define EGL_NO_X11
#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <gdk/gdk.h>
#include <gdk/gdkwayland.h>

#include <cstring>

#include "platform/ui/GdkX11.h"  // last: Xlib's macros

namespace webengine {

namespace {

bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    return false;
}

// The EGL display of the toolkit's display, as the engine opens it.
EGLDisplay toolkitDisplay() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getDisplay || !hasExtension(client, "EGL_EXT_platform_base")) return eglGetDisplay(EGL_DEFAULT_DISPLAY);
    GdkDisplay* gdk = gdk_display_get_default();
    if (gdk && GDK_IS_X11_DISPLAY(gdk) && hasExtension(client, "EGL_EXT_platform_x11"))
        return getDisplay(EGL_PLATFORM_X11_EXT, gdk_x11_display_get_xdisplay(gdk), nullptr);
    if (gdk && GDK_IS_WAYLAND_DISPLAY(gdk) && hasExtension(client, "EGL_EXT_platform_wayland"))
        return getDisplay(EGL_PLATFORM_WAYLAND_EXT, gdk_wayland_display_get_wl_display(gdk), nullptr);
    if (hasExtension(client, "EGL_MESA_platform_surfaceless"))
        return getDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

struct Probe {
    bool started = false;
    std::string driver;
};

Probe probe() {
    Probe p;
    EGLDisplay display = toolkitDisplay();
    p.started = display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr);
    if (!p.started) return p;
    auto driverName = reinterpret_cast<PFNEGLGETDISPLAYDRIVERNAMEPROC>(eglGetProcAddress("eglGetDisplayDriverName"));
    if (driverName && hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_MESA_query_driver"))
        if (const char* name = driverName(display)) p.driver = name;
    return p;
}

const Probe& probed() {
    static const Probe once = probe();
    return once;
}

}  // namespace

const std::string& glDriverName() { return probed().driver; }

bool glIsSoftware() {
    const Probe& p = probed();
    return !p.started || p.driver == "swrast" || p.driver == "kms_swrast";
}

}  // namespace webengine
