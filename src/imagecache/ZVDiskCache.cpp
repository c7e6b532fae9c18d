#include "imagecache/ZVDiskCache.h"

#include <sys/statvfs.h>

#include <cfloat>
#include <filesystem>
#include <unordered_map>

#include "imagecache/CacheSupport.h"
#include "imagecache/ZVKVStorage.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Strings.h"
#include "platform/security/Digest.h"

namespace {

std::optional<uint64_t> statvfsFreeSpace(const std::string& path) {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0) return std::nullopt;
    return uint64_t(st.f_bavail) * uint64_t(st.f_frsize);
}

std::mutex& freeSpaceMutex() {
    static auto* m = new std::mutex();
    return *m;
}

ZVDiskCache::FreeSpaceFunction& freeSpaceFunction() {
    static auto* f = new ZVDiskCache::FreeSpaceFunction();
    return *f;
}

std::optional<uint64_t> freeSpace(const std::string& path) {
    ZVDiskCache::FreeSpaceFunction f;
    {
        std::lock_guard lock(freeSpaceMutex());
        f = freeSpaceFunction();
    }
    return f ? f(path) : statvfsFreeSpace(path);
}

// The process-wide table from folder to its live cache. Its lock is held
// across lookup, creation and insertion, so that two threads opening one
// folder get one cache.
struct InstanceTable {
    std::mutex mutex;
    std::unordered_map<std::string, std::weak_ptr<ZVDiskCache>> caches;

    static InstanceTable& shared() {
        static auto* t = new InstanceTable();
        return *t;
    }
};

// "a/b/" and "a//b" name the folder "a/b" too.
std::string tableKey(const std::string& path) {
    std::string key = std::filesystem::path(path).lexically_normal().string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

ZVKVStorageType storageTypeForThreshold(uint64_t threshold) {
    if (threshold == 0) return ZVKVStorageType::File;
    if (threshold == UINT64_MAX) return ZVKVStorageType::SQLite;
    return ZVKVStorageType::Mixed;
}

}  // namespace

std::shared_ptr<ZVDiskCache> ZVDiskCache::initWithPath(const std::string& path, uint64_t inlineThreshold) {
    auto& table = InstanceTable::shared();
    std::lock_guard tableLock(table.mutex);
    const std::string key = path.empty() ? std::string() : tableKey(path);
    if (!key.empty()) {
        auto it = table.caches.find(key);
        if (it != table.caches.end()) {
            if (auto live = it->second.lock()) return live;
        }
    }

    auto kv = ZVKVStorage::initWithPath(path, storageTypeForThreshold(inlineThreshold));
    if (!kv) return nullptr;
    std::shared_ptr<ZVDiskCache> cache(new ZVDiskCache(std::move(kv), path, inlineThreshold));
    cache->loadIndex();
    zvcache::trimRecursively<ZVDiskCache>(cache, &ZVDiskCache::trimInBackground);

    if (!key.empty()) {
        for (auto it = table.caches.begin(); it != table.caches.end();) {
            it = it->second.expired() ? table.caches.erase(it) : std::next(it);
        }
        table.caches[key] = cache;
    }

    std::weak_ptr<ZVDiskCache> weak = cache;
    NSNotificationCenter::defaultCenter().addObserver(cache.get(), UIApplicationWillTerminateNotification, nullptr,
                                                      [weak](const NSNotification&) {
                                                          if (auto self = weak.lock()) self->appWillBeTerminated();
                                                      });
    return cache;
}

ZVDiskCache::ZVDiskCache(std::unique_ptr<ZVKVStorage> kv, const std::string& path, uint64_t threshold)
    : kv_(std::move(kv)),
      queue_(DispatchQueue::concurrent("com.odvanel.cache.disk")),
      path_(path),
      inlineThreshold_(threshold),
      sqliteOnly_(storageTypeForThreshold(threshold) == ZVKVStorageType::SQLite),
      ageLimit_(DBL_MAX) {}

ZVDiskCache::~ZVDiskCache() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
    flushBatch();
}

std::string ZVDiskCache::name() const {
    std::lock_guard lock(propertyLock_);
    return name_;
}

