#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

TEST(SerialQueue, RunsBlocksOneAtATimeInOrder) {
    auto q = DispatchQueue::serial("test.serial");
    std::vector<int> seen;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    DispatchGroup g;
    // Blocks posted from several threads keep each poster's order.
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                q->async(g, [&, t, i] {
                    if (inside.fetch_add(1) != 0) overlapped = true;
                    seen.push_back(t * 1000 + i);
                    inside.fetch_sub(1);
                });
            }
        });
    }
    for (auto& p : posters) p.join();
    ASSERT_TRUE(g.wait(10s));
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(seen.size(), 2000u);
    int last[4] = {-1, -1, -1, -1};
    for (int v : seen) {
        int t = v / 1000, i = v % 1000;
        EXPECT_GT(i, last[t]);
        last[t] = i;
    }
}

TEST(SerialQueue, SyncWaitsAndSeesEarlierWork) {
    auto q = DispatchQueue::serial("test.sync");
    int value = 0;
    q->async([&] {
        std::this_thread::sleep_for(20ms);
        value = 1;
    });
    int seen = -1;
    q->sync([&] { seen = value; });
    EXPECT_EQ(seen, 1);
}

TEST(SerialQueue, SyncOntoItselfRunsInlineInsteadOfDeadlocking) {
    auto q = DispatchQueue::serial("test.reentrant");
    std::atomic<bool> ran{false};
    q->sync([&] { q->sync([&] { ran = true; }); });
    EXPECT_TRUE(ran);
}

TEST(Queues, SyncHandsTheBlocksExceptionToTheCaller) {
    // The caller once waited for good when the block threw.
    auto serial = DispatchQueue::serial("test.sync-throws");
    EXPECT_THROW(serial->sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    int after = 0;
    serial->sync([&] { after = 1; });
    EXPECT_EQ(after, 1);

    auto concurrent = DispatchQueue::concurrent("test.barrier-throws");
    EXPECT_THROW(concurrent->barrierSync([] { throw std::logic_error("boom"); }), std::logic_error);
    EXPECT_THROW(concurrent->sync([] { throw std::logic_error("boom"); }), std::logic_error);
    concurrent->barrierSync([&] { after = 2; });  // the barrier was released
    EXPECT_EQ(after, 2);
}

TEST(Queues, LabelsSpecificsAndCurrent) {
    auto q = DispatchQueue::serial("varmelund.logging");
    static int key;
    static int marker;
    q->setSpecific(&key, &marker);
    void* inside = nullptr;
    std::string label;
    bool current = false;
    q->sync([&] {
        inside = DispatchQueue::currentSpecific(&key);
        label = DispatchQueue::currentLabel();
        current = q->isCurrent();
    });
    EXPECT_EQ(inside, &marker);
    EXPECT_EQ(label, "varmelund.logging");
    EXPECT_TRUE(current);
    EXPECT_FALSE(q->isCurrent());
    EXPECT_EQ(DispatchQueue::currentSpecific(&key), nullptr);
    EXPECT_TRUE(DispatchQueue::main()->isCurrent());  // tests run on the main thread
}

TEST(ConcurrentQueue, RunsInParallelAndBarriersRunAlone) {
    auto q = DispatchQueue::concurrent("test.concurrent");
    std::atomic<int> running{0}, maxRunning{0};
    std::atomic<bool> barrierAlone{true};
    DispatchGroup g;
    auto work = [&] {
        int now = ++running;
        int m = maxRunning.load();
        while (now > m && !maxRunning.compare_exchange_weak(m, now)) {
        }
        // Hold the slot until a second block runs beside this one, however
        // slowly a loaded machine starts it (a serial queue fails by time-out).
        auto giveUp = std::chrono::steady_clock::now() + 10s;
        while (maxRunning.load() < 2 && std::chrono::steady_clock::now() < giveUp) std::this_thread::sleep_for(1ms);
        --running;
    };
    for (int i = 0; i < 4; ++i) q->async(g, work);
    std::atomic<int> afterBarrierStarted{0};
    g.enter();
    q->barrierAsync([&] {
        if (running.load() != 0) barrierAlone = false;
        std::this_thread::sleep_for(20ms);
        if (afterBarrierStarted.load() != 0) barrierAlone = false;
        g.leave();
    });
    for (int i = 0; i < 2; ++i) q->async(g, [&] { ++afterBarrierStarted; });
    ASSERT_TRUE(g.wait(10s));
    EXPECT_GE(maxRunning.load(), 2);
    EXPECT_TRUE(barrierAlone);
    EXPECT_EQ(afterBarrierStarted.load(), 2);
}

TEST(Pool, BlockingBlocksDoNotStarveOthers) {
    // Many blocks that wait on a later block: the pool must grow to run it.
    auto q = DispatchQueue::global();
    DispatchSemaphore release(0);
    DispatchGroup g;
    for (int i = 0; i < 40; ++i) q->async(g, [&] { release.wait(10s); release.signal(); });
    q->async([&] { release.signal(); });
    EXPECT_TRUE(g.wait(20s));
}

TEST(MainQueue, RunsOnTheMainThreadInOrderWhenTheLoopRuns) {
    std::vector<int> order;
    std::atomic<bool> allOnMain{true};
    std::thread([&] {
        for (int i = 0; i < 100; ++i)
            DispatchQueue::main()->async([&, i] {
                if (!isMainThread()) allOnMain = false;
                order.push_back(i);
            });
    }).join();
    EXPECT_TRUE(order.empty());
    ASSERT_TRUE(testsupport::waitFor([&] { return order.size() == 100; }));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
    EXPECT_TRUE(allOnMain);
}

TEST(MainQueue, NestedLoopInsideABlockStillRunsLaterBlocks) {
    bool innerRan = false, outerDone = false;
    DispatchQueue::main()->async([&] {
        DispatchQueue::main()->async([&] { innerRan = true; });
        testsupport::waitFor([&] { return innerRan; }, 2s);
        outerDone = true;
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return outerDone; }));
    EXPECT_TRUE(innerRan);
}

