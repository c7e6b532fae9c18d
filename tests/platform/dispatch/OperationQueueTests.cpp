#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/dispatch/NSOperationQueue.h"
#include "support/TestSupport.h"

namespace {

using Priority = NSOperation::QueuePriority;

// Operations wait at the gate until it opens; it counts who is inside.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    int inside = 0, peak = 0;

    void pass() {
        std::unique_lock lock(m);
        peak = std::max(peak, ++inside);
        cv.notify_all();
        cv.wait(lock, [&] { return open; });
        --inside;
    }
    void waitInside(int n) {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return inside >= n; });
    }
    void release() {
        std::lock_guard lock(m);
        open = true;
        cv.notify_all();
    }
};

// Finishes only when told, from whatever thread tells it.
class ManualOperation : public NSOperation {
public:
    bool isAsynchronous() const override { return true; }
    void start() override {
        if (isCancelled()) return setFinished(true);
        setExecuting(true);
        started = true;
    }
    void finish() { setFinished(true); }
    std::atomic<bool> started{false};
};

TEST(OperationQueue, RunsAtMostTheMaximumAtOnce) {
    auto q = std::make_shared<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(2);
    Gate gate;
    std::atomic<int> ran{0};
    for (int i = 0; i < 6; ++i) q->addOperationWithBlock([&] { gate.pass(); ++ran; });
    gate.waitInside(2);
    EXPECT_EQ(q->operationCount(), 6u);
    gate.release();
    q->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, 6);
    EXPECT_EQ(gate.peak, 2);
    EXPECT_EQ(q->operationCount(), 0u);
}

TEST(OperationQueue, StartsByPriorityThenInTheOrderAdded) {
    auto q = std::make_shared<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(1);
    q->setSuspended(true);
    std::mutex m;
    std::string order;
    for (auto [name, p] : std::vector<std::pair<char, Priority>>{
             {'a', Priority::Normal}, {'b', Priority::High}, {'c', Priority::Low}, {'d', Priority::High}, {'e', Priority::VeryHigh}}) {
        auto op = NSBlockOperation::blockOperationWithBlock([&, name] {
            std::lock_guard lock(m);
            order += name;
        });
        op->setQueuePriority(p);
        q->addOperation(op);
    }
    q->setSuspended(false);
    q->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(order, "ebdac");
}

TEST(OperationQueue, CancelAllRetiresWaitingOperationsAndTellsRunningOnes) {
    auto q = std::make_shared<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(1);
    Gate gate;
    std::atomic<bool> sawCancel{false};
    auto running = NSBlockOperation::blockOperationWithBlock([&] { gate.pass(); });
    NSOperation* self = running.get();
    running->addExecutionBlock([&, self] { sawCancel = NSOperationQueue::currentQueue() == q && self->isCancelled(); });
    q->addOperation(running);
    std::atomic<int> mains{0}, completions{0};
    std::vector<std::shared_ptr<NSOperation>> waiting;
    for (int i = 0; i < 3; ++i) {
        auto op = NSBlockOperation::blockOperationWithBlock([&] { ++mains; });
        op->setCompletionBlock([&] { ++completions; });
        waiting.push_back(op);
    }
    q->addOperations(waiting, false);
    gate.waitInside(1);
    q->cancelAllOperations();
    gate.release();
    q->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(sawCancel);
    EXPECT_EQ(mains, 0);
    EXPECT_EQ(completions, 3);
    for (auto& op : waiting) EXPECT_TRUE(op->isFinished() && op->isCancelled() && !op->isExecuting());
}

TEST(OperationQueue, AsynchronousOperationHoldsItsSlotUntilItFinishes) {
    auto q = std::make_shared<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(1);
    auto slow = std::make_shared<ManualOperation>();
    std::atomic<bool> nextSawSlowFinished{false};
    q->addOperation(slow);
    auto next = q->addOperationWithBlock([&] { nextSawSlowFinished = slow->isFinished(); });
    ASSERT_TRUE(testsupport::waitFor([&] { return slow->started.load(); }));
    EXPECT_TRUE(slow->isExecuting());
    EXPECT_FALSE(next->isExecuting() || next->isFinished());
    EXPECT_EQ(q->operationCount(), 2u);
    std::thread([&] { slow->finish(); }).join();
    next->waitUntilFinished();
    EXPECT_TRUE(nextSawSlowFinished);
    EXPECT_FALSE(slow->isExecuting());
}

TEST(OperationQueue, DependenciesAcrossQueues) {
    auto first = std::make_shared<NSOperationQueue>(), second = std::make_shared<NSOperationQueue>();
    first->setSuspended(true);
    auto a = NSBlockOperation::blockOperationWithBlock([] {});
    std::atomic<bool> bSawA{false};
    auto b = NSBlockOperation::blockOperationWithBlock([&] { bSawA = a->isFinished(); });
    b->addDependency(a);
    second->addOperation(b);
    first->addOperation(a);
    EXPECT_FALSE(b->isReady());
    first->setSuspended(false);
    b->waitUntilFinished();
    EXPECT_TRUE(bSawA);
    // A cancelled operation is retired even though its dependency never runs.
    auto orphan = std::make_shared<NSBlockOperation>();
    auto c = NSBlockOperation::blockOperationWithBlock([] { FAIL() << "a cancelled operation ran"; });
    c->addDependency(orphan);
    second->addOperation(c);
    c->cancel();
    second->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(c->isFinished());
}

TEST(OperationQueue, MainQueueRunsOnTheMainThread) {
    std::atomic<bool> onMain{false};
    auto op = NSOperationQueue::mainQueue()->addOperationWithBlock([&] {
        onMain = isMainThread() && NSOperationQueue::currentQueue() == NSOperationQueue::mainQueue();
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return op->isFinished(); }));
    EXPECT_TRUE(onMain);
    EXPECT_EQ(NSOperationQueue::currentQueue(), nullptr);
}

TEST(OperationQueue, AnOperationRunsOnceAndAlwaysFinishes) {
    auto q = std::make_shared<NSOperationQueue>();
    std::atomic<int> runs{0};
    auto op = NSBlockOperation::blockOperationWithBlock([&] {
        ++runs;
        throw std::runtime_error("a fault in the work");
    });
    q->addOperation(op);
    q->addOperation(op);  // refused: already queued
    op->waitUntilFinished();
    op->start();
    q->addOperation(op);  // refused: finished
    q->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(q->operationCount(), 0u);
}

TEST(OperationQueue, ConcurrentAddsAndCancelsLeaveNothingBehind) {
    auto q = std::make_shared<NSOperationQueue>();
    q->setMaxConcurrentOperationCount(4);
    std::atomic<int> completions{0};
    std::vector<std::thread> adders;
    for (int t = 0; t < 4; ++t)
        adders.emplace_back([&] {
            for (int i = 0; i < 250; ++i) {
                auto op = std::make_shared<ManualOperation>();
                op->setCompletionBlock([&] { ++completions; });
                q->addOperation(op);
                if (i % 50 == 0) q->cancelAllOperations();
                if (i % 3 == 0) op->finish();
            }
        });
    for (auto& a : adders) a.join();
    // Whatever is still running finishes now.
    for (auto& op : q->operations()) std::static_pointer_cast<ManualOperation>(op)->finish();
    q->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(completions, 1000);
}

}  // namespace