void ZVDiskCache::setName(std::string name) {
    std::lock_guard lock(propertyLock_);
    name_ = std::move(name);
}

ZVDiskCache::ArchiveBlock ZVDiskCache::customArchiveBlock() const {
    std::lock_guard lock(propertyLock_);
    return customArchiveBlock_;
}

void ZVDiskCache::setCustomArchiveBlock(ArchiveBlock block) {
    std::lock_guard lock(propertyLock_);
    customArchiveBlock_ = std::move(block);
}

ZVDiskCache::UnarchiveBlock ZVDiskCache::customUnarchiveBlock() const {
    std::lock_guard lock(propertyLock_);
    return customUnarchiveBlock_;
}

void ZVDiskCache::setCustomUnarchiveBlock(UnarchiveBlock block) {
    std::lock_guard lock(propertyLock_);
    customUnarchiveBlock_ = std::move(block);
}

ZVDiskCache::FileNameBlock ZVDiskCache::customFileNameBlock() const {
    std::lock_guard lock(propertyLock_);
    return customFileNameBlock_;
}

void ZVDiskCache::setCustomFileNameBlock(FileNameBlock block) {
    std::lock_guard lock(propertyLock_);
    customFileNameBlock_ = std::move(block);
}

bool ZVDiskCache::errorLogsEnabled() const {
    std::lock_guard lock(lock_);
    return kv_ ? kv_->errorLogsEnabled() : false;
}

void ZVDiskCache::setErrorLogsEnabled(bool enabled) {
    std::lock_guard lock(lock_);
    if (kv_) kv_->setErrorLogsEnabled(enabled);
}

std::string ZVDiskCache::filenameForKey(const std::string& key) const {
    if (auto block = customFileNameBlock()) {
        std::string name = block(key);
        if (!name.empty()) return name;
    }
    return digest::md5Hex(key);
}

// MARK: - Synchronous forms

bool ZVDiskCache::containsObjectForKey(const std::string& key) {
    if (!key.empty() && batchedItem(key)) return true;
    std::lock_guard lock(lock_);
    return kv_ && kv_->itemExistsForKey(key);
}

CacheObject ZVDiskCache::objectForKey(const std::string& key) {
    if (auto batched = key.empty() ? std::nullopt : batchedItem(key))
        return unarchive(*batched->bytes, std::move(batched->extendedData));
    std::optional<ZVKVStorageItem> item;
    {
        std::lock_guard lock(lock_);
        if (kv_) item = kv_->getItemForKey(key);
        if (item) scheduleAccessFlushLocked();
    }
    if (!item || item->value.empty()) return nullptr;
    return unarchive(std::move(item->value), std::move(item->extendedData));
}

// The object of stored bytes, with their extended data attached; null when
// they do not unarchive.
CacheObject ZVDiskCache::unarchive(Data bytes, Data extendedData) const {
    CacheObject object;
    try {
        if (auto unarchiveBlock = customUnarchiveBlock()) {
            object = unarchiveBlock(std::move(bytes));
        } else if (auto value = Value::fromPlist(bytes)) {
            object = CacheObject::make(std::move(*value));
        }
    } catch (...) {
        return nullptr;
    }
    if (object && !extendedData.empty()) setExtendedData(std::move(extendedData), object);
    return object;
}

// The bytes to store for `object`; null when it has none (or archiving threw).
std::shared_ptr<const Data> ZVDiskCache::archive(const CacheObject& object) const {
    try {
        if (auto archiveBlock = customArchiveBlock()) return archiveBlock(object);
        if (const Value* value = object.get<Value>()) return std::make_shared<const Data>(value->toBinaryPlist());
    } catch (...) {
    }
    return nullptr;
}

void ZVDiskCache::setObject(const CacheObject& object, const std::string& key) {
    if (!object) {
        removeObjectForKey(key);
        return;
    }
    std::optional<Data> extended = getExtendedDataFromObject(object);
    std::shared_ptr<const Data> bytes = archive(object);
    if (!bytes) return;
    std::string filename;
    if (!sqliteOnly_ && bytes->size() > inlineThreshold_) filename = filenameForKey(key);
    std::lock_guard lock(lock_);
    if (!kv_) return;
    forgetBatchedLocked(key);  // this write is newer
    indexAdd(key);
    kv_->saveItemWithKey(key, *bytes, filename, extended ? *extended : Data());
}

