#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "support/TestSupport.h"

namespace {

TEST(Notifications, MatchByNameAndSenderInOrder) {
    NSNotificationCenter c;
    int a = 0, b = 0;
    std::vector<std::string> order;
    int sender = 0;
    c.addObserver(nullptr, "n", nullptr, [&](const NSNotification& n) { ++a; order.push_back("any"); });
    c.addObserver(nullptr, "n", &sender, [&](const NSNotification& n) { ++b; order.push_back("sender"); });
    c.postNotificationName("n");
    c.postNotificationName("n", &sender, Value::dict({{"error", 0}}));
    c.postNotificationName("other");
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(order, (std::vector<std::string>{"any", "any", "sender"}));
}

TEST(Notifications, ReentrantPostsAndRemovalsDuringAPost) {
    NSNotificationCenter c;
    int inner = 0, later = 0;
    NSNotificationCenter::Token second = 0;
    c.addObserver(nullptr, "outer", nullptr, [&](const NSNotification&) {
        c.postNotificationName("inner");  // re-entrant
        c.removeObserver(second);         // removed before its turn: not called
    });
    second = c.addObserver(nullptr, "outer", nullptr, [&](const NSNotification&) { ++later; });
    c.addObserver(nullptr, "inner", nullptr, [&](const NSNotification&) { ++inner; });
    c.postNotificationName("outer");
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(later, 0);
}

TEST(Notifications, OwnerRemovalRemovesAllItsObservations) {
    NSNotificationCenter c;
    int owner = 0, calls = 0;
    c.addObserver(&owner, "a", nullptr, [&](const NSNotification&) { ++calls; });
    c.addObserver(&owner, "b", nullptr, [&](const NSNotification&) { ++calls; });
    c.removeObserver(&owner, "a");
    c.postNotificationName("a");
    c.postNotificationName("b");
    EXPECT_EQ(calls, 1);
    c.removeObserver(&owner);
    EXPECT_EQ(c.observerCount(), 0u);
}

TEST(Notifications, QueueObserversRunOnTheirQueue) {
    NSNotificationCenter c;
    std::atomic<bool> onMain{false};
    std::atomic<int> calls{0};
    c.addObserver(nullptr, "n", nullptr, [&](const NSNotification& n) {
        onMain = isMainThread();
        EXPECT_EQ(n.userInfo.integer("k"), 5);
        ++calls;
    }, DispatchQueue::main());
    std::thread([&] { c.postNotificationName("n", nullptr, Value::dict({{"k", 5}})); }).join();
    EXPECT_EQ(calls.load(), 0);  // not yet: it waits for the main loop
    ASSERT_TRUE(testsupport::waitFor([&] { return calls == 1; }));
    EXPECT_TRUE(onMain);
}

}  // namespace
