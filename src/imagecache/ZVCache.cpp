#include "imagecache/ZVCache.h"

#include <filesystem>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace {
const std::shared_ptr<DispatchQueue>& defaultQueue() {
    static const auto q = DispatchQueue::global(DispatchQueue::QoS::Default);
    return q;
}
}  // namespace

std::shared_ptr<ZVCache> ZVCache::create() {
    NSLog("Use \"initWithName\" or \"initWithPath\" to create ZVCache instance.");
    return initWithPath("");
}

std::shared_ptr<ZVCache> ZVCache::initWithName(const std::string& name) {
    if (name.empty()) return nullptr;
    return initWithPath((AppHome::caches() / name).string());
}

std::shared_ptr<ZVCache> ZVCache::initWithPath(const std::string& path) {
    if (path.empty()) return nullptr;
    auto disk = ZVDiskCache::initWithPath(path);
    if (!disk) return nullptr;
    std::filesystem::path p(path);
    std::string name = (p.has_filename() ? p : p.parent_path()).filename().string();
    auto memory = ZVMemoryCache::create();
    memory->setName(name);
    return std::shared_ptr<ZVCache>(new ZVCache(std::move(name), std::move(memory), std::move(disk)));
}

ZVCache::ZVCache(std::string name, std::shared_ptr<ZVMemoryCache> memory, std::shared_ptr<ZVDiskCache> disk)
    : name_(std::move(name)), memoryCache_(std::move(memory)), diskCache_(std::move(disk)) {}

bool ZVCache::containsObjectForKey(const std::string& key) {
    return memoryCache_->containsObjectForKey(key) || diskCache_->containsObjectForKey(key);
}

void ZVCache::containsObjectForKey(const std::string& key, std::function<void(const std::string&, bool)> block) {
    if (!block) return;
    if (memoryCache_->containsObjectForKey(key)) {
        defaultQueue()->async([key, block = std::move(block)] { block(key, true); });
    } else {
        diskCache_->containsObjectForKey(key, std::move(block));
    }
}

CacheObject ZVCache::objectForKey(const std::string& key) {
    CacheObject object = memoryCache_->objectForKey(key);
    if (!object) {
        object = diskCache_->objectForKey(key);
        if (object) memoryCache_->setObject(object, key);
    }
    return object;
}

void ZVCache::objectForKey(const std::string& key, std::function<void(const std::string&, CacheObject)> block) {
    if (!block) return;
    if (CacheObject object = memoryCache_->objectForKey(key)) {
        defaultQueue()->async([key, object, block = std::move(block)] { block(key, object); });
        return;
    }
    std::weak_ptr<ZVMemoryCache> memory = memoryCache_;
    diskCache_->objectForKey(key, [memory, block = std::move(block)](const std::string& k, CacheObject object) {
        auto m = memory.lock();
        if (object && m && !m->containsObjectForKey(k)) m->setObject(object, k);
        block(k, std::move(object));
    });
}

void ZVCache::setObject(const CacheObject& object, const std::string& key) {
    memoryCache_->setObject(object, key);
    diskCache_->setObject(object, key);
}

void ZVCache::setObject(const CacheObject& object, const std::string& key, std::function<void()> block) {
    memoryCache_->setObject(object, key);
    diskCache_->setObject(object, key, std::move(block));
}

void ZVCache::removeObjectForKey(const std::string& key) {
    memoryCache_->removeObjectForKey(key);
    diskCache_->removeObjectForKey(key);
}

void ZVCache::removeObjectForKey(const std::string& key, std::function<void(const std::string&)> block) {
    memoryCache_->removeObjectForKey(key);
    diskCache_->removeObjectForKey(key, std::move(block));
}

void ZVCache::removeAllObjects() {
    memoryCache_->removeAllObjects();
    diskCache_->removeAllObjects();
}

void ZVCache::removeAllObjectsWithBlock(std::function<void()> block) {
    memoryCache_->removeAllObjects();
    diskCache_->removeAllObjectsWithBlock(std::move(block));
}

void ZVCache::removeAllObjectsWithProgressBlock(std::function<void(int64_t, int64_t)> progress,
                                                std::function<void(bool)> end) {
    memoryCache_->removeAllObjects();
    diskCache_->removeAllObjectsWithProgressBlock(std::move(progress), std::move(end));
}

std::string ZVCache::description() const {
    if (name_.empty()) return strings::format("<ZVCache: %p>", static_cast<const void*>(this));
    return strings::format("<ZVCache: %p> (%s)", static_cast<const void*>(this), name_.c_str());
}
