#pragma once
// The game executable under a virtual X server, for tests that drive it as
// a player does: the process with its output in a file, its top-level X
// window, what the X server shows at a point, and real clicks and keys
// (XTest).

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Strings.h"
#include "platform/graphics/Geometry.h"
#include "support/TestSupport.h"

// X11 last: its macros collide with names above.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include "support/XTestClick.h"

namespace gametest {

struct RGB {
    int r, g, b;
};
inline bool near(RGB p, RGB want, int tolerance = 12) {
    return std::abs(p.r - want.r) <= tolerance && std::abs(p.g - want.g) <= tolerance &&
           std::abs(p.b - want.b) <= tolerance;
}

// korvel-game on a bundle, its standard output and error going to a file.
class GameProcess {
public:
    GameProcess(const std::filesystem::path& bundle, const std::filesystem::path& home, std::filesystem::path log)
        : log_(std::move(log)) {
        std::string binary = std::string(KORVEL_BINARY_DIR) + "/app/korvel-game";
        pid_ = fork();
        if (pid_ == 0) {
            int fd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd >= 0) {
                dup2(fd, STDOUT_FILENO);
                dup2(fd, STDERR_FILENO);
            }
            execl(binary.c_str(), binary.c_str(), "--bundle", bundle.c_str(), "--home", home.c_str(), nullptr);
            _exit(127);
        }
    }
    ~GameProcess() {
        if (!running()) return;
        ::kill(pid_, SIGTERM);
        if (!testsupport::waitFor([this] { return !running(); }, std::chrono::seconds(10))) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    // The exit code once the process has ended normally (-1 for a signal).
    int exitCode() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    bool running() {
        if (exited_) return false;
        if (pid_ <= 0) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = status;
        }
        return !exited_;
    }
    std::string log() const { return testsupport::readFile(log_); }
    // What the page said through KL_IOS.Error, in order.
    std::vector<std::string> reports() const {
        std::vector<std::string> out;
        for (auto& line : strings::split(log(), "\n")) {
            auto at = line.find("js_error: ");
            if (at != std::string::npos) out.push_back(line.substr(at + 10));
        }
        return out;
    }
    bool reported(const std::string& prefix) const {
        for (auto& r : reports())
            if (strings::hasPrefix(r, prefix)) return true;
        return false;
    }

private:
    std::filesystem::path log_;
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
};

// The mapped top-level X window of a process (GTK names its pid on it).
inline Window windowOf(Display* d, pid_t pid) {
    Window root = DefaultRootWindow(d), parent = 0, *children = nullptr, found = 0;
    unsigned count = 0;
    if (!XQueryTree(d, root, &root, &parent, &children, &count)) return 0;
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
    if (children) XFree(children);
    return found;
}

// What the X server shows at a point of the window.
inline std::optional<RGB> pixel(Display* d, Window w, CGPoint p) {
    XImage* image = XGetImage(d, w, int(p.x), int(p.y), 1, 1, AllPlanes, ZPixmap);
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


// A key press and release through the X server, with Shift held when `shift`.
inline void xtestKey(Display* d, KeySym sym, bool shift = false) {
    KeyCode shiftCode = XKeysymToKeycode(d, XK_Shift_L);
    if (shift) XTestFakeKeyEvent(d, shiftCode, True, CurrentTime);
    KeyCode code = XKeysymToKeycode(d, sym);
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(d, shiftCode, False, CurrentTime);
    XFlush(d);
}

// Types plain ASCII letters and digits.
inline void xtestType(Display* d, const std::string& text) {
    for (char c : text) {
        bool upper = c >= 'A' && c <= 'Z';
        xtestKey(d, XStringToKeysym(std::string(1, upper ? char(c - 'A' + 'a') : c).c_str()), upper);
    }
}

}  // namespace gametest
