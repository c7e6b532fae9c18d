#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "imagecache/ZVCache.h"
#include "imagecache/ZVDiskCache.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/security/Digest.h"
#include "support/SQLiteFiles.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::TempDir;
using testsupport::waitFor;

Data filled(size_t n, uint8_t seed = 1) {
    Data d(n);
    for (size_t i = 0; i < n; ++i) d[i] = uint8_t(seed + i * 13);
    return d;
}

// A disk cache that stores byte buffers as they are, as the image cache does.
std::shared_ptr<ZVDiskCache> bytesCache(const fs::path& p, uint64_t threshold = ZVDiskCache::kDefaultInlineThreshold) {
    auto cache = ZVDiskCache::initWithPath(p.string(), threshold);
    if (!cache) return nullptr;
    cache->setCustomArchiveBlock([](const CacheObject& o) { return o.as<const Data>(); });
    cache->setCustomUnarchiveBlock([](Data&& d) { return CacheObject::make(std::move(d)); });
    return cache;
}

Data dataOf(const CacheObject& o) { return o.get<Data>() ? *o.get<Data>() : Data(); }

size_t filesIn(const fs::path& dir) {
    size_t n = 0;
    for (auto& e : fs::directory_iterator(dir)) (void)e, ++n;
    return n;
}

TEST(DiskCacheInstances, OnePerFolderFromEightThreads) {
    TempDir tmp;
    std::vector<std::shared_ptr<ZVDiskCache>> got(8);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready.load() < 8) std::this_thread::yield();
            // Spellings of one folder.
            std::string path = (tmp / "shared").string() + (i % 2 ? "/" : "");
            got[i] = ZVDiskCache::initWithPath(path, 100 + i);
        });
    }
    for (auto& t : threads) t.join();
    for (auto& c : got) {
        ASSERT_TRUE(c);
        EXPECT_EQ(c, got[0]);
    }
    // The threshold of a later call is ignored.
    EXPECT_GE(got[0]->inlineThreshold(), 100u);
    EXPECT_LE(got[0]->inlineThreshold(), 107u);
}

TEST(DiskCacheInstances, TheTableDoesNotKeepACacheAlive) {
    TempDir tmp;
    std::weak_ptr<ZVDiskCache> weak;
    {
        auto c = ZVDiskCache::initWithPath((tmp / "c").string(), 10);
        weak = c;
        EXPECT_EQ(ZVDiskCache::initWithPath((tmp / "c").string()), c);
    }
    EXPECT_TRUE(weak.expired());
    auto again = ZVDiskCache::initWithPath((tmp / "c").string());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->inlineThreshold(), ZVDiskCache::kDefaultInlineThreshold);
    EXPECT_EQ(ZVDiskCache::initWithPath(""), nullptr);
}

TEST(DiskCacheStorage, ThresholdBoundariesAndMD5FileNames) {
    TempDir tmp;
    auto cache = bytesCache(tmp / "c");
    cache->setObject(CacheObject::make(filled(20480)), "inline");
    cache->setObject(CacheObject::make(filled(20481)), "file");
    EXPECT_FALSE(fs::exists(tmp / "c" / "data" / digest::md5Hex("inline")));
    EXPECT_TRUE(fs::exists(tmp / "c" / "data" / digest::md5Hex("file")));
    EXPECT_EQ(fs::file_size(tmp / "c" / "data" / digest::md5Hex("file")), 20481u);
    EXPECT_EQ(dataOf(cache->objectForKey("inline")), filled(20480));
    EXPECT_EQ(dataOf(cache->objectForKey("file")), filled(20481));
    EXPECT_EQ(cache->totalCost(), 20480 + 20481);
    EXPECT_EQ(cache->totalCount(), 2);

    // The same key moves back inline when its value shrinks.
    cache->setObject(CacheObject::make(filled(10)), "file");
    EXPECT_FALSE(fs::exists(tmp / "c" / "data" / digest::md5Hex("file")));
    EXPECT_EQ(dataOf(cache->objectForKey("file")), filled(10));
}

