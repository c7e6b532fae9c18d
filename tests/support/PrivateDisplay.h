#pragma once
// A virtual X server of a test's own (Xvfb on a free display number),
// optionally with a window manager on it, so that a test can change the
// desktop (run a window manager) without touching the display the other
// tests share. Both processes end with the object, and with the test
// process should it die first.

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

class PrivateDisplay {
public:
    // Starts Xvfb with a screen of width × height; name() is empty when it
    // did not start.
    PrivateDisplay(int width, int height);
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // ":N", for DISPLAY.
    const std::string& name() const { return name_; }
    // Starts `argv` (a window manager) on the display; true once a window
    // manager has announced itself on the root window (EWMH), within 10 s.
    bool startWindowManager(const std::vector<std::string>& argv);

private:
    std::string name_;
    pid_t server_ = -1, manager_ = -1;
};

}  // namespace testsupport
