#pragma once
// The clock behind every timer, delayed dispatch and "now" of the system.
// Tests install a TestClock and advance it by hand, so that a 30-second
// countdown or an hourly log roll runs in microseconds.
//
// Blocking waits (semaphores, groups, synchronous requests) keep to real
// time: they guard against hangs and are not part of any behaviour a test
// needs to fast-forward.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class Clock {
public:
    using Monotonic = std::chrono::steady_clock::time_point;
    using Wall = std::chrono::system_clock::time_point;
    using Duration = std::chrono::nanoseconds;

    virtual ~Clock() = default;
    virtual Monotonic now() const = 0;      // for deadlines and intervals
    virtual Wall wallNow() const = 0;       // the date: log lines, timestamps
    virtual bool isTestClock() const { return false; }

    static Clock& current();
    // Installs a clock for the whole process; nullptr restores the real one.
    static void install(std::shared_ptr<Clock> clock);

    // Convenience: wall time as seconds since 1970.
    static double timeIntervalSince1970();
};

class RealClock : public Clock {
public:
    Monotonic now() const override { return std::chrono::steady_clock::now(); }
    Wall wallNow() const override { return std::chrono::system_clock::now(); }
};

class TestClock : public Clock {
public:
    // Starts at the real wall time unless told otherwise.
    TestClock();
    explicit TestClock(Wall start);

    Monotonic now() const override;
    Wall wallNow() const override;
    bool isTestClock() const override { return true; }

    // Moves time forward by `d`, firing every timer and delayed dispatch
    // that falls due, in deadline order, each at its own deadline (so a
    // repeating timer fires once per period crossed). Fired work is posted
    // to its queue; for the main queue, run the main loop afterwards.
    void advance(Duration d);
    // Moves the wall clock only (a user changing the date); deadlines keep.
    void setWall(Wall w);

    // Installs a new TestClock and returns it.
    static std::shared_ptr<TestClock> install();

private:
    mutable std::mutex mutex_;
    Monotonic mono_;
    Wall wall_;
};

// Removes the installed test clock when a test ends.
struct ScopedTestClock {
    std::shared_ptr<TestClock> clock = TestClock::install();
    ~ScopedTestClock() { Clock::install(nullptr); }
    TestClock* operator->() { return clock.get(); }
};
