#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "imagecache/ZVMemoryCache.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using testsupport::waitFor;

CacheObject obj(int v) { return CacheObject::make(v); }
int val(const CacheObject& o) { return o.get<int>() ? *o.get<int>() : -1; }

// Records where its values were destroyed.
struct Deaths {
    std::mutex mutex;
    std::vector<std::string> labels;  // queue label, "" off any queue
    std::vector<bool> onMain;
    std::vector<std::thread::id> threads;
    size_t count() {
        std::lock_guard lock(mutex);
        return labels.size();
    }
};

struct Tracked {
    explicit Tracked(std::shared_ptr<Deaths> d) : deaths(std::move(d)) {}
    Tracked(const Tracked&) = delete;
    std::shared_ptr<Deaths> deaths;
    ~Tracked() {
        std::lock_guard lock(deaths->mutex);
        deaths->labels.push_back(DispatchQueue::currentLabel());
        deaths->onMain.push_back(isMainThread());
        deaths->threads.push_back(std::this_thread::get_id());
    }
};

CacheObject tracked(const std::shared_ptr<Deaths>& d) { return CacheObject(std::make_shared<Tracked>(d)); }

TEST(MemoryCacheLRU, CountLimitKeepsTheMostRecentlyUsed) {
    auto cache = ZVMemoryCache::create();
    cache->setCountLimit(1);
    cache->setObject(obj(1), "A");
    cache->setObject(obj(2), "B");
    EXPECT_TRUE(cache->objectForKey("A").isNull());
    EXPECT_EQ(val(cache->objectForKey("B")), 2);

    cache->setCountLimit(2);
    cache->removeAllObjects();
    cache->setObject(obj(1), "A");
    cache->setObject(obj(2), "B");
    EXPECT_EQ(val(cache->objectForKey("A")), 1);  // A becomes the most recent
    cache->setObject(obj(3), "C");
    EXPECT_FALSE(cache->containsObjectForKey("B"));
    EXPECT_TRUE(cache->containsObjectForKey("A"));
    EXPECT_TRUE(cache->containsObjectForKey("C"));

    // A limit of 0 keeps nothing new: the entry goes as it comes.
    cache->removeAllObjects();
    cache->setCountLimit(0);
    cache->setObject(obj(1), "A");
    EXPECT_EQ(cache->totalCount(), 0u);
    EXPECT_EQ(cache->totalCost(), 0u);
}

TEST(MemoryCacheLRU, ContainsDoesNotChangeRecencyButReplacingDoes) {
    auto cache = ZVMemoryCache::create();
    cache->setCountLimit(2);
    cache->setObject(obj(1), "A");
    cache->setObject(obj(2), "B");
    EXPECT_TRUE(cache->containsObjectForKey("A"));
    cache->setObject(obj(3), "C");  // A is still the least recent
    EXPECT_FALSE(cache->containsObjectForKey("A"));

    cache->setObject(obj(4), "B");  // replacing makes B the most recent
    cache->setObject(obj(5), "D");
    EXPECT_FALSE(cache->containsObjectForKey("C"));
    EXPECT_EQ(val(cache->objectForKey("B")), 4);
}

TEST(MemoryCacheLRU, ExactlyOneEvictionPerSetOverTheCountLimit) {
    auto cache = ZVMemoryCache::create();
    for (int i = 0; i < 10; ++i) cache->setObject(obj(i), "k" + std::to_string(i));
    cache->setCountLimit(3);
    cache->setObject(obj(10), "k10");
    EXPECT_EQ(cache->totalCount(), 10u);
    EXPECT_FALSE(cache->containsObjectForKey("k0"));
    EXPECT_TRUE(cache->containsObjectForKey("k1"));
    cache->setObject(obj(11), "k11");
    EXPECT_EQ(cache->totalCount(), 10u);
    EXPECT_FALSE(cache->containsObjectForKey("k1"));
    // Replacing an existing key adds nothing, so it evicts nothing either...
    cache->setObject(obj(12), "k5");
    // ...except that the count is still over the limit: one goes.
    EXPECT_EQ(cache->totalCount(), 9u);
    EXPECT_FALSE(cache->containsObjectForKey("k2"));
}

