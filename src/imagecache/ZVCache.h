#pragma once
// A general object cache: a memory cache in front of a disk cache under one
// name. Reads look in memory first and copy disk hits into memory; writes
// and removals go to both levels. Thread-safe through its two levels.

#include <functional>
#include <memory>
#include <string>

#include "imagecache/ZVDiskCache.h"
#include "imagecache/ZVMemoryCache.h"

class ZVCache {
public:
    // Always null: a cache needs a name or a path (logs why).
    static std::shared_ptr<ZVCache> create();
    // A cache in the folder `name` of the Caches directory; null for an empty name.
    static std::shared_ptr<ZVCache> initWithName(const std::string& name);
    // Null for an empty path or when the disk cache cannot be created; a
    // folder that already has a live disk cache shares it.
    static std::shared_ptr<ZVCache> initWithPath(const std::string& path);
    static std::shared_ptr<ZVCache> cacheWithName(const std::string& name) { return initWithName(name); }
    static std::shared_ptr<ZVCache> cacheWithPath(const std::string& path) { return initWithPath(path); }

    const std::string& name() const { return name_; }
    const std::shared_ptr<ZVMemoryCache>& memoryCache() const { return memoryCache_; }
    const std::shared_ptr<ZVDiskCache>& diskCache() const { return diskCache_; }

    bool containsObjectForKey(const std::string& key);
    void containsObjectForKey(const std::string& key, std::function<void(const std::string&, bool)> block);
    CacheObject objectForKey(const std::string& key);
    void objectForKey(const std::string& key, std::function<void(const std::string&, CacheObject)> block);
    void setObject(const CacheObject& object, const std::string& key);
    void setObject(const CacheObject& object, const std::string& key, std::function<void()> block);
    void removeObjectForKey(const std::string& key);
    void removeObjectForKey(const std::string& key, std::function<void(const std::string&)> block);
    void removeAllObjects();
    void removeAllObjectsWithBlock(std::function<void()> block);
    void removeAllObjectsWithProgressBlock(std::function<void(int64_t removed, int64_t total)> progress,
                                           std::function<void(bool error)> end);

    std::string description() const;

private:
    ZVCache(std::string name, std::shared_ptr<ZVMemoryCache> memory, std::shared_ptr<ZVDiskCache> disk);

    std::string name_;
    std::shared_ptr<ZVMemoryCache> memoryCache_;
    std::shared_ptr<ZVDiskCache> diskCache_;
};
