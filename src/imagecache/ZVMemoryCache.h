#pragma once
// A thread-safe in-memory cache from string keys to objects with
// least-recently-used eviction, bounded by count, total cost and age since
// last use. It trims itself every few seconds in the background, empties
// itself on a memory warning and on entering the background, and destroys
// evicted values off the caller's thread (a low-priority queue, or the main
// queue for values that must die there).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "imagecache/CacheObject.h"

class ZVLinkedMap;

class ZVMemoryCache : public std::enable_shared_from_this<ZVMemoryCache> {
public:
    using Block = std::function<void(ZVMemoryCache&)>;

    // A new cache with the default settings; its automatic trim is running.
    static std::shared_ptr<ZVMemoryCache> create();
    ~ZVMemoryCache();
    ZVMemoryCache(const ZVMemoryCache&) = delete;
    ZVMemoryCache& operator=(const ZVMemoryCache&) = delete;

    std::string name() const;
    void setName(std::string name);

    uint64_t totalCount() const;
    uint64_t totalCost() const;

    uint64_t countLimit() const { return countLimit_.load(std::memory_order_relaxed); }
    void setCountLimit(uint64_t v) { countLimit_.store(v, std::memory_order_relaxed); }
    uint64_t costLimit() const { return costLimit_.load(std::memory_order_relaxed); }
    void setCostLimit(uint64_t v) { costLimit_.store(v, std::memory_order_relaxed); }
    double ageLimit() const { return ageLimit_.load(std::memory_order_relaxed); }
    void setAgeLimit(double seconds) { ageLimit_.store(seconds, std::memory_order_relaxed); }
    double autoTrimInterval() const { return autoTrimInterval_.load(std::memory_order_relaxed); }
    void setAutoTrimInterval(double seconds) { autoTrimInterval_.store(seconds, std::memory_order_relaxed); }

    bool shouldRemoveAllObjectsOnMemoryWarning() const { return removeOnMemoryWarning_.load(); }
    void setShouldRemoveAllObjectsOnMemoryWarning(bool v) { removeOnMemoryWarning_.store(v); }
    bool shouldRemoveAllObjectsWhenEnteringBackground() const { return removeOnBackground_.load(); }
    void setShouldRemoveAllObjectsWhenEnteringBackground(bool v) { removeOnBackground_.store(v); }

    // Called with the cache before any removal; on the posting thread.
    Block didReceiveMemoryWarningBlock() const;
    void setDidReceiveMemoryWarningBlock(Block block);
    Block didEnterBackgroundBlock() const;
    void setDidEnterBackgroundBlock(Block block);

    // Where evicted values are destroyed: with releaseAsynchronously (the
    // default) on the main queue or a low-priority global queue; without it
    // on the calling thread, unless releaseOnMainThread asks for the main
    // thread and the caller is not on it.
    bool releaseOnMainThread() const;
    void setReleaseOnMainThread(bool v);
    bool releaseAsynchronously() const;
    void setReleaseAsynchronously(bool v);

    bool containsObjectForKey(const std::string& key) const;
    // Marks the entry as most recently used.
    CacheObject objectForKey(const std::string& key);
    // A null object removes the key. Over the count limit one least recently
    // used entry is evicted at once; over the cost limit the background
    // trims the excess shortly after.
    void setObject(CacheObject object, const std::string& key, uint64_t withCost = 0);
    void removeObjectForKey(const std::string& key);
    // O(1) for the caller: the entries are destroyed by the release rule.
    void removeAllObjects();

    // Remove least recently used entries until the limit holds; they never
    // wait for the lock, so foreground calls are not held up.
    void trimToCount(uint64_t count);
    void trimToCost(uint64_t cost);
    void trimToAge(double seconds);

    std::string description() const;

private:
    ZVMemoryCache();
    enum class Limit { Count, Cost, Age };
    // `count` is the limit for Count and Cost, `seconds` for Age.
    void trimTo(Limit kind, uint64_t count, double seconds);
    void trimInBackground();
    void appDidReceiveMemoryWarning();
    void appDidEnterBackground();

    mutable std::mutex lock_;
    std::unique_ptr<ZVLinkedMap> lru_;  // guarded by lock_
    std::shared_ptr<class DispatchQueue> queue_;

    mutable std::mutex propertyLock_;
    std::string name_;
    Block didReceiveMemoryWarningBlock_;
    Block didEnterBackgroundBlock_;

    std::atomic<uint64_t> countLimit_;
    std::atomic<uint64_t> costLimit_;
    std::atomic<double> ageLimit_;
    std::atomic<double> autoTrimInterval_{5.0};
    std::atomic<bool> removeOnMemoryWarning_{true};
    std::atomic<bool> removeOnBackground_{true};
    std::atomic<bool> costTrimPending_{false};
};