TEST(MemoryCacheCost, ReplacingAdjustsTheTotalByTheDifference) {
    auto cache = ZVMemoryCache::create();
    cache->setObject(obj(1), "A", 10);
    cache->setObject(obj(2), "B", 5);
    EXPECT_EQ(cache->totalCost(), 15u);
    cache->setObject(obj(3), "A", 3);
    EXPECT_EQ(cache->totalCost(), 8u);
    EXPECT_EQ(cache->totalCount(), 2u);
    cache->setObject(nullptr, "A");  // a null object removes the key
    EXPECT_EQ(cache->totalCost(), 5u);
    EXPECT_EQ(cache->totalCount(), 1u);
    EXPECT_FALSE(cache->containsObjectForKey("A"));
    cache->removeObjectForKey("B");
    EXPECT_EQ(cache->totalCost(), 0u);
    cache->removeObjectForKey("missing");
    EXPECT_EQ(cache->totalCount(), 0u);
}

TEST(MemoryCacheCost, OverTheCostLimitTheEntryStaysUntilTheBackgroundTrim) {
    auto cache = ZVMemoryCache::create();
    cache->setCostLimit(100);
    cache->setObject(obj(1), "A", 60);
    cache->setObject(obj(2), "B", 30);
    cache->setObject(obj(3), "C", 60);
    EXPECT_EQ(val(cache->objectForKey("C")), 3);  // stored and returned at once
    ASSERT_TRUE(waitFor([&] { return cache->totalCost() <= 100; }));
    EXPECT_FALSE(cache->containsObjectForKey("A"));  // least recently used first
    EXPECT_TRUE(cache->containsObjectForKey("C"));
    EXPECT_EQ(cache->totalCost(), 90u);
}

TEST(MemoryCacheTrim, ZeroLimitsEmptyTheCache) {
    auto cache = ZVMemoryCache::create();
    auto fill = [&] {
        for (int i = 0; i < 5; ++i) cache->setObject(obj(i), std::to_string(i), 1);
    };
    fill();
    cache->trimToCount(0);
    EXPECT_EQ(cache->totalCount(), 0u);
    fill();
    cache->trimToCost(0);
    EXPECT_EQ(cache->totalCount(), 0u);
    EXPECT_EQ(cache->totalCost(), 0u);
    fill();
    cache->trimToAge(0);
    EXPECT_EQ(cache->totalCount(), 0u);
    fill();
    cache->trimToAge(-1);
    EXPECT_EQ(cache->totalCount(), 0u);
    fill();
    cache->trimToCount(2);
    EXPECT_EQ(cache->totalCount(), 2u);
    EXPECT_TRUE(cache->containsObjectForKey("4"));
    EXPECT_TRUE(cache->containsObjectForKey("3"));
    cache->trimToCost(1);
    EXPECT_EQ(cache->totalCount(), 1u);
    EXPECT_TRUE(cache->containsObjectForKey("4"));
}

TEST(MemoryCacheTrim, AgeBoundaryFollowsTheLastUse) {
    ScopedTestClock clock;
    auto cache = ZVMemoryCache::create();
    cache->setObject(obj(1), "old");
    clock->advance(4s);
    cache->setObject(obj(2), "young");
    clock->advance(6s);
    cache->trimToAge(10);  // "old" is exactly 10 s old: stays
    EXPECT_TRUE(cache->containsObjectForKey("old"));
    clock->advance(1ms);
    cache->trimToAge(10);
    EXPECT_FALSE(cache->containsObjectForKey("old"));
    EXPECT_TRUE(cache->containsObjectForKey("young"));

    // A get refreshes the age.
    clock->advance(5s);
    cache->objectForKey("young");
    clock->advance(9s);
    cache->trimToAge(10);
    EXPECT_TRUE(cache->containsObjectForKey("young"));
}