TEST(DiskCacheStorage, ThresholdZeroAndMaximum) {
    TempDir tmp;
    auto files = bytesCache(tmp / "files", 0);
    files->setObject(CacheObject::make(filled(1)), "a");
    EXPECT_EQ(filesIn(tmp / "files" / "data"), 1u);
    EXPECT_EQ(dataOf(files->objectForKey("a")), filled(1));

    auto inlineOnly = bytesCache(tmp / "inline", UINT64_MAX);
    inlineOnly->setObject(CacheObject::make(filled(200000)), "big");
    EXPECT_EQ(filesIn(tmp / "inline" / "data"), 0u);
    EXPECT_EQ(dataOf(inlineOnly->objectForKey("big")), filled(200000));
}

TEST(DiskCacheStorage, CustomFileNamesAreUsedButConfined) {
    TempDir tmp;
    auto cache = bytesCache(tmp / "c", 0);
    cache->setErrorLogsEnabled(false);
    cache->setCustomFileNameBlock([](const std::string& key) { return key == "md5" ? std::string() : key; });
    cache->setObject(CacheObject::make(filled(5)), "plain.png");
    cache->setObject(CacheObject::make(filled(5)), "md5");
    cache->setObject(CacheObject::make(filled(5)), "../escape");
    EXPECT_TRUE(fs::exists(tmp / "c" / "data" / "plain.png"));
    EXPECT_TRUE(fs::exists(tmp / "c" / "data" / digest::md5Hex("md5")));
    EXPECT_FALSE(fs::exists(tmp / "escape"));
    EXPECT_FALSE(cache->containsObjectForKey("../escape"));
}

TEST(DiskCacheObjects, NullRemovesAndExtendedDataTravels) {
    TempDir tmp;
    auto cache = bytesCache(tmp / "c");
    CacheObject value = CacheObject::make(filled(30000));
    ZVDiskCache::setExtendedData(Data{3, 0, 0}, value);
    cache->setObject(value, "k");
    CacheObject back = cache->objectForKey("k");
    ASSERT_TRUE(back);
    EXPECT_EQ(ZVDiskCache::getExtendedDataFromObject(back), (Data{3, 0, 0}));
    EXPECT_FALSE(ZVDiskCache::getExtendedDataFromObject(nullptr));
    ZVDiskCache::setExtendedData(std::nullopt, back);
    EXPECT_FALSE(ZVDiskCache::getExtendedDataFromObject(back));

    cache->setObject(nullptr, "k");
    EXPECT_FALSE(cache->containsObjectForKey("k"));
    EXPECT_TRUE(cache->objectForKey("k").isNull());
    EXPECT_EQ(filesIn(tmp / "c" / "data"), 0u);
}

TEST(DiskCacheObjects, DefaultArchiveStoresValuesAndSkipsOtherObjects) {
    TempDir tmp;
    auto cache = ZVDiskCache::initWithPath((tmp / "c").string());
    Value v = Value::dict({{"name", "demo"}, {"n", 3}, {"blob", Data{1, 2, 3}}});
    cache->setObject(CacheObject::make(v), "v");
    CacheObject back = cache->objectForKey("v");
    ASSERT_NE(back.get<Value>(), nullptr);
    EXPECT_EQ(*back.get<Value>(), v);

    cache->setObject(CacheObject::make(42), "int");  // no archive for an int
    EXPECT_FALSE(cache->containsObjectForKey("int"));

    // Throwing callbacks are swallowed: nothing stored, nothing read.
    cache->setCustomArchiveBlock([](const CacheObject&) -> std::shared_ptr<const Data> { throw std::runtime_error("no"); });
    cache->setObject(CacheObject::make(v), "t");
    EXPECT_FALSE(cache->containsObjectForKey("t"));
    cache->setCustomUnarchiveBlock([](Data&&) -> CacheObject { throw std::runtime_error("no"); });
    EXPECT_TRUE(cache->objectForKey("v").isNull());
}

