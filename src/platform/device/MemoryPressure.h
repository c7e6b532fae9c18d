#pragma once
// The platform's memory warnings: watches the kernel's memory-pressure
// reports and posts UIApplicationDidReceiveMemoryWarningNotification on the
// main queue, at most once per minimum interval.
//
// Sources, the first that works: the process's cgroup v2 "memory.pressure",
// the system-wide "/proc/pressure/memory" (both as pressure-stall triggers:
// 150 ms of stalls within 2 s), or the cgroup v1 "memory.pressure_level"
// event at level "medium".

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

class MemoryPressureMonitor {
public:
    enum class Source { None, CgroupPressure, SystemPressure, CgroupV1Level, FileDescriptor };

    static MemoryPressureMonitor& shared();

    // Starts watching; the source in use (None when nothing works). Does
    // nothing more when already started.
    Source start();
    // Test hook: watches `fd` for `events` (POLLIN or POLLPRI) instead of
    // the kernel; each wake-up drains what is readable and counts as one
    // report. The monitor does not own `fd`.
    Source startWithFileDescriptor(int fd, short events);
    void stop();

    Source source() const;
    // Reports seen and warnings posted since the process started.
    uint64_t reportsSeen() const { return reports_.load(); }
    uint64_t warningsPosted() const { return warnings_.load(); }
    // Default 10 s, measured on the installed clock.
    void setMinimumInterval(std::chrono::nanoseconds interval);

    ~MemoryPressureMonitor();

private:
    MemoryPressureMonitor() = default;
    Source startLocked(int fd, short events, Source source, bool ownsFd);
    void run(int fd, short events, bool drain);
    void report();

    mutable std::mutex mutex_;
    std::thread thread_;
    Source source_ = Source::None;
    int fd_ = -1;
    bool ownsFd_ = false;
    int wakeFd_ = -1;
    int extraFd_ = -1;  // cgroup v1: the pressure_level file kept open
    std::atomic<uint64_t> reports_{0};
    std::atomic<uint64_t> warnings_{0};
    std::atomic<int64_t> minimumIntervalNs_{10'000'000'000};
    std::atomic<int64_t> lastWarningNs_{INT64_MIN};
};