TEST(MemoryCacheTrim, AutomaticTrimRunsEveryIntervalOnTheTestClock) {
    ScopedTestClock clock;
    auto cache = ZVMemoryCache::create();
    for (int i = 0; i < 5; ++i) cache->setObject(obj(i), std::to_string(i));
    cache->setCountLimit(2);
    cache->setAgeLimit(30);
    clock->advance(4900ms);
    EXPECT_EQ(cache->totalCount(), 5u);  // nothing was due
    clock->advance(100ms);
    ASSERT_TRUE(waitFor([&] { return cache->totalCount() == 2; }));
    EXPECT_TRUE(cache->containsObjectForKey("4"));

    // The chain goes on: the age limit applies at a later round.
    ASSERT_TRUE(waitFor([&] {
        clock->advance(5s);
        return cache->totalCount() == 0;
    }));
}

TEST(MemoryCacheTrim, ADestroyedCacheEndsItsTrimChain) {
    ScopedTestClock clock;
    std::weak_ptr<ZVMemoryCache> weak;
    {
        auto cache = ZVMemoryCache::create();
        weak = cache;
        cache->setObject(obj(1), "A");
    }
    EXPECT_TRUE(weak.expired());
    clock->advance(60s);  // fires the pending trim of the dead cache
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidReceiveMemoryWarningNotification);
    RunLoop::drain();
}

TEST(MemoryCacheRelease, RemoveAllReleasesOnTheLowPriorityQueueByDefault) {
    auto deaths = std::make_shared<Deaths>();
    auto cache = ZVMemoryCache::create();
    const int n = 20000;
    for (int i = 0; i < n; ++i) cache->setObject(tracked(deaths), std::to_string(i));
    cache->removeAllObjects();
    EXPECT_EQ(cache->totalCount(), 0u);
    ASSERT_TRUE(waitFor([&] { return deaths->count() == size_t(n); }));
    std::lock_guard lock(deaths->mutex);
    for (size_t i = 0; i < deaths->labels.size(); ++i) {
        ASSERT_EQ(deaths->labels[i], "global.utility");
        ASSERT_NE(deaths->threads[i], std::this_thread::get_id());
    }
}

TEST(MemoryCacheRelease, ReleaseOnMainThreadWaitsForTheMainLoop) {
    auto deaths = std::make_shared<Deaths>();
    auto cache = ZVMemoryCache::create();
    cache->setReleaseOnMainThread(true);
    cache->setCountLimit(1);
    cache->setObject(tracked(deaths), "A");
    cache->setObject(tracked(deaths), "B");  // evicts A
    cache->removeObjectForKey("B");
    EXPECT_EQ(deaths->count(), 0u);  // posted to the main queue, not yet run
    ASSERT_TRUE(waitFor([&] { return deaths->count() == 2; }));
    std::lock_guard lock(deaths->mutex);
    EXPECT_TRUE(deaths->onMain[0]);
    EXPECT_TRUE(deaths->onMain[1]);
}

TEST(MemoryCacheRelease, SynchronousReleaseRunsOnTheCallerUnlessItMustBeMain) {
    auto deaths = std::make_shared<Deaths>();
    auto cache = ZVMemoryCache::create();
    cache->setReleaseAsynchronously(false);

    cache->setObject(tracked(deaths), "A");
    std::thread([&] { cache->removeObjectForKey("A"); }).join();
    ASSERT_EQ(deaths->count(), 1u);  // at once, on that thread
    EXPECT_FALSE(deaths->onMain[0]);

    cache->setReleaseOnMainThread(true);
    cache->setObject(tracked(deaths), "B");
    std::thread([&] { cache->removeAllObjects(); }).join();
    EXPECT_EQ(deaths->count(), 1u);  // handed to the main queue
    ASSERT_TRUE(waitFor([&] { return deaths->count() == 2; }));
    EXPECT_TRUE(deaths->onMain[1]);

    cache->setObject(tracked(deaths), "C");
    cache->removeObjectForKey("C");  // already on the main thread: at once
    ASSERT_EQ(deaths->count(), 3u);
    EXPECT_TRUE(deaths->onMain[2]);
}

