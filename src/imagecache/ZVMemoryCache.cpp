#include "imagecache/ZVMemoryCache.h"

#include <time.h>

#include <cfloat>
#include <chrono>
#include <thread>
#include <unordered_map>
#include <vector>

#include "imagecache/CacheSupport.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Strings.h"

namespace {

// Monotonic seconds for the entries' last use. The real clock is read
// coarsely: a few milliseconds of resolution are plenty for ages, and a
// precise read stalls the memory loads of the lookup around it. A test
// clock is read as it is.
double mediaTime() {
    Clock& clock = Clock::current();
    if (clock.isTestClock()) return std::chrono::duration<double>(clock.now().time_since_epoch()).count();
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

}  // namespace

struct ZVLinkedMapNode {
    ZVLinkedMapNode* prev = nullptr;
    ZVLinkedMapNode* next = nullptr;
    const std::string* key = nullptr;  // the dictionary's own copy
    CacheObject value;
    uint64_t cost = 0;
    double time = 0;
};

// The entries in a dictionary that owns them and a list through them from
// most to least recently used. Not thread-safe: the cache's lock guards it.
class ZVLinkedMap {
public:
    using Map = std::unordered_map<std::string, ZVLinkedMapNode>;
    using Node = ZVLinkedMapNode;

    Map dic;
    uint64_t totalCost = 0;
    uint64_t totalCount = 0;
    Node* head = nullptr;
    Node* tail = nullptr;
    bool releaseOnMainThread = false;
    bool releaseAsynchronously = true;

    Node* find(const std::string& key) {
        auto it = dic.find(key);
        return it == dic.end() ? nullptr : &it->second;
    }

    Node* insertNodeAtHead(const std::string& key, CacheObject value, uint64_t cost, double time) {
        return linkAtHead(dic.try_emplace(key).first, std::move(value), cost, time);
    }

    // Inserts a node taken out before (its old value already moved away)
    // under a new key.
    Node* insertNodeAtHead(Map::node_type&& handle, const std::string& key, CacheObject value, uint64_t cost,
                           double time) {
        handle.key() = key;
        handle.mapped() = Node();
        return linkAtHead(dic.insert(std::move(handle)).position, std::move(value), cost, time);
    }

    Node* linkAtHead(Map::iterator it, CacheObject value, uint64_t cost, double time) {
        Node* node = &it->second;
        node->key = &it->first;
        node->value = std::move(value);
        node->cost = cost;
        node->time = time;
        totalCost += cost;
        ++totalCount;
        if (head) {
            node->next = head;
            head->prev = node;
            head = node;
        } else {
            head = tail = node;
        }
        return node;
    }

    void bringNodeToHead(Node* node) {
        if (head == node) return;
        if (tail == node) {
            tail = node->prev;
            tail->next = nullptr;
        } else {
            node->next->prev = node->prev;
            node->prev->next = node->next;
        }
        node->next = head;
        node->prev = nullptr;
        head->prev = node;
        head = node;
    }

    Map::node_type removeNode(Node* node) {
        totalCost -= node->cost;
        --totalCount;
        if (node->next) node->next->prev = node->prev;
        if (node->prev) node->prev->next = node->next;
        if (head == node) head = node->next;
        if (tail == node) tail = node->prev;
        return dic.extract(*node->key);
    }

    Map::node_type removeTailNode() { return tail ? removeNode(tail) : Map::node_type(); }

    // Empties the map in O(1); the old entries are handed back for disposal.
    std::unique_ptr<Map> removeAll() {
        totalCost = 0;
        totalCount = 0;
        head = tail = nullptr;
        if (dic.empty()) return nullptr;
        auto old = std::make_unique<Map>(std::move(dic));
        dic = Map();
        return old;
    }
};

namespace {

// Evicted entries waiting to be destroyed on one queue. Batches share one
// posted task, so evicting on every set does not cost a dispatch each.
class Disposer {
public:
    // `gather`: wait a moment before draining (never on the main queue).
    Disposer(std::shared_ptr<DispatchQueue> queue, bool gather) : queue_(std::move(queue)), gather_(gather) {}

