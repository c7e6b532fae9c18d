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

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "imagecache/CacheObject.h"

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
    template <class F>
    void runAsync(F&& f);

    static constexpr std::chrono::milliseconds kAccessFlushDelay{1000};
    mutable std::mutex lock_;        // guards kv_ and accessFlushScheduled_
    std::unique_ptr<ZVKVStorage> kv_;  // dropped when the application terminates
    bool accessFlushScheduled_ = false;
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
