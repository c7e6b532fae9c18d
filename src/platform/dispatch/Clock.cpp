#include "platform/dispatch/Clock.h"

#include <atomic>
#include <vector>

#include "platform/dispatch/Scheduler.h"

namespace {
std::mutex gInstallMutex;
std::atomic<Clock*> gCurrent{nullptr};

Clock& realClock() {
    static RealClock* c = new RealClock();
    return *c;
}

// Clocks stay alive once installed: a thread may still hold a reference.
std::vector<std::shared_ptr<Clock>>& keepAlive() {
    static auto* v = new std::vector<std::shared_ptr<Clock>>();
    return *v;
}
}  // namespace

Clock& Clock::current() {
    Clock* c = gCurrent.load(std::memory_order_acquire);
    return c ? *c : realClock();
}

void Clock::install(std::shared_ptr<Clock> clock) {
    {
        std::lock_guard lock(gInstallMutex);
        if (clock) keepAlive().push_back(clock);
        gCurrent.store(clock.get(), std::memory_order_release);
    }
    dispatch_detail::wake();
}

double Clock::timeIntervalSince1970() {
    auto d = current().wallNow().time_since_epoch();
    return std::chrono::duration<double>(d).count();
}

TestClock::TestClock() : TestClock(std::chrono::system_clock::now()) {}

TestClock::TestClock(Wall start) : mono_(std::chrono::steady_clock::now()), wall_(start) {}

Clock::Monotonic TestClock::now() const {
    std::lock_guard lock(mutex_);
    return mono_;
}

Clock::Wall TestClock::wallNow() const {
    std::lock_guard lock(mutex_);
    return wall_;
}

void TestClock::setWall(Wall w) {
    std::lock_guard lock(mutex_);
    wall_ = w;
}

void TestClock::advance(Duration d) {
    Monotonic target;
    {
        std::lock_guard lock(mutex_);
        target = mono_ + d;
    }
    dispatch_detail::fireDue(target, [this](Monotonic deadline) {
        std::lock_guard lock(mutex_);
        if (deadline > mono_) {
            wall_ += std::chrono::duration_cast<Wall::duration>(deadline - mono_);
            mono_ = deadline;
        }
    });
    std::lock_guard lock(mutex_);
    if (target > mono_) {
        wall_ += std::chrono::duration_cast<Wall::duration>(target - mono_);
        mono_ = target;
    }
}

std::shared_ptr<TestClock> TestClock::install() {
    auto c = std::make_shared<TestClock>();
    Clock::install(c);
    return c;
}