TEST(DiskCacheTrim, AgeZeroEmptiesAndTheDefaultNeverRemoves) {
    TempDir tmp;
    ScopedTestClock clock;
    auto cache = bytesCache(tmp / "c");
    for (int i = 0; i < 5; ++i) cache->setObject(CacheObject::make(filled(100)), std::to_string(i));
    clock->advance(std::chrono::hours(24 * 365 * 20));
    cache->trimToAge(cache->ageLimit());
    EXPECT_EQ(cache->totalCount(), 5);
    cache->trimToAge(3600);
    EXPECT_EQ(cache->totalCount(), 0);
    for (int i = 0; i < 5; ++i) cache->setObject(CacheObject::make(filled(100)), std::to_string(i));
    cache->trimToAge(0);
    EXPECT_EQ(cache->totalCount(), 0);
}

TEST(DiskCacheTrim, CountAndCostKeepTheRecentlyUsed) {
    TempDir tmp;
    ScopedTestClock clock;
    auto cache = bytesCache(tmp / "c", 500);
    for (int i = 0; i < 10; ++i) {
        cache->setObject(CacheObject::make(filled(i % 2 ? 1000 : 100)), std::to_string(i));
        clock->advance(1s);
    }
    cache->objectForKey("0");
    cache->trimToCount(4);
    EXPECT_EQ(cache->totalCount(), 4);
    EXPECT_TRUE(cache->containsObjectForKey("0"));
    EXPECT_TRUE(cache->containsObjectForKey("9"));
    cache->trimToCost(1100);
    EXPECT_LE(cache->totalCost(), 1100);
    EXPECT_TRUE(cache->containsObjectForKey("0"));
    cache->trimToCost(UINT64_MAX);  // no limit
    EXPECT_GT(cache->totalCount(), 0);
    // A 64-bit limit above 2 GiB is still a limit.
    cache->trimToCost(5000000000ULL);
    EXPECT_GT(cache->totalCount(), 0);
}

TEST(DiskCacheTrim, FreeSpaceLimitRemovesWhatIsMissing) {
    TempDir tmp;
    ScopedTestClock clock;
    std::atomic<uint64_t> free{1000000};
    std::string asked;
    ZVDiskCache::setFreeSpaceFunctionForTesting([&](const std::string& path) -> std::optional<uint64_t> {
        asked = path;
        return free.load();
    });
    auto cache = bytesCache(tmp / "c", 0);
    for (int i = 0; i < 10; ++i) {
        cache->setObject(CacheObject::make(filled(1000)), std::to_string(i));
        clock->advance(1s);
    }
    cache->setFreeDiskSpaceLimit(1003500);  // 3500 bytes missing
    clock->advance(60s);
    ASSERT_TRUE(waitFor([&] { return cache->totalCost() == 6000; }));
    EXPECT_EQ(asked, (tmp / "c").string());  // the cache's own folder
    EXPECT_FALSE(cache->containsObjectForKey("3"));
    EXPECT_TRUE(cache->containsObjectForKey("4"));

    free = 0;
    ASSERT_TRUE(waitFor([&] {
        clock->advance(60s);
        return cache->totalCount() == 0;
    }));
    ZVDiskCache::setFreeSpaceFunctionForTesting(nullptr);
}

TEST(DiskCacheTrim, TheMinuteTrimAppliesTheLimits) {
    TempDir tmp;
    ScopedTestClock clock;
    auto cache = bytesCache(tmp / "c");
    for (int i = 0; i < 6; ++i) cache->setObject(CacheObject::make(filled(10)), std::to_string(i));
    cache->setCountLimit(2);
    clock->advance(59s);
    EXPECT_EQ(cache->totalCount(), 6);
    clock->advance(1s);
    ASSERT_TRUE(waitFor([&] { return cache->totalCount() == 2; }));
}

