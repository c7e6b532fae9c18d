#include "support/PrivateDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace testsupport {

namespace {

// Runs `argv` with DISPLAY set (when given), its output dropped; it gets
// SIGTERM should the test process die. `keepFd` stays open in the child.
pid_t spawn(const std::vector<std::string>& argv, const std::string& display, int keepFd = -1) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

void end(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

// The display number Xvfb writes once it accepts connections, "" after 10 s.
std::string readDisplayNumber(int fd) {
    std::string number;
    char c = 0;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 10000) == 1 && read(fd, &c, 1) == 1 && c != '\n') number += c;
    return c == '\n' ? number : "";
}

bool windowManagerAnnounced(Display* d) {
    Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False), type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format, &items,
                                    &after, &data) == Success &&
                 items == 1;
    if (data) XFree(data);
    return found;
}

}  // namespace

PrivateDisplay::PrivateDisplay(int width, int height) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    server_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp"}, "",
                    fds[1]);
    close(fds[1]);
    std::string number = readDisplayNumber(fds[0]);
    close(fds[0]);
    if (number.empty()) end(server_);
    else name_ = ":" + number;
}

PrivateDisplay::~PrivateDisplay() {
    end(manager_);
    end(server_);
}

bool PrivateDisplay::startWindowManager(const std::vector<std::string>& argv) {
    if (name_.empty()) return false;
    manager_ = spawn(argv, name_);
    Display* d = XOpenDisplay(name_.c_str());
    if (!d) return false;
    bool up = waitFor([&] { return windowManagerAnnounced(d); });
    XCloseDisplay(d);
    return up;
}

}  // namespace testsupport
