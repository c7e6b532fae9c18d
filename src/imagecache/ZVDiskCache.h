#pragma once
// A thread-safe persistent cache from string keys to objects over a
// key-value storage: values up to `inlineThreshold` bytes live in the
// database, longer ones in files named by the MD5 of the key. One instance
// per folder in the process; trims itself every minute by cost, count, age
// and free disk space. Every operation has a synchronous form and an
// asynchronous one whose callback runs on the cache's queue.
//
// Objects are turned into bytes by `customArchiveBlock` when set; without
// it the cache stores objects holding a Value (as a binary property list)
// and skips any other object.
//
// Batched stores (setObjectInBatch) are written together, in one
// transaction, once stores pause; until then every read, contains and
// removal sees them. The cache also keeps the keys it may hold in memory
// (mayContainObjectForKey), so that a lookup that cannot hit is not made.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "imagecache/CacheObject.h"
#include "platform/dispatch/Clock.h"

class ZVKVStorage;
class DispatchQueue;

class ZVDiskCache : public std::enable_shared_from_this<ZVDiskCache> {
public:
    static constexpr uint64_t kDefaultInlineThreshold = 20480;

    // Object → bytes (null: not stored). Shared, so that an object that is
    // its own bytes is stored without a copy.
    using ArchiveBlock = std::function<std::shared_ptr<const Data>(const CacheObject&)>;
    // Bytes → object (null: not found); the bytes are the callback's to keep.
    using UnarchiveBlock = std::function<CacheObject(Data&&)>;
    using FileNameBlock = std::function<std::string(const std::string& key)>;

    // The cache of `path`: the live one when the process already has one for
    // this folder (the threshold given now is then ignored), else a new one;
    // null when the storage cannot be created. Threshold 0 puts every value
    // in a file, UINT64_MAX none.
    static std::shared_ptr<ZVDiskCache> initWithPath(const std::string& path,
                                                     uint64_t inlineThreshold = kDefaultInlineThreshold);
    ~ZVDiskCache();
    ZVDiskCache(const ZVDiskCache&) = delete;
    ZVDiskCache& operator=(const ZVDiskCache&) = delete;

    std::string name() const;
    void setName(std::string name);
    const std::string& path() const { return path_; }
    uint64_t inlineThreshold() const { return inlineThreshold_; }

    ArchiveBlock customArchiveBlock() const;
    void setCustomArchiveBlock(ArchiveBlock block);
    UnarchiveBlock customUnarchiveBlock() const;
    void setCustomUnarchiveBlock(UnarchiveBlock block);
    FileNameBlock customFileNameBlock() const;
    void setCustomFileNameBlock(FileNameBlock block);

    uint64_t countLimit() const { return countLimit_.load(); }
    void setCountLimit(uint64_t v) { countLimit_.store(v); }
    uint64_t costLimit() const { return costLimit_.load(); }
    void setCostLimit(uint64_t v) { costLimit_.store(v); }
    double ageLimit() const { return ageLimit_.load(); }
    void setAgeLimit(double seconds) { ageLimit_.store(seconds); }
    // Free space (bytes) to keep on the file system of the cache's folder; 0: off.
    uint64_t freeDiskSpaceLimit() const { return freeDiskSpaceLimit_.load(); }
    void setFreeDiskSpaceLimit(uint64_t v) { freeDiskSpaceLimit_.store(v); }
    double autoTrimInterval() const { return autoTrimInterval_.load(); }
    void setAutoTrimInterval(double seconds) { autoTrimInterval_.store(seconds); }

    bool errorLogsEnabled() const;
    void setErrorLogsEnabled(bool enabled);

    // Synchronous forms.
    bool containsObjectForKey(const std::string& key);
    CacheObject objectForKey(const std::string& key);
    // A null object removes the key.
    void setObject(const CacheObject& object, const std::string& key);
    // As setObject, but the write joins the open batch: the items stored
    // close together are written in one transaction on the cache's queue
    // once stores pause for kBatchQuiet (at most kBatchLongest after the
    // batch opened; at once past kBatchMaxItems items or kBatchMaxBytes).
    // Reads, contains and removals see a batched item at once; totals,
    // trims and termination write the batch first. A killed process loses
    // the batch (what a cache may lose), never a value half-written.
    void setObjectInBatch(const CacheObject& object, const std::string& key);
    // Writes the open batch now, on the caller's thread.
    void flushBatch();
    // False only when the cache surely holds no item for `key`: the keys
    // are kept in memory from the creation on (a key whose item a trim
    // removed may still answer true). Never waits for the storage.
    bool mayContainObjectForKey(const std::string& key) const;