// A hit's access time reaches the manifest a moment later with no write to
// carry it, and the minute trim goes by it.
TEST(DiskCacheTrim, ReadsAloneReachTheManifestSoon) {
    TempDir tmp;
    ScopedTestClock clock;
    auto cache = bytesCache(tmp / "c");
    for (int i = 0; i < 3; ++i) {
        cache->setObject(CacheObject::make(filled(10)), std::to_string(i));
        clock->advance(10s);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((tmp / "c" / "manifest.sqlite").c_str(), &db), SQLITE_OK);
    auto storedTime = [db] {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "select last_access_time from manifest where key = '0';", -1, &stmt, nullptr);
        int64_t v = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
        sqlite3_finalize(stmt);
        return v;
    };
    const int64_t before = storedTime();
    ASSERT_TRUE(cache->objectForKey("0"));
    ASSERT_TRUE(cache->objectForKey("0"));
    EXPECT_EQ(storedTime(), before);
    clock->advance(1s);
    EXPECT_TRUE(waitFor([&] { return storedTime() == before + 30; }));
    sqlite3_close(db);
    cache->setCountLimit(1);
    clock->advance(60s);
    ASSERT_TRUE(waitFor([&] { return cache->totalCount() == 1; }));
    EXPECT_TRUE(cache->containsObjectForKey("0"));
}

// Batched stores are found at once and reach the manifest together, in one
// transaction, once stores pause; a removal or a plain store made meanwhile
// wins over the batch.
TEST(DiskCacheBatch, StoresAreFoundAtOnceAndWrittenInOneTransactionOnceTheyPause) {
    TempDir tmp;
    ScopedTestClock clock;
    auto cache = bytesCache(tmp / "c");
    const fs::path manifest = tmp / "c" / "manifest.sqlite", wal = tmp / "c" / "manifest.sqlite-wal";
    for (int i = 0; i < 20; ++i) {
        cache->setObjectInBatch(CacheObject::make(filled(100, uint8_t(i))), "k" + std::to_string(i));
        clock->advance(10ms);  // a burst: no pause of 25 ms
    }
    cache->removeObjectForKey("k3");
    cache->setObject(CacheObject::make(filled(7, 99)), "k4");
    EXPECT_EQ(dataOf(cache->objectForKey("k0")), filled(100, 0));
    EXPECT_TRUE(cache->containsObjectForKey("k19"));
    EXPECT_FALSE(cache->containsObjectForKey("k3"));
    EXPECT_EQ(testsupport::sqliteRowCount(manifest, "manifest"), 1) << "only the plain store is written";
    const size_t commits = testsupport::sqliteWALCommits(wal);

    clock->advance(30ms);
    ASSERT_TRUE(waitFor([&] { return testsupport::sqliteRowCount(manifest, "manifest") == 19; }));
    EXPECT_EQ(testsupport::sqliteWALCommits(wal), commits + 1) << "one transaction for the batch";
    EXPECT_EQ(dataOf(cache->objectForKey("k4")), filled(7, 99));
    EXPECT_FALSE(cache->containsObjectForKey("k3"));
}

// Stores that never pause are written 250 ms after the first; totals count
// what waits in the batch.
TEST(DiskCacheBatch, ABatchWaitsAtMostItsLongestAndTotalsWriteItFirst) {
    TempDir tmp;
    ScopedTestClock clock;
    auto cache = bytesCache(tmp / "c");
    const fs::path manifest = tmp / "c" / "manifest.sqlite";
    for (int i = 0; i < 24; ++i) {
        cache->setObjectInBatch(CacheObject::make(filled(10)), std::to_string(i));
        clock->advance(10ms);
    }
    EXPECT_EQ(testsupport::sqliteRowCount(manifest, "manifest"), 0);
    for (int i = 24; i < 30; ++i) {
        cache->setObjectInBatch(CacheObject::make(filled(10)), std::to_string(i));
        clock->advance(10ms);
    }
    EXPECT_TRUE(waitFor([&] { return testsupport::sqliteRowCount(manifest, "manifest") >= 25; }));
    cache->setObjectInBatch(CacheObject::make(filled(10)), "last");
    EXPECT_EQ(cache->totalCount(), 31);
}

