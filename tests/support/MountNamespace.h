#pragma once
// For the child processes of tests that need file systems of their own (a
// small tmpfs to fill, a read-only home, a journal daemon's /run): enters a
// private mount namespace, as root directly, else as the root of a new user
// namespace. Header-only, so child programs need not link the test runner.

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>

namespace testsupport {

inline bool writeProcFile(const char* path, const std::string& text) {
    int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return ok;
}

// False, with the reason on standard error, when it cannot.
inline bool enterPrivateMountNamespace() {
    if (::unshare(CLONE_NEWNS) != 0) {
        uid_t uid = ::getuid();
        gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            fprintf(stderr, "no private mount namespace: %s\n", strerror(errno));
            return false;
        }
        writeProcFile("/proc/self/setgroups", "deny");
        if (!writeProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !writeProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            fprintf(stderr, "cannot map the user: %s\n", strerror(errno));
            return false;
        }
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        fprintf(stderr, "cannot make mounts private: %s\n", strerror(errno));
        return false;
    }
    return true;
}

}  // namespace testsupport