void ZVDiskCache::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(lock_);
    forgetBatchedLocked(key);
    if (kv_ && kv_->removeItemForKey(key)) indexRemove(key);
}

void ZVDiskCache::removeAllObjects() {
    std::lock_guard lock(lock_);
    forgetEverythingKnownLocked();
    if (kv_) kv_->removeAllItems();
}

int64_t ZVDiskCache::totalCount() {
    std::lock_guard lock(lock_);
    flushBatchLocked();
    return kv_ ? kv_->getItemsCount() : 0;
}

int64_t ZVDiskCache::totalCost() {
    std::lock_guard lock(lock_);
    flushBatchLocked();
    return kv_ ? kv_->getItemsSize() : 0;
}

void ZVDiskCache::trimToCount(uint64_t count) {
    std::lock_guard lock(lock_);
    flushBatchLocked();
    trimToCountLocked(count);
}

void ZVDiskCache::trimToCost(uint64_t cost) {
    std::lock_guard lock(lock_);
    flushBatchLocked();
    trimToCostLocked(cost);
}

void ZVDiskCache::trimToAge(double seconds) {
    std::lock_guard lock(lock_);
    flushBatchLocked();
    trimToAgeLocked(seconds);
}

// MARK: - Trims (lock held)

void ZVDiskCache::trimToCostLocked(uint64_t cost) {
    if (!kv_ || cost >= uint64_t(INT64_MAX)) return;
    kv_->removeItemsToFitSize(int64_t(cost));
}

void ZVDiskCache::trimToCountLocked(uint64_t count) {
    if (!kv_ || count >= uint64_t(INT64_MAX)) return;
    kv_->removeItemsToFitCount(int64_t(count));
}

void ZVDiskCache::trimToAgeLocked(double seconds) {
    if (!kv_) return;
    if (!(seconds > 0)) {
        kv_->removeAllItems();
        return;
    }
    double now = double(zvcache::unixTime());
    if (!(now > seconds)) return;
    int64_t cutoff = int64_t(now - seconds);
    // The storage reads the 32-bit maximum as "everything".
    if (cutoff == ZVKVStorage::kNoLimit) return;
    kv_->removeItemsEarlierThanTime(cutoff);
}

void ZVDiskCache::trimToFreeDiskSpaceLocked(uint64_t target) {
    if (!kv_ || target == 0) return;
    int64_t total = kv_->getItemsSize();
    if (total <= 0) return;
    auto free = freeSpace(path_);
    if (!free || *free >= target) return;
    uint64_t need = target - *free;
    uint64_t keep = uint64_t(total) > need ? uint64_t(total) - need : 0;
    trimToCostLocked(keep);
}

void ZVDiskCache::trimInBackground() {
    std::weak_ptr<ZVDiskCache> weak = weak_from_this();
    queue_->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        std::lock_guard lock(self->lock_);
        self->flushBatchLocked();
        self->trimToCostLocked(self->costLimit());
        self->trimToCountLocked(self->countLimit());
        self->trimToAgeLocked(self->ageLimit());
        self->trimToFreeDiskSpaceLocked(self->freeDiskSpaceLimit());
    });
}

// A read's access time waits in the storage's memory; it reaches the disk
// with the next write or trim, or here, a little later, so that a burst of
// reads costs one transaction.
void ZVDiskCache::scheduleAccessFlushLocked() {
    if (accessFlushScheduled_ || !kv_ || kv_->pendingAccessCount() == 0) return;
    accessFlushScheduled_ = true;
    std::weak_ptr<ZVDiskCache> weak = weak_from_this();
    zvcache::lowPriorityQueue()->asyncAfter(kAccessFlushDelay, [weak] {
        auto self = weak.lock();
        if (!self) return;
        std::lock_guard lock(self->lock_);
        self->accessFlushScheduled_ = false;
        if (self->kv_) self->kv_->flushAccessTimes();
    });
}

