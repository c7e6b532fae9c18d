#pragma once
// A failure that repeats (a read-only or full disk, a folder that cannot be
// made) is reported when it starts and then once a minute at most, by the
// replaceable clock, so that it cannot flood standard error and the journal
// with a line for every line it fails to log.

#include <chrono>
#include <mutex>
#include <optional>

#include "platform/dispatch/Clock.h"

class VLReportThrottle {
public:
    explicit VLReportThrottle(Clock::Duration interval = std::chrono::minutes(1)) : interval_(interval) {}

    // True for the first report and then once per interval.
    bool allow() {
        std::lock_guard lock(mutex_);
        auto now = Clock::current().now();
        if (last_ && now - *last_ < interval_) return false;
        last_ = now;
        return true;
    }
    // The failure has ended: a new one is reported at once.
    void reset() {
        std::lock_guard lock(mutex_);
        last_.reset();
    }

private:
    std::mutex mutex_;
    const Clock::Duration interval_;
    std::optional<Clock::Monotonic> last_;  // guarded by mutex_
};
