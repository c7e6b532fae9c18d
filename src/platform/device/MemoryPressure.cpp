#include "platform/device/MemoryPressure.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PlatformLog.h"

namespace {

constexpr const char* kTrigger = "some 150000 2000000";

// The process's cgroup path for a controller ("" for the v2 unified line).
std::string cgroupPath(const std::string& controller) {
    std::istringstream in(files::readText("/proc/self/cgroup").value_or(""));
    std::string line;
    while (std::getline(in, line)) {
        size_t a = line.find(':');
        size_t b = line.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        std::string controllers = line.substr(a + 1, b - a - 1);
        bool match = controller.empty() ? controllers.empty() : ("," + controllers + ",").find("," + controller + ",") != std::string::npos;
        if (match) return line.substr(b + 1);
    }
    return {};
}

int openTrigger(const std::string& file) {
    int fd = ::open(file.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::write(fd, kTrigger, strlen(kTrigger) + 1) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

MemoryPressureMonitor& MemoryPressureMonitor::shared() {
    static auto* m = new MemoryPressureMonitor();
    return *m;
}

MemoryPressureMonitor::~MemoryPressureMonitor() { stop(); }

MemoryPressureMonitor::Source MemoryPressureMonitor::source() const {
    std::lock_guard lock(mutex_);
    return source_;
}

void MemoryPressureMonitor::setMinimumInterval(std::chrono::nanoseconds interval) {
    minimumIntervalNs_.store(interval.count());
}

MemoryPressureMonitor::Source MemoryPressureMonitor::start() {
    std::lock_guard lock(mutex_);
    if (source_ != Source::None) return source_;

    std::string v2 = cgroupPath("");
    if (!v2.empty()) {
        int fd = openTrigger("/sys/fs/cgroup" + v2 + (v2.back() == '/' ? "" : "/") + "memory.pressure");
        if (fd >= 0) return startLocked(fd, POLLPRI, Source::CgroupPressure, true);
    }
    int fd = openTrigger("/proc/pressure/memory");
    if (fd >= 0) return startLocked(fd, POLLPRI, Source::SystemPressure, true);

    std::string v1 = cgroupPath("memory");
    if (!v1.empty()) {
        std::string dir = "/sys/fs/cgroup/memory" + v1;
        int level = ::open((dir + "/memory.pressure_level").c_str(), O_RDONLY | O_CLOEXEC);
        int efd = level >= 0 ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
        if (efd >= 0) {
            std::string request = std::to_string(efd) + ' ' + std::to_string(level) + " medium";
            int control = ::open((dir + "/cgroup.event_control").c_str(), O_WRONLY | O_CLOEXEC);
            bool registered = control >= 0 && ::write(control, request.data(), request.size()) == ssize_t(request.size());
            if (control >= 0) ::close(control);
            if (registered) {
                extraFd_ = level;
                return startLocked(efd, POLLIN, Source::CgroupV1Level, true);
            }
        }
        if (efd >= 0) ::close(efd);
        if (level >= 0) ::close(level);
    }
    NSLog("MemoryPressureMonitor: no memory-pressure source; memory warnings are off.");
    return Source::None;
}

MemoryPressureMonitor::Source MemoryPressureMonitor::startWithFileDescriptor(int fd, short events) {
    std::lock_guard lock(mutex_);
    if (source_ != Source::None) return source_;
    return startLocked(fd, events, Source::FileDescriptor, false);
}

MemoryPressureMonitor::Source MemoryPressureMonitor::startLocked(int fd, short events, Source source, bool ownsFd) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        if (ownsFd) ::close(fd);
        return Source::None;
    }
    fd_ = fd;
    ownsFd_ = ownsFd;
    source_ = source;
    bool drain = source != Source::CgroupPressure && source != Source::SystemPressure;
    thread_ = std::thread([this, fd, events, drain] { run(fd, events, drain); });
    return source;
}

void MemoryPressureMonitor::stop() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        if (source_ == Source::None) return;
        uint64_t one = 1;
        (void)::write(wakeFd_, &one, sizeof one);
        thread = std::move(thread_);
    }
    if (thread.joinable()) thread.join();
    std::lock_guard lock(mutex_);
    ::close(wakeFd_);
    if (ownsFd_) ::close(fd_);
    if (extraFd_ >= 0) ::close(extraFd_);
    wakeFd_ = fd_ = extraFd_ = -1;
    source_ = Source::None;
}

void MemoryPressureMonitor::run(int fd, short events, bool drain) {
    int wake;
    {
        std::lock_guard lock(mutex_);
        wake = wakeFd_;
    }
    while (true) {
        pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
        int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // The trigger's cgroup went away, or the test closed its end.
            if (!(fds[0].revents & events)) return;
        }
        if (!(fds[0].revents & events)) continue;
        if (drain) {
            // One read: the descriptor may block, and what is left wakes
            // the poll again (the interval folds such reports together).
            char buf[256];
            (void)::read(fd, buf, sizeof buf);
        }
        report();
    }
}

void MemoryPressureMonitor::report() {
    ++reports_;
    int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::current().now().time_since_epoch()).count();
    int64_t last = lastWarningNs_.load();
    if (last != INT64_MIN && now - last < minimumIntervalNs_.load()) return;
    if (!lastWarningNs_.compare_exchange_strong(last, now)) return;
    ++warnings_;
    DispatchQueue::main()->async([] {
        NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidReceiveMemoryWarningNotification);
    });
}