    template <class Garbage>
    static void post(const std::shared_ptr<Disposer>& self, Garbage&& garbage) {
        bool schedule;
        {
            std::lock_guard lock(self->mutex_);
            add(*self, std::forward<Garbage>(garbage));
            schedule = !self->scheduled_;
            self->scheduled_ = true;
        }
        if (!schedule) return;
        self->queue_->async([self] {
            // Lets a burst of evictions gather first, then keeps draining
            // while they keep coming: one posted task (and one thread
            // wake-up) per burst instead of one per eviction.
            if (self->gather_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            while (true) {
                Batch batch;
                {
                    std::lock_guard lock(self->mutex_);
                    if (self->pending_.empty()) {
                        self->scheduled_ = false;
                        return;
                    }
                    batch.swap(self->pending_);
                }
                // The entries die here, on the disposer's queue.
            }
        });
    }

private:
    struct Batch {
        std::vector<ZVLinkedMap::Map::node_type> nodes;
        std::vector<std::unique_ptr<ZVLinkedMap::Map>> maps;
        std::vector<CacheObject> values;
        bool empty() const { return nodes.empty() && maps.empty() && values.empty(); }
        void swap(Batch& other) {
            nodes.swap(other.nodes);
            maps.swap(other.maps);
            values.swap(other.values);
        }
    };
    static void add(Disposer& d, ZVLinkedMap::Map::node_type&& node) { d.pending_.nodes.push_back(std::move(node)); }
    static void add(Disposer& d, std::unique_ptr<ZVLinkedMap::Map>&& map) { d.pending_.maps.push_back(std::move(map)); }
    static void add(Disposer& d, std::vector<CacheObject>&& values) {
        for (auto& v : values) d.pending_.values.push_back(std::move(v));
    }
    static void add(Disposer& d, CacheObject&& value) { d.pending_.values.push_back(std::move(value)); }
    static void add(Disposer& d, std::vector<ZVLinkedMap::Map::node_type>&& nodes) {
        for (auto& n : nodes) d.pending_.nodes.push_back(std::move(n));
    }

    std::shared_ptr<DispatchQueue> queue_;
    const bool gather_;
    std::mutex mutex_;
    Batch pending_;
    bool scheduled_ = false;
};

const std::shared_ptr<Disposer>& mainDisposer() {
    static const auto* d = new std::shared_ptr<Disposer>(std::make_shared<Disposer>(DispatchQueue::main(), false));
    return *d;
}

const std::shared_ptr<Disposer>& backgroundDisposer() {
    static const auto* d = new std::shared_ptr<Disposer>(std::make_shared<Disposer>(zvcache::lowPriorityQueue(), true));
    return *d;
}

// Disposes of evicted garbage by the release rule. Called after the cache's
// lock is released, so no destructor ever runs under it. Garbage left in
// `garbage` is destroyed by the caller when this returns.
template <class Garbage>
void release(Garbage&& garbage, bool async, bool onMain) {
    if (async) {
        Disposer::post(onMain ? mainDisposer() : backgroundDisposer(), std::forward<Garbage>(garbage));
    } else if (onMain && !isMainThread()) {
        Disposer::post(mainDisposer(), std::forward<Garbage>(garbage));
    }
}

}  // namespace

std::shared_ptr<ZVMemoryCache> ZVMemoryCache::create() {
    std::shared_ptr<ZVMemoryCache> cache(new ZVMemoryCache());
    std::weak_ptr<ZVMemoryCache> weak = cache;
    auto& center = NSNotificationCenter::defaultCenter();
    center.addObserver(cache.get(), UIApplicationDidReceiveMemoryWarningNotification, nullptr,
                       [weak](const NSNotification&) {
                           if (auto self = weak.lock()) self->appDidReceiveMemoryWarning();
                       });
    center.addObserver(cache.get(), UIApplicationDidEnterBackgroundNotification, nullptr,
                       [weak](const NSNotification&) {
                           if (auto self = weak.lock()) self->appDidEnterBackground();
                       });
    zvcache::trimRecursively<ZVMemoryCache>(cache, &ZVMemoryCache::trimInBackground);
    return cache;
}

ZVMemoryCache::ZVMemoryCache()
    : lru_(std::make_unique<ZVLinkedMap>()),
      queue_(DispatchQueue::serial("com.odvanel.cache.memory")),
      countLimit_(UINT64_MAX),
      costLimit_(UINT64_MAX),
      ageLimit_(DBL_MAX) {}

ZVMemoryCache::~ZVMemoryCache() {
    NSNotificationCenter::defaultCenter().removeObserver(this);
    std::unique_ptr<ZVLinkedMap::Map> old;
    bool async, onMain;
    {
        std::lock_guard lock(lock_);
        old = lru_->removeAll();
        async = lru_->releaseAsynchronously;
        onMain = lru_->releaseOnMainThread;
    }
    if (old) release(std::move(old), async, onMain);
}

std::string ZVMemoryCache::name() const {
    std::lock_guard lock(propertyLock_);
    return name_;
}

void ZVMemoryCache::setName(std::string name) {
    std::lock_guard lock(propertyLock_);
    name_ = std::move(name);
}

ZVMemoryCache::Block ZVMemoryCache::didReceiveMemoryWarningBlock() const {
    std::lock_guard lock(propertyLock_);
    return didReceiveMemoryWarningBlock_;
}

void ZVMemoryCache::setDidReceiveMemoryWarningBlock(Block block) {
    std::lock_guard lock(propertyLock_);
    didReceiveMemoryWarningBlock_ = std::move(block);
}

ZVMemoryCache::Block ZVMemoryCache::didEnterBackgroundBlock() const {
    std::lock_guard lock(propertyLock_);
    return didEnterBackgroundBlock_;
}

void ZVMemoryCache::setDidEnterBackgroundBlock(Block block) {
    std::lock_guard lock(propertyLock_);
    didEnterBackgroundBlock_ = std::move(block);
}

uint64_t ZVMemoryCache::totalCount() const {
    std::lock_guard lock(lock_);
    return lru_->totalCount;
}

uint64_t ZVMemoryCache::totalCost() const {
    std::lock_guard lock(lock_);
    return lru_->totalCost;
}

bool ZVMemoryCache::releaseOnMainThread() const {
    std::lock_guard lock(lock_);
    return lru_->releaseOnMainThread;
}

void ZVMemoryCache::setReleaseOnMainThread(bool v) {
    std::lock_guard lock(lock_);
    lru_->releaseOnMainThread = v;
}

bool ZVMemoryCache::releaseAsynchronously() const {
    std::lock_guard lock(lock_);
    return lru_->releaseAsynchronously;
}

void ZVMemoryCache::setReleaseAsynchronously(bool v) {
    std::lock_guard lock(lock_);
    lru_->releaseAsynchronously = v;
}

bool ZVMemoryCache::containsObjectForKey(const std::string& key) const {
    std::lock_guard lock(lock_);
    return lru_->dic.count(key) != 0;
}

CacheObject ZVMemoryCache::objectForKey(const std::string& key) {
    double now = mediaTime();
    std::lock_guard lock(lock_);
    ZVLinkedMapNode* node = lru_->find(key);
    if (!node) return nullptr;
    node->time = now;
    lru_->bringNodeToHead(node);
    return node->value;
}

void ZVMemoryCache::setObject(CacheObject object, const std::string& key, uint64_t cost) {
    if (!object) {
        removeObjectForKey(key);
        return;
    }
    double now = mediaTime();
    ZVLinkedMap::Map::node_type evicted;  // freed after unlocking; its value is released by the rule
    CacheObject evictedValue, replaced;
    bool overCost = false, async = true, onMain = false;
    {
        std::lock_guard lock(lock_);
        ZVLinkedMap& lru = *lru_;
        const uint64_t countLimit = this->countLimit();
        if (ZVLinkedMapNode* node = lru.find(key)) {
            lru.totalCost = lru.totalCost - node->cost + cost;
            node->cost = cost;
            node->time = now;
            replaced = std::exchange(node->value, std::move(object));
            lru.bringNodeToHead(node);
            if (lru.totalCount > countLimit) evicted = lru.removeTailNode();
        } else if (lru.totalCount > 0 && lru.totalCount >= countLimit) {
            // Full: exactly one entry, the least recently used, makes room.
            // Its node is reused for the new key; only its value goes to the
            // release rule.
            auto handle = lru.removeTailNode();
            evictedValue = std::move(handle.mapped().value);
            lru.insertNodeAtHead(std::move(handle), key, std::move(object), cost, now);
        } else {
            lru.insertNodeAtHead(key, std::move(object), cost, now);
            if (lru.totalCount > countLimit) evicted = lru.removeTailNode();
        }
        if (evicted) evictedValue = std::move(evicted.mapped().value);
        overCost = lru.totalCost > costLimit();
        async = lru.releaseAsynchronously;
        onMain = lru.releaseOnMainThread;
    }
    if (evictedValue) release(std::move(evictedValue), async, onMain);
    // One pending trim covers every set until it runs.
    if (overCost && !costTrimPending_.exchange(true)) {
        std::weak_ptr<ZVMemoryCache> weak = weak_from_this();
        queue_->async([weak] {
            auto self = weak.lock();
            if (!self) return;
            self->costTrimPending_.store(false);
            self->trimToCost(self->costLimit());
        });
    }
    // A value released on the caller, and a replaced value, die here,
    // outside the lock (the platform's autoreleased old value).
}

void ZVMemoryCache::removeObjectForKey(const std::string& key) {
    ZVLinkedMap::Map::node_type removed;
    bool async, onMain;
    {
        std::lock_guard lock(lock_);
        ZVLinkedMapNode* node = lru_->find(key);
        if (!node) return;
        removed = lru_->removeNode(node);
        async = lru_->releaseAsynchronously;
        onMain = lru_->releaseOnMainThread;
    }
    release(std::move(removed.mapped().value), async, onMain);
}

void ZVMemoryCache::removeAllObjects() {
    std::unique_ptr<ZVLinkedMap::Map> old;
    bool async, onMain;
    {
        std::lock_guard lock(lock_);
        old = lru_->removeAll();
        async = lru_->releaseAsynchronously;
        onMain = lru_->releaseOnMainThread;
    }
    if (old) release(std::move(old), async, onMain);
}

void ZVMemoryCache::trimToCount(uint64_t count) {
    if (count == 0) {
        removeAllObjects();
        return;
    }
    trimTo(Limit::Count, count, 0);
}

void ZVMemoryCache::trimToCost(uint64_t cost) { trimTo(Limit::Cost, cost, 0); }

void ZVMemoryCache::trimToAge(double seconds) { trimTo(Limit::Age, 0, seconds); }

// One trim pass. Trims always release asynchronously: they run in the
// background and may remove many entries.
void ZVMemoryCache::trimTo(Limit kind, uint64_t intLimit, double limit) {
    const double now = kind == Limit::Age ? mediaTime() : 0;
    auto over = [&](ZVLinkedMap& lru) {
        switch (kind) {
        case Limit::Count: return lru.totalCount > intLimit;
        case Limit::Cost: return lru.totalCost > intLimit;
        case Limit::Age: return lru.tail != nullptr && now - lru.tail->time > limit;
        }
        return false;
    };
    bool onMain;
    {
        std::unique_lock lock(lock_);
        onMain = lru_->releaseOnMainThread;
        bool empty = kind == Limit::Age ? !(limit > 0) : intLimit == 0;
        if (empty) {
            auto old = lru_->removeAll();
            lock.unlock();
            if (old) release(std::move(old), true, onMain);
            return;
        }
        if (!over(*lru_)) return;
    }

    std::vector<ZVLinkedMap::Map::node_type> holder;
    while (true) {
        if (!lock_.try_lock()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        std::unique_lock lock(lock_, std::adopt_lock);
        if (!over(*lru_)) break;
        holder.push_back(lru_->removeTailNode());
    }
    if (!holder.empty()) release(std::move(holder), true, onMain);
}

void ZVMemoryCache::trimInBackground() {
    std::weak_ptr<ZVMemoryCache> weak = weak_from_this();
    queue_->async([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->trimTo(Limit::Cost, self->costLimit(), 0);
        self->trimTo(Limit::Count, self->countLimit(), 0);
        self->trimTo(Limit::Age, 0, self->ageLimit());
    });
}

void ZVMemoryCache::appDidReceiveMemoryWarning() {
    if (auto block = didReceiveMemoryWarningBlock()) block(*this);
    if (shouldRemoveAllObjectsOnMemoryWarning()) removeAllObjects();
}

void ZVMemoryCache::appDidEnterBackground() {
    if (auto block = didEnterBackgroundBlock()) block(*this);
    if (shouldRemoveAllObjectsWhenEnteringBackground()) removeAllObjects();
}

std::string ZVMemoryCache::description() const {
    std::string n = name();
    if (n.empty()) return strings::format("<ZVMemoryCache: %p>", static_cast<const void*>(this));
    return strings::format("<ZVMemoryCache: %p> (%s)", static_cast<const void*>(this), n.c_str());
}
