#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

TEST(AsyncAfter, FollowsTheTestClockNotRealTime) {
    ScopedTestClock clock;
    std::vector<int> fired;
    DispatchQueue::main()->asyncAfter(30s, [&] { fired.push_back(30); });
    DispatchQueue::main()->asyncAfter(10s, [&] { fired.push_back(10); });
    RunLoop::runFor(20ms);
    EXPECT_TRUE(fired.empty());
    clock->advance(9s);
    RunLoop::runFor(10ms);
    EXPECT_TRUE(fired.empty());
    clock->advance(1s);
    ASSERT_TRUE(testsupport::waitFor([&] { return fired.size() == 1; }));
    clock->advance(25s);
    ASSERT_TRUE(testsupport::waitFor([&] { return fired.size() == 2; }));
    EXPECT_EQ(fired, (std::vector<int>{10, 30}));
}

TEST(AsyncAfter, WallClockMovesWithAdvance) {
    ScopedTestClock clock;
    auto before = Clock::current().wallNow();
    clock->advance(3600s);
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(Clock::current().wallNow() - before).count(), 3600);
}

TEST(AsyncAfter, RealClockFiresAfterTheDelay) {
    auto start = std::chrono::steady_clock::now();
    std::atomic<bool> fired{false};
    DispatchQueue::global()->asyncAfter(50ms, [&] { fired = true; });
    ASSERT_TRUE(testsupport::waitFor([&] { return fired.load(); }, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 45ms);
}

TEST(Timer, RepeatsOncePerPeriodCrossed) {
    ScopedTestClock clock;
    auto q = DispatchQueue::serial("test.timer");
    std::atomic<int> ticks{0};
    auto t = DispatchTimer::create(q);
    t->setEventHandler([&] { ++ticks; });
    t->schedule(5s, 5s);
    t->resume();
    clock->advance(4s);
    q->sync([] {});
    EXPECT_EQ(ticks.load(), 0);
    clock->advance(21s);  // deadlines 5, 10, 15, 20, 25
    q->sync([] {});
    EXPECT_EQ(ticks.load(), 5);
    t->cancel();
    clock->advance(60s);
    q->sync([] {});
    EXPECT_EQ(ticks.load(), 5);
}

TEST(Timer, OneShotRescheduleAndCancelHandler) {
    ScopedTestClock clock;
    auto q = DispatchQueue::serial("test.oneshot");
    std::atomic<int> ticks{0};
    std::atomic<bool> cancelled{false};
    auto t = DispatchTimer::create(q);
    t->setEventHandler([&] { ++ticks; });
    t->setCancelHandler([&] { cancelled = true; });
    t->schedule(10s);
    t->resume();
    clock->advance(5s);
    t->schedule(10s);  // pushes the deadline to 15 s
    clock->advance(6s);
    q->sync([] {});
    EXPECT_EQ(ticks.load(), 0);
    clock->advance(4s);
    q->sync([] {});
    EXPECT_EQ(ticks.load(), 1);
    clock->advance(100s);
    q->sync([] {});
    EXPECT_EQ(ticks.load(), 1);
    t->cancel();
    q->sync([] {});
    EXPECT_TRUE(cancelled.load());
}

TEST(Timer, SuspendedTimerFiresOnceOnResume) {
    ScopedTestClock clock;
    auto q = DispatchQueue::serial("test.suspend");
    std::atomic<int> ticks{0};
    auto t = DispatchTimer::create(q);
    t->setEventHandler([&] { ++ticks; });
    t->schedule(1s, 1s);
    t->resume();
    t->suspend();
    clock->advance(10s);
    q->sync([] {});
    EXPECT_EQ(ticks.load(), 0);
    t->resume();
    q->sync([] {});
    EXPECT_TRUE(testsupport::waitFor([&] { return ticks.load() == 1; }, 2s));
    t->cancel();
}

TEST(Timer, DroppedTimerNeverFires) {
    ScopedTestClock clock;
    auto q = DispatchQueue::serial("test.dropped");
    std::atomic<int> ticks{0};
    {
        auto t = DispatchTimer::create(q);
        t->setEventHandler([&] { ++ticks; });
        t->schedule(1s, 1s);
        t->resume();
    }
    clock->advance(5s);
    q->sync([] {});
    EXPECT_EQ(ticks.load(), 0);
}

}  // namespace
