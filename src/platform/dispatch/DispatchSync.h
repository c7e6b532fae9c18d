#pragma once
// Groups, semaphores and timer sources.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"

class DispatchGroup {
public:
    void enter();
    void leave();
    // Waits until the group is empty; false when `timeout` passed first.
    bool wait(std::optional<std::chrono::nanoseconds> timeout = std::nullopt);
    // Runs `block` on `queue` once the group is empty (at once if it is).
    void notify(std::shared_ptr<DispatchQueue> queue, DispatchBlock block);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    long count_ = 0;
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, DispatchBlock>> notify_;
};

class DispatchSemaphore {
public:
    explicit DispatchSemaphore(long value = 0) : value_(value) {}
    void signal();
    // False when `timeout` passed before a signal.
    bool wait(std::optional<std::chrono::nanoseconds> timeout = std::nullopt);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    long value_;
};

// A timer source: fires its handler on its queue after `start`, then every
// `interval` (zero: once). Times follow the installed clock. Created
// suspended: call resume() once. cancel() stops it for good and then runs
// the cancel handler on the queue.
class DispatchTimer : public std::enable_shared_from_this<DispatchTimer> {
public:
    static std::shared_ptr<DispatchTimer> create(std::shared_ptr<DispatchQueue> queue);

    void setEventHandler(DispatchBlock handler);
    void setCancelHandler(DispatchBlock handler);
    void schedule(std::chrono::nanoseconds start, std::chrono::nanoseconds interval = std::chrono::nanoseconds(0));
    void resume();
    void suspend();
    void cancel();
    bool isCancelled() const { return cancelled_.load(); }

    ~DispatchTimer();

private:
    explicit DispatchTimer(std::shared_ptr<DispatchQueue> q) : queue_(std::move(q)) {}
    void arm(std::chrono::steady_clock::time_point deadline);
    void fired(std::chrono::steady_clock::time_point deadline, uint64_t generation);
    void postHandler();

    std::shared_ptr<DispatchQueue> queue_;
    std::mutex mutex_;
    DispatchBlock handler_, cancelHandler_;
    std::chrono::nanoseconds interval_{0};
    std::chrono::steady_clock::time_point next_{};
    bool scheduled_ = false;
    int suspendCount_ = 1;
    bool pendingWhileSuspended_ = false;
    uint64_t timerId_ = 0;
    uint64_t generation_ = 0;
    std::atomic<bool> cancelled_{false};
};