    static constexpr std::chrono::milliseconds kBatchQuiet{25};
    static constexpr std::chrono::milliseconds kBatchLongest{250};
    static constexpr size_t kBatchMaxItems = 256;
    static constexpr size_t kBatchMaxBytes = 4u << 20;
    void removeObjectForKey(const std::string& key);
    void removeAllObjects();
    int64_t totalCount();  // -1 on error; 0 after termination
    int64_t totalCost();   // bytes; -1 on error; 0 after termination
    void trimToCount(uint64_t count);
    void trimToCost(uint64_t cost);
    void trimToAge(double seconds);

    // Asynchronous forms: the callback runs on the cache's queue. Where the
    // callback is the point (contains, object, totals) a null callback does
    // nothing at all; otherwise the operation still runs.
    void containsObjectForKey(const std::string& key, std::function<void(const std::string&, bool)> block);
    void objectForKey(const std::string& key, std::function<void(const std::string&, CacheObject)> block);
    void setObject(const CacheObject& object, const std::string& key, std::function<void()> block);
    void removeObjectForKey(const std::string& key, std::function<void(const std::string&)> block);
    void removeAllObjectsWithBlock(std::function<void()> block);
    void removeAllObjectsWithProgressBlock(std::function<void(int64_t removed, int64_t total)> progress,
                                           std::function<void(bool error)> end);
    void totalCountWithBlock(std::function<void(int64_t)> block);
    void totalCostWithBlock(std::function<void(int64_t)> block);
    void trimToCount(uint64_t count, std::function<void()> block);
    void trimToCost(uint64_t cost, std::function<void()> block);
    void trimToAge(double seconds, std::function<void()> block);

    static std::optional<Data> getExtendedDataFromObject(const CacheObject& object);
    static void setExtendedData(std::optional<Data> data, const CacheObject& object);

    std::string description() const;

    // Free bytes on the file system holding `path`, or null. Tests replace
    // it (pass nullptr to restore statvfs).
    using FreeSpaceFunction = std::function<std::optional<uint64_t>(const std::string& path)>;
    static void setFreeSpaceFunctionForTesting(FreeSpaceFunction f);

private:
    ZVDiskCache(std::unique_ptr<ZVKVStorage> kv, const std::string& path, uint64_t threshold);
    std::string filenameForKey(const std::string& key) const;
    void trimToCostLocked(uint64_t cost);
    void trimToCountLocked(uint64_t count);
    void trimToAgeLocked(double seconds);
    void trimToFreeDiskSpaceLocked(uint64_t target);
    void trimInBackground();
    void appWillBeTerminated();
    void scheduleAccessFlushLocked();

    // The batch (ZVDiskCacheBatch.cpp).
    struct Batched {
        std::shared_ptr<const Data> bytes;
        Data extendedData;
        std::string filename;  // empty: inline
    };
    std::shared_ptr<const Data> archive(const CacheObject& object) const;
    CacheObject unarchive(Data bytes, Data extendedData) const;
    std::optional<Batched> batchedItem(const std::string& key) const;
    void forgetBatchedLocked(const std::string& key);
    void forgetEverythingKnownLocked();
    void flushBatchLocked();
    void scheduleBatchFlush(std::chrono::nanoseconds delay);
    void batchTimerFired();
    void loadIndex();
    void indexAdd(const std::string& key);
    void indexRemove(const std::string& key);
    void indexClear();
    template <class F>
    void runAsync(F&& f);

    static constexpr std::chrono::milliseconds kAccessFlushDelay{1000};
    // Lock order: lock_, then batchLock_, then indexLock_.
    mutable std::mutex lock_;        // guards kv_ and accessFlushScheduled_
    std::unique_ptr<ZVKVStorage> kv_;  // dropped when the application terminates
    bool accessFlushScheduled_ = false;
    std::atomic<bool> terminated_{false};  // kv_ is gone for good: nothing more is batched

    // Items stored in batch and not yet written. The writer takes them under
    // lock_ too, so a reader that misses them here finds them in the storage.
    mutable std::mutex batchLock_;  // guards the five below
    std::unordered_map<std::string, Batched> batch_;
    size_t batchBytes_ = 0;
    Clock::Monotonic batchOpened_{}, lastBatched_{};
    bool batchTimerScheduled_ = false;

    mutable std::mutex indexLock_;  // guards keyHashes_ and indexComplete_
    std::unordered_set<size_t> keyHashes_;
    bool indexComplete_ = false;  // false: every key may be held
    std::shared_ptr<DispatchQueue> queue_;
    const std::string path_;
    const uint64_t inlineThreshold_;
    const bool sqliteOnly_;

    mutable std::mutex propertyLock_;
    std::string name_;
    ArchiveBlock customArchiveBlock_;
    UnarchiveBlock customUnarchiveBlock_;
    FileNameBlock customFileNameBlock_;

    std::atomic<uint64_t> countLimit_{UINT64_MAX};
    std::atomic<uint64_t> costLimit_{UINT64_MAX};
    std::atomic<double> ageLimit_;
    std::atomic<uint64_t> freeDiskSpaceLimit_{0};
    std::atomic<double> autoTrimInterval_{60.0};
};