TEST(MemoryCacheRelease, AReplacedValueIsNotDestroyedUnderTheLock) {
    // A value whose destructor uses the cache would deadlock if it died
    // with the lock held.
    auto cache = ZVMemoryCache::create();
    cache->setReleaseAsynchronously(false);
    struct Reentrant {
        ZVMemoryCache* cache;
        ~Reentrant() { cache->containsObjectForKey("x"); }
    };
    auto reentrant = [&] { return CacheObject(std::make_shared<Reentrant>(Reentrant{cache.get()})); };
    cache->setObject(reentrant(), "B");
    cache->setObject(reentrant(), "A");
    cache->setObject(obj(1), "A");  // the replaced value dies
    cache->setCountLimit(1);
    cache->setObject(obj(2), "C");  // B is evicted and dies
    EXPECT_FALSE(cache->containsObjectForKey("B"));
    EXPECT_EQ(cache->totalCount(), 2u);
}

TEST(MemoryCacheNotifications, MemoryWarningCallsTheBlockAndEmptiesTheCache) {
    auto cache = ZVMemoryCache::create();
    int calls = 0;
    size_t countSeen = 0;
    cache->setDidReceiveMemoryWarningBlock([&](ZVMemoryCache& c) {
        ++calls;
        countSeen = c.totalCount();
    });
    cache->setObject(obj(1), "A");
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidReceiveMemoryWarningNotification);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(countSeen, 1u);  // the block runs before the removal
    EXPECT_EQ(cache->totalCount(), 0u);

    cache->setShouldRemoveAllObjectsOnMemoryWarning(false);
    cache->setObject(obj(1), "A");
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidReceiveMemoryWarningNotification);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(cache->totalCount(), 1u);
}

TEST(MemoryCacheNotifications, EnteringTheBackgroundEmptiesTheCacheUnlessTurnedOff) {
    auto cache = ZVMemoryCache::create();
    int calls = 0;
    cache->setDidEnterBackgroundBlock([&](ZVMemoryCache&) { ++calls; });
    cache->setObject(obj(1), "A");
    std::thread([] {
        NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidEnterBackgroundNotification);
    }).join();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(cache->totalCount(), 0u);
    cache->setShouldRemoveAllObjectsWhenEnteringBackground(false);
    cache->setObject(obj(1), "A");
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidEnterBackgroundNotification);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(cache->totalCount(), 1u);
}

TEST(MemoryCacheMisc, DescriptionDefaultsAndTypedObjects) {
    auto cache = ZVMemoryCache::create();
    EXPECT_EQ(cache->description().find('('), std::string::npos);
    cache->setName("icons");
    EXPECT_NE(cache->description().find("> (icons)"), std::string::npos);
    EXPECT_EQ(cache->description().rfind("<ZVMemoryCache: 0x", 0), 0u);

    EXPECT_EQ(cache->countLimit(), UINT64_MAX);
    EXPECT_EQ(cache->costLimit(), UINT64_MAX);
    EXPECT_EQ(cache->autoTrimInterval(), 5.0);
    EXPECT_TRUE(cache->releaseAsynchronously());
    EXPECT_FALSE(cache->releaseOnMainThread());

    cache->setObject(CacheObject::make(std::string("text")), "s");
    CacheObject o = cache->objectForKey("s");
    EXPECT_EQ(o.get<int>(), nullptr);  // wrong type: null, not a crash
    ASSERT_NE(o.get<std::string>(), nullptr);
    EXPECT_EQ(*o.as<std::string>(), "text");
    EXPECT_TRUE(cache->objectForKey("") .isNull());
}

}  // namespace
