// Concurrent readers and writers on the memory and disk caches. They check
// that every value read belongs to its key; run them in a ThreadSanitizer
// build to check for data races as well (see docs/caches.md).

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "imagecache/ZVCache.h"
#include "imagecache/ZVDiskCache.h"
#include "imagecache/ZVMemoryCache.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempDir;

struct Entry {
    int key;
    uint64_t stamp;
};

TEST(Concurrency, MemoryCacheReadersWritersAndTrims) {
    auto cache = ZVMemoryCache::create();
    cache->setCountLimit(200);
    cache->setCostLimit(5000);
    std::atomic<bool> stop{false};
    std::atomic<long> mismatches{0}, hits{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(t);
            for (int i = 0; i < 20000; ++i) {
                int k = int(rng() % 400);
                std::string key = std::to_string(k);
                switch (rng() % 10) {
                case 0: cache->removeObjectForKey(key); break;
                case 1:
                case 2:
                case 3: cache->setObject(CacheObject::make(Entry{k, rng()}), key, rng() % 50); break;
                default:
                    if (CacheObject o = cache->objectForKey(key)) {
                        ++hits;
                        if (!o.get<Entry>() || o.get<Entry>()->key != k) ++mismatches;
                    }
                }
            }
        });
    }
    // Settings and trims from other threads while they run.
    threads.emplace_back([&] {
        std::mt19937 rng(99);
        while (!stop.load()) {
            cache->setReleaseOnMainThread(false);
            cache->setReleaseAsynchronously(rng() % 2);
            cache->trimToCount(100 + rng() % 100);
            cache->trimToAge(1000);
            cache->setAgeLimit(1e6);
            if (rng() % 50 == 0) cache->removeAllObjects();
            if (rng() % 20 == 0) {
                NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidEnterBackgroundNotification);
            }
            (void)cache->totalCost();
            std::this_thread::yield();
        }
    });
    for (int t = 0; t < 6; ++t) threads[t].join();
    stop = true;
    for (size_t t = 6; t < threads.size(); ++t) threads[t].join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_GT(hits.load(), 0);
    EXPECT_LE(cache->totalCount(), 200u);
}

Data valueFor(int key, uint32_t stamp, size_t size) {
    Data d(size, uint8_t(key));
    memcpy(d.data(), &key, sizeof key);
    memcpy(d.data() + sizeof key, &stamp, sizeof stamp);
    return d;
}

bool belongsTo(const Data& d, int key) {
    if (d.size() < 8) return false;
    int k;
    memcpy(&k, d.data(), sizeof k);
    if (k != key) return false;
    for (size_t i = 8; i < d.size(); ++i) {
        if (d[i] != uint8_t(key)) return false;
    }
    return true;
}

TEST(Concurrency, DiskCacheReadersAndWritersSyncAndAsync) {
    TempDir tmp;
    auto cache = ZVDiskCache::initWithPath((tmp / "c").string(), 2048);
    cache->setCustomArchiveBlock([](const CacheObject& o) { return o.as<const Data>(); });
    cache->setCustomUnarchiveBlock([](Data&& d) { return CacheObject::make(std::move(d)); });
    std::atomic<long> mismatches{0}, hits{0};
    std::atomic<int> pending{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(t);
            for (int i = 0; i < 400; ++i) {
                int k = int(rng() % 40);
                std::string key = std::to_string(k);
                switch (rng() % 12) {
                case 0: cache->removeObjectForKey(key); break;
                case 1: cache->trimToCount(30); break;
                case 2:
                    ++pending;
                    cache->objectForKey(key, [&, k](const std::string&, CacheObject o) {
                        if (o && !belongsTo(*o.get<Data>(), k)) ++mismatches;
                        --pending;
                    });
                    break;
                case 3:
                case 4:
                case 5: {
                    size_t size = rng() % 2 ? 100 : 5000;
                    CacheObject value = CacheObject::make(valueFor(k, rng(), size));
                    if (rng() % 2) {
                        cache->setObject(value, key);
                    } else {
                        ++pending;
                        cache->setObject(value, key, [&] { --pending; });
                    }
                    break;
                }
                default:
                    if (CacheObject o = cache->objectForKey(key)) {
                        ++hits;
                        if (!belongsTo(*o.get<Data>(), k)) ++mismatches;
                    }
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    ASSERT_TRUE(testsupport::waitFor([&] { return pending.load() == 0; }));
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_GT(hits.load(), 0);
}

TEST(Concurrency, TwoLevelCacheUnderLoad) {
    TempDir tmp;
    auto cache = ZVCache::initWithPath((tmp / "two").string());
    std::atomic<long> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(t);
            for (int i = 0; i < 300; ++i) {
                int k = int(rng() % 20);
                std::string key = std::to_string(k);
                if (rng() % 3 == 0) {
                    cache->setObject(CacheObject::make(Value(k)), key);
                } else if (rng() % 7 == 0) {
                    cache->memoryCache()->removeAllObjects();
                } else if (CacheObject o = cache->objectForKey(key)) {
                    if (!o.get<Value>() || o.get<Value>()->intValue() != k) ++mismatches;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