// What a cache may hold is known without the storage: the keys stored
// before it opened and since (batched too), less those removed.
TEST(DiskCacheIndex, KnowsTheKeysItMayHold) {
    TempDir tmp;
    bytesCache(tmp / "c")->setObject(CacheObject::make(filled(10)), "before");
    auto cache = bytesCache(tmp / "c");
    EXPECT_TRUE(cache->mayContainObjectForKey("before"));
    EXPECT_FALSE(cache->mayContainObjectForKey("never"));
    EXPECT_FALSE(cache->mayContainObjectForKey(""));
    cache->setObjectInBatch(CacheObject::make(filled(10)), "batched");
    cache->setObject(CacheObject::make(filled(10)), "plain");
    EXPECT_TRUE(cache->mayContainObjectForKey("batched"));
    EXPECT_TRUE(cache->mayContainObjectForKey("plain"));
    cache->removeObjectForKey("plain");
    EXPECT_FALSE(cache->mayContainObjectForKey("plain"));
    cache->removeAllObjects();
    EXPECT_FALSE(cache->mayContainObjectForKey("before"));
    EXPECT_FALSE(cache->mayContainObjectForKey("batched"));
}

TEST(DiskCacheLifecycle, AfterWillTerminateNothingIsReadOrWritten) {
    TempDir tmp;
    auto cache = bytesCache(tmp / "c");
    cache->setObject(CacheObject::make(filled(10)), "k");
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationWillTerminateNotification);
    EXPECT_TRUE(cache->objectForKey("k").isNull());
    EXPECT_FALSE(cache->containsObjectForKey("k"));
    cache->setObject(CacheObject::make(filled(10)), "other");
    cache->setObjectInBatch(CacheObject::make(filled(10)), "batched");
    EXPECT_FALSE(cache->containsObjectForKey("batched"));
    EXPECT_EQ(cache->totalCount(), 0);
    std::optional<bool> error;
    DispatchSemaphore done;
    cache->removeAllObjectsWithProgressBlock(nullptr, [&](bool e) {
        error = e;
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    EXPECT_TRUE(*error);
}

TEST(DiskCacheAsync, CallbacksRunOnTheDiskQueue) {
    TempDir tmp;
    auto cache = bytesCache(tmp / "c");
    DispatchSemaphore done;
    std::string label;
    cache->setObject(CacheObject::make(filled(10)), "k", [&] {
        label = DispatchQueue::currentLabel();
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    EXPECT_EQ(label, "com.odvanel.cache.disk");

    bool contains = false;
    cache->containsObjectForKey("k", [&](const std::string& key, bool c) {
        contains = c && key == "k";
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    EXPECT_TRUE(contains);

    CacheObject got;
    cache->objectForKey("k", [&](const std::string&, CacheObject o) {
        got = o;
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    EXPECT_EQ(dataOf(got), filled(10));

    int64_t count = -5, cost = -5;
    cache->totalCountWithBlock([&](int64_t c) {
        count = c;
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    cache->totalCostWithBlock([&](int64_t c) {
        cost = c;
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(cost, 10);

    std::string removedKey;
    cache->removeObjectForKey("k", [&](const std::string& key) {
        removedKey = key;
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    EXPECT_EQ(removedKey, "k");
    EXPECT_FALSE(cache->containsObjectForKey("k"));

    // Null callbacks: lookups are skipped, writes still happen.
    cache->containsObjectForKey("k", nullptr);
    cache->objectForKey("k", nullptr);
    cache->setObject(CacheObject::make(filled(3)), "n", nullptr);
    ASSERT_TRUE(waitFor([&] { return cache->containsObjectForKey("n"); }));

    std::vector<std::pair<int64_t, int64_t>> steps;
    cache->removeAllObjectsWithProgressBlock([&](int64_t r, int64_t t) { steps.emplace_back(r, t); },
                                             [&](bool e) {
                                                 EXPECT_FALSE(e);
                                                 done.signal();
                                             });
    ASSERT_TRUE(done.wait(10s));
    EXPECT_EQ(steps, (std::vector<std::pair<int64_t, int64_t>>{{1, 1}}));
}

TEST(DiskCacheMisc, Description) {
    TempDir tmp;
    auto cache = bytesCache(tmp / "c");
    std::string path = (tmp / "c").string();
    EXPECT_NE(cache->description().find("> (" + path + ")"), std::string::npos) << cache->description();
    cache->setName("images");
    EXPECT_NE(cache->description().find("> (images:" + path + ")"), std::string::npos) << cache->description();
}

// MARK: - The two-level cache

TEST(TwoLevelCache, NamedCacheLivesUnderCaches) {
    auto cache = ZVCache::initWithName("demo");
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->name(), "demo");
    EXPECT_EQ(cache->memoryCache()->name(), "demo");
    EXPECT_EQ(cache->diskCache()->path(), (AppHome::caches() / "demo").string());
    EXPECT_TRUE(fs::exists(AppHome::caches() / "demo" / "manifest.sqlite"));
    EXPECT_EQ(ZVCache::initWithName(""), nullptr);
    EXPECT_NE(cache->description().find("> (demo)"), std::string::npos);
    // A second cache on the folder shares the disk level.
    EXPECT_EQ(ZVCache::cacheWithName("demo")->diskCache(), cache->diskCache());
}

TEST(TwoLevelCache, PlainCreateLogsAndFails) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(ZVCache::create(), nullptr);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Use \"initWithName\" or \"initWithPath\" to create ZVCache instance."), std::string::npos);
}

TEST(TwoLevelCache, DiskHitsAreCopiedIntoMemory) {
    TempDir tmp;
    auto cache = ZVCache::initWithPath((tmp / "two").string());
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->name(), "two");
    Value v = Value::dict({{"a", 1}});
    cache->diskCache()->setObject(CacheObject::make(v), "disk-only");
    EXPECT_FALSE(cache->memoryCache()->containsObjectForKey("disk-only"));
    EXPECT_TRUE(cache->containsObjectForKey("disk-only"));
    CacheObject got = cache->objectForKey("disk-only");
    ASSERT_NE(got.get<Value>(), nullptr);
    EXPECT_EQ(*got.get<Value>(), v);
    EXPECT_TRUE(cache->memoryCache()->containsObjectForKey("disk-only"));

    cache->setObject(CacheObject::make(Value("both")), "k");
    EXPECT_TRUE(cache->memoryCache()->containsObjectForKey("k"));
    EXPECT_TRUE(cache->diskCache()->containsObjectForKey("k"));
    cache->removeObjectForKey("k");
    EXPECT_FALSE(cache->containsObjectForKey("k"));
    cache->setObject(CacheObject::make(Value("again")), "k");
    cache->removeAllObjects();
    EXPECT_FALSE(cache->containsObjectForKey("k"));
    EXPECT_EQ(cache->diskCache()->totalCount(), 0);
}

TEST(TwoLevelCache, CallbacksNeverRunOnTheMainThread) {
    TempDir tmp;
    auto cache = ZVCache::initWithPath((tmp / "two").string());
    cache->diskCache()->setObject(CacheObject::make(Value(7)), "disk");
    cache->memoryCache()->setObject(CacheObject::make(Value(8)), "mem");
    DispatchSemaphore done;
    std::vector<std::string> labels;
    std::mutex m;
    auto record = [&] {
        std::lock_guard lock(m);
        labels.push_back(DispatchQueue::currentLabel());
    };
    cache->objectForKey("mem", [&](const std::string&, CacheObject o) {
        EXPECT_EQ(o.get<Value>()->intValue(), 8);
        record();
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    bool inMemoryAtCallback = false;
    cache->objectForKey("disk", [&](const std::string& k, CacheObject o) {
        EXPECT_EQ(o.get<Value>()->intValue(), 7);
        inMemoryAtCallback = cache->memoryCache()->containsObjectForKey(k);
        record();
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    EXPECT_TRUE(inMemoryAtCallback);
    cache->containsObjectForKey("mem", [&](const std::string&, bool c) {
        EXPECT_TRUE(c);
        record();
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    cache->containsObjectForKey("none", [&](const std::string&, bool c) {
        EXPECT_FALSE(c);
        record();
        done.signal();
    });
    ASSERT_TRUE(done.wait(10s));
    EXPECT_EQ(labels, (std::vector<std::string>{"global.default", "com.odvanel.cache.disk", "global.default",
                                                "com.odvanel.cache.disk"}));
}

}  // namespace
