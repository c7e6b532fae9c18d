// The disk cache's batched stores and its index of the keys it may hold.

#include <algorithm>

#include "imagecache/ZVDiskCache.h"
#include "imagecache/ZVKVStorage.h"
#include "platform/dispatch/DispatchQueue.h"

namespace {

size_t keyHash(const std::string& key) { return std::hash<std::string>()(key); }

}  // namespace

// MARK: - Batched stores

void ZVDiskCache::setObjectInBatch(const CacheObject& object, const std::string& key) {
    if (!object) {
        removeObjectForKey(key);
        return;
    }
    if (key.empty() || terminated_) return;
    std::optional<Data> extended = getExtendedDataFromObject(object);
    std::shared_ptr<const Data> bytes = archive(object);
    if (!bytes || bytes->empty()) return;
    std::string filename;
    if (!sqliteOnly_ && bytes->size() > inlineThreshold_) filename = filenameForKey(key);
    bool full, startTimer;
    {
        std::lock_guard lock(batchLock_);
        auto isFull = [&] { return batch_.size() >= kBatchMaxItems || batchBytes_ >= kBatchMaxBytes; };
        bool wasFull = isFull();
        auto now = Clock::current().now();
        if (batch_.empty()) batchOpened_ = now;
        lastBatched_ = now;
        auto& slot = batch_[key];
        batchBytes_ = batchBytes_ - (slot.bytes ? slot.bytes->size() : 0) + bytes->size();
        slot = Batched{std::move(bytes), extended ? std::move(*extended) : Data(), std::move(filename)};
        full = !wasFull && isFull();  // one early write per filling
        startTimer = !batchTimerScheduled_;
        batchTimerScheduled_ = true;
    }
    // After the item is in the batch: a removal meanwhile takes both away.
    indexAdd(key);
    if (full) {
        std::weak_ptr<ZVDiskCache> weak = weak_from_this();
        queue_->async([weak] {
            if (auto self = weak.lock()) self->flushBatch();
        });
    }
    if (startTimer) scheduleBatchFlush(kBatchQuiet);
}

void ZVDiskCache::scheduleBatchFlush(std::chrono::nanoseconds delay) {
    std::weak_ptr<ZVDiskCache> weak = weak_from_this();
    queue_->asyncAfter(delay, [weak] {
        if (auto self = weak.lock()) self->batchTimerFired();
    });
}

// Writes the batch once stores have paused (or it has waited its longest);
// otherwise looks again when that will be.
void ZVDiskCache::batchTimerFired() {
    {
        std::lock_guard lock(batchLock_);
        if (batch_.empty()) {
            batchTimerScheduled_ = false;
            return;
        }
        auto now = Clock::current().now();
        auto due = std::min(lastBatched_ + kBatchQuiet, batchOpened_ + kBatchLongest);
        if (now < due) {
            scheduleBatchFlush(due - now);
            return;
        }
        batchTimerScheduled_ = false;
    }
    flushBatch();
}

void ZVDiskCache::flushBatch() {
    std::lock_guard lock(lock_);
    flushBatchLocked();
}

void ZVDiskCache::flushBatchLocked() {
    std::unordered_map<std::string, Batched> batch;
    {
        std::lock_guard lock(batchLock_);
        batch.swap(batch_);
        batchBytes_ = 0;
    }
    if (batch.empty() || !kv_) return;
    std::vector<ZVKVStorageSave> saves;
    saves.reserve(batch.size());
    for (auto& [key, item] : batch)
        saves.push_back({key, std::move(item.bytes), std::move(item.filename), std::move(item.extendedData)});
    kv_->saveItems(saves);
}

std::optional<ZVDiskCache::Batched> ZVDiskCache::batchedItem(const std::string& key) const {
    std::lock_guard lock(batchLock_);
    auto it = batch_.find(key);
    if (it == batch_.end()) return std::nullopt;
    return it->second;
}

void ZVDiskCache::forgetBatchedLocked(const std::string& key) {
    std::lock_guard lock(batchLock_);
    auto it = batch_.find(key);
    if (it == batch_.end()) return;
    batchBytes_ -= it->second.bytes ? it->second.bytes->size() : 0;
    batch_.erase(it);
}

// Before the storage empties (lock_ held): the batch is dropped and the
// index emptied, so that a batched store made meanwhile stays known.
void ZVDiskCache::forgetEverythingKnownLocked() {
    {
        std::lock_guard lock(batchLock_);
        batch_.clear();
        batchBytes_ = 0;
    }
    indexClear();
}

// MARK: - The index of keys

bool ZVDiskCache::mayContainObjectForKey(const std::string& key) const {
    if (key.empty()) return false;
    std::lock_guard lock(indexLock_);
    return !indexComplete_ || keyHashes_.count(keyHash(key)) != 0;
}

// Reads every key once, at creation; a storage that cannot list them
// leaves the index answering "may hold" for every key.
void ZVDiskCache::loadIndex() {
    std::optional<std::vector<std::string>> keys;
    {
        std::lock_guard lock(lock_);
        if (kv_) keys = kv_->getItemKeys();
    }
    std::unordered_set<size_t> hashes;
    if (keys) {
        hashes.reserve(keys->size());
        for (const auto& key : *keys) hashes.insert(keyHash(key));
    }
    std::lock_guard lock(indexLock_);
    keyHashes_.swap(hashes);
    indexComplete_ = keys.has_value();
}

void ZVDiskCache::indexAdd(const std::string& key) {
    std::lock_guard lock(indexLock_);
    keyHashes_.insert(keyHash(key));
}

void ZVDiskCache::indexRemove(const std::string& key) {
    std::lock_guard lock(indexLock_);
    keyHashes_.erase(keyHash(key));
}

void ZVDiskCache::indexClear() {
    std::lock_guard lock(indexLock_);
    keyHashes_.clear();
}
