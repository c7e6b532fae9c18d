#include "platform/dispatch/DispatchSync.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Scheduler.h"

void DispatchGroup::enter() {
    std::lock_guard lock(mutex_);
    ++count_;
}

void DispatchGroup::leave() {
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, DispatchBlock>> ready;
    {
        std::lock_guard lock(mutex_);
        if (count_ > 0) --count_;
        if (count_ != 0) return;
        ready.swap(notify_);
        cv_.notify_all();
    }
    for (auto& [q, b] : ready) q->async(std::move(b));
}

bool DispatchGroup::wait(std::optional<std::chrono::nanoseconds> timeout) {
    std::unique_lock lock(mutex_);
    if (!timeout) {
        cv_.wait(lock, [&] { return count_ == 0; });
        return true;
    }
    return cv_.wait_for(lock, *timeout, [&] { return count_ == 0; });
}

void DispatchGroup::notify(std::shared_ptr<DispatchQueue> queue, DispatchBlock block) {
    {
        std::lock_guard lock(mutex_);
        if (count_ != 0) {
            notify_.emplace_back(std::move(queue), std::move(block));
            return;
        }
    }
    queue->async(std::move(block));
}

void DispatchSemaphore::signal() {
    std::lock_guard lock(mutex_);
    ++value_;
    cv_.notify_one();
}

bool DispatchSemaphore::wait(std::optional<std::chrono::nanoseconds> timeout) {
    std::unique_lock lock(mutex_);
    auto ready = [&] { return value_ > 0; };
    if (!timeout) cv_.wait(lock, ready);
    else if (!cv_.wait_for(lock, *timeout, ready)) return false;
    --value_;
    return true;
}

// ---- Timer ----

std::shared_ptr<DispatchTimer> DispatchTimer::create(std::shared_ptr<DispatchQueue> queue) {
    return std::shared_ptr<DispatchTimer>(new DispatchTimer(std::move(queue)));
}

DispatchTimer::~DispatchTimer() {
    if (timerId_) dispatch_detail::cancel(timerId_);
}

void DispatchTimer::setEventHandler(DispatchBlock handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void DispatchTimer::setCancelHandler(DispatchBlock handler) {
    std::lock_guard lock(mutex_);
    cancelHandler_ = std::move(handler);
}

void DispatchTimer::schedule(std::chrono::nanoseconds start, std::chrono::nanoseconds interval) {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    interval_ = interval;
    next_ = Clock::current().now() + start;
    scheduled_ = true;
    pendingWhileSuspended_ = false;
    if (suspendCount_ == 0) arm(next_);
}

// Called with the lock held.
void DispatchTimer::arm(std::chrono::steady_clock::time_point deadline) {
    if (timerId_) dispatch_detail::cancel(timerId_);
    uint64_t gen = ++generation_;
    std::weak_ptr<DispatchTimer> weak = weak_from_this();
    timerId_ = dispatch_detail::schedule(deadline, [weak, deadline, gen] {
        if (auto t = weak.lock()) t->fired(deadline, gen);
    });
}

void DispatchTimer::fired(std::chrono::steady_clock::time_point deadline, uint64_t gen) {
    std::lock_guard lock(mutex_);
    if (gen != generation_ || cancelled_) return;
    timerId_ = 0;
    if (suspendCount_ > 0) {
        pendingWhileSuspended_ = true;
        return;
    }
    if (interval_.count() > 0) {
        next_ = deadline + interval_;
        arm(next_);
    } else {
        scheduled_ = false;
    }
    postHandler();
}

void DispatchTimer::resume() {
    std::lock_guard lock(mutex_);
    if (cancelled_ || suspendCount_ == 0) return;
    if (--suspendCount_ > 0) return;
    if (!scheduled_) return;
    if (!pendingWhileSuspended_) {
        arm(next_);
        return;
    }
    // Firings missed while suspended coalesce into one, delivered now.
    pendingWhileSuspended_ = false;
    if (interval_.count() > 0) {
        next_ = Clock::current().now() + interval_;
        arm(next_);
    } else {
        scheduled_ = false;
    }
    postHandler();
}

void DispatchTimer::postHandler() {
    std::weak_ptr<DispatchTimer> weak = weak_from_this();
    queue_->async([weak] {
        auto t = weak.lock();
        if (!t || t->cancelled_) return;
        DispatchBlock h;
        {
            std::lock_guard lock(t->mutex_);
            h = t->handler_;
        }
        if (h) h();
    });
}

void DispatchTimer::suspend() {
    std::lock_guard lock(mutex_);
    if (!cancelled_) ++suspendCount_;
}

void DispatchTimer::cancel() {
    DispatchBlock onCancel;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_.exchange(true)) return;
        if (timerId_) dispatch_detail::cancel(timerId_);
        timerId_ = 0;
        ++generation_;
        onCancel = std::move(cancelHandler_);
        handler_ = nullptr;
    }
    if (onCancel) queue_->async(std::move(onCancel));
}
