#include <gtest/gtest.h>
#include <arpa/inet.h>

#include <atomic>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/NetworkReachability.h"
#include "support/TestSupport.h"

namespace {

in_addr ip(const char* text) {
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a;
}

TEST(NetworkReachability, CallbackFollowsTheSourceOnItsQueue) {
    ScopedTestReachability net;
    auto target = NetworkReachability::createWithAddress(ip("0.0.0.0"));
    auto queue = DispatchQueue::serial("com.korvel.test.reach");
    std::mutex m;
    std::vector<uint32_t> seen;
    std::atomic<bool> onQueue{true};
    target->setCallback([&](uint32_t flags) {
        if (!queue->isCurrent()) onQueue = false;
        std::lock_guard lock(m);
        seen.push_back(flags);
    });
    EXPECT_EQ(net->subscriberCount(), 0u);  // nothing is watched without a queue
    target->setDispatchQueue(queue);
    EXPECT_EQ(net->subscriberCount(), 1u);

    net->setWiFi();
    net->setWiFi();  // no change, no call
    net->setCellular();
    net->setOffline();
    auto count = [&] {
        std::lock_guard lock(m);
        return seen.size();
    };
    ASSERT_TRUE(testsupport::waitFor([&] { return count() == 3; }));
    EXPECT_TRUE(onQueue);
    std::lock_guard lock(m);
    EXPECT_EQ(seen[0], uint32_t(kReachabilityFlagsReachable));
    EXPECT_EQ(seen[1], uint32_t(kReachabilityFlagsReachable | kReachabilityFlagsIsWWAN));
    EXPECT_EQ(seen[2], 0u);

    target->setDispatchQueue(nullptr);
    EXPECT_EQ(net->subscriberCount(), 0u);
}

TEST(NetworkReachability, SystemSourceKnowsLoopbackAndLocalAddresses) {
    auto loop = NetworkReachability::createWithAddress(ip("127.0.0.1"));
    auto flags = loop->getFlags();
    ASSERT_TRUE(flags);
    EXPECT_TRUE(*flags & kReachabilityFlagsReachable);
    EXPECT_TRUE(*flags & kReachabilityFlagsIsLocalAddress);
    EXPECT_TRUE(NetworkReachability::createWithName("localhost")->getFlags().value_or(0) & kReachabilityFlagsIsDirect);
    EXPECT_FALSE(NetworkReachability::createWithName(""));
}

TEST(NetworkReachability, FlagsDescription) {
    EXPECT_EQ(reachabilityFlagsDescription(kReachabilityFlagsReachable), "-R -------");
    EXPECT_EQ(reachabilityFlagsDescription(kReachabilityFlagsIsWWAN | kReachabilityFlagsReachable |
                                           kReachabilityFlagsConnectionRequired | kReachabilityFlagsIsDirect),
              "WR c-----d");
}

}  // namespace