void ZVDiskCache::appWillBeTerminated() {
    std::unique_ptr<ZVKVStorage> kv;
    std::lock_guard lock(lock_);
    terminated_ = true;
    flushBatchLocked();
    kv = std::move(kv_);
    // Closing the database happens here, under the lock, so no call is
    // half-way through it.
    kv.reset();
}

// MARK: - Asynchronous forms

template <class F>
void ZVDiskCache::runAsync(F&& f) {
    std::weak_ptr<ZVDiskCache> weak = weak_from_this();
    queue_->async([weak, f = std::forward<F>(f)]() mutable { f(weak.lock()); });
}

void ZVDiskCache::containsObjectForKey(const std::string& key, std::function<void(const std::string&, bool)> block) {
    if (!block) return;
    runAsync([key, block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        bool contains = self && self->containsObjectForKey(key);
        block(key, contains);
    });
}

void ZVDiskCache::objectForKey(const std::string& key, std::function<void(const std::string&, CacheObject)> block) {
    if (!block) return;
    runAsync([key, block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        CacheObject object = self ? self->objectForKey(key) : nullptr;
        block(key, std::move(object));
    });
}

void ZVDiskCache::setObject(const CacheObject& object, const std::string& key, std::function<void()> block) {
    runAsync([object, key, block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        if (self) self->setObject(object, key);
        if (block) block();
    });
}

void ZVDiskCache::removeObjectForKey(const std::string& key, std::function<void(const std::string&)> block) {
    runAsync([key, block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        if (self) self->removeObjectForKey(key);
        if (block) block(key);
    });
}

void ZVDiskCache::removeAllObjectsWithBlock(std::function<void()> block) {
    runAsync([block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        if (self) self->removeAllObjects();
        if (block) block();
    });
}

void ZVDiskCache::removeAllObjectsWithProgressBlock(std::function<void(int64_t, int64_t)> progress,
                                                    std::function<void(bool)> end) {
    runAsync([progress = std::move(progress), end = std::move(end)](const std::shared_ptr<ZVDiskCache>& self) {
        if (!self) {
            if (end) end(true);
            return;
        }
        std::lock_guard lock(self->lock_);
        if (!self->kv_) {
            if (end) end(true);
            return;
        }
        self->forgetEverythingKnownLocked();
        self->kv_->removeAllItemsWithProgressBlock(progress, end);
    });
}

void ZVDiskCache::totalCountWithBlock(std::function<void(int64_t)> block) {
    if (!block) return;
    runAsync([block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        block(self ? self->totalCount() : 0);
    });
}

void ZVDiskCache::totalCostWithBlock(std::function<void(int64_t)> block) {
    if (!block) return;
    runAsync([block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        block(self ? self->totalCost() : 0);
    });
}

void ZVDiskCache::trimToCount(uint64_t count, std::function<void()> block) {
    runAsync([count, block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        if (self) self->trimToCount(count);
        if (block) block();
    });
}

void ZVDiskCache::trimToCost(uint64_t cost, std::function<void()> block) {
    runAsync([cost, block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        if (self) self->trimToCost(cost);
        if (block) block();
    });
}

void ZVDiskCache::trimToAge(double seconds, std::function<void()> block) {
    runAsync([seconds, block = std::move(block)](const std::shared_ptr<ZVDiskCache>& self) {
        if (self) self->trimToAge(seconds);
        if (block) block();
    });
}

// MARK: - Extended data and the rest

std::optional<Data> ZVDiskCache::getExtendedDataFromObject(const CacheObject& object) {
    return object ? object.extendedData() : std::nullopt;
}

void ZVDiskCache::setExtendedData(std::optional<Data> data, const CacheObject& object) {
    if (object) object.setExtendedData(std::move(data));
}

std::string ZVDiskCache::description() const {
    std::string n = name();
    if (n.empty()) return strings::format("<ZVDiskCache: %p> (%s)", static_cast<const void*>(this), path_.c_str());
    return strings::format("<ZVDiskCache: %p> (%s:%s)", static_cast<const void*>(this), n.c_str(), path_.c_str());
}

void ZVDiskCache::setFreeSpaceFunctionForTesting(FreeSpaceFunction f) {
    std::lock_guard lock(freeSpaceMutex());
    freeSpaceFunction() = std::move(f);
}