TEST(MainQueue, SyncFromAnotherThreadWaitsForTheMainLoop) {
    std::atomic<bool> done{false};
    bool ranOnMain = false;
    std::thread t([&] {
        DispatchQueue::main()->sync([&] { ranOnMain = isMainThread(); });
        done = true;
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return done.load(); }));
    t.join();
    EXPECT_TRUE(ranOnMain);
}

TEST(MainQueue, ExceptionsInBlocksDoNotEscape) {
    bool after = false;
    DispatchQueue::main()->async([] { throw std::runtime_error("boom"); });
    DispatchQueue::main()->async([&] { after = true; });
    EXPECT_TRUE(testsupport::waitFor([&] { return after; }));
}

TEST(Semaphore, TimesOutAndCounts) {
    DispatchSemaphore s(1);
    EXPECT_TRUE(s.wait(0ms));
    EXPECT_FALSE(s.wait(10ms));
    s.signal();
    EXPECT_TRUE(s.wait(10ms));
}

TEST(Group, ABlockThatThrowsStillLeavesTheGroup) {
    DispatchGroup g;
    std::atomic<bool> notified{false};
    DispatchQueue::global()->async(g, [] { throw std::runtime_error("boom"); });
    g.notify(DispatchQueue::main(), [&] { notified = true; });
    EXPECT_TRUE(g.wait(10s));
    EXPECT_TRUE(testsupport::waitFor([&] { return notified.load(); }));
}

TEST(Group, NotifyRunsOnceEmpty) {
    DispatchGroup g;
    std::atomic<bool> notified{false};
    g.enter();
    g.notify(DispatchQueue::global(), [&] { notified = true; });
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(notified);
    g.leave();
    EXPECT_TRUE(testsupport::waitFor([&] { return notified.load(); }));
}

}  // namespace
