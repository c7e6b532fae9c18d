#pragma once
// Checksummed values shared by the crash-safety tests and their child
// process. A value is random bytes followed by an 8-byte FNV-1a hash of the
// key and those bytes; its extended data is the hash of the whole value, so
// a value that is torn, belongs to another key, or sits under another
// save's row shows up.

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "imagecache/ZVDiskCache.h"

namespace crashvalues {

constexpr int kKeys = 64;
constexpr uint64_t kInlineThreshold = 4096;

inline std::string keyName(uint64_t i) { return "key-" + std::to_string(i); }

inline uint64_t fnv(const std::string& key, const uint8_t* p, size_t n) {
    uint64_t h = 1469598103934665603ULL;
    for (char c : key) h = (h ^ uint8_t(c)) * 1099511628211ULL;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ULL;
    return h;
}

inline Data hashBytes(uint64_t h) {
    Data d(8);
    memcpy(d.data(), &h, 8);
    return d;
}

inline CacheObject makeValue(const std::string& key, size_t size, uint64_t seed) {
    std::mt19937_64 rng(seed);
    Data d(size + 8);
    for (size_t i = 0; i < size; ++i) d[i] = uint8_t(rng());
    uint64_t h = fnv(key, d.data(), size);
    memcpy(d.data() + size, &h, 8);
    CacheObject o = CacheObject::make(d);
    o.setExtendedData(hashBytes(fnv("", d.data(), d.size())));
    return o;
}

// A disk cache that stores byte buffers as they are.
inline std::shared_ptr<ZVDiskCache> openCache(const std::string& path) {
    auto cache = ZVDiskCache::initWithPath(path, kInlineThreshold);
    if (!cache) return nullptr;
    cache->setCustomArchiveBlock([](const CacheObject& o) { return o.as<const Data>(); });
    cache->setCustomUnarchiveBlock([](Data&& d) { return CacheObject::make(std::move(d)); });
    return cache;
}

struct Report {
    bool ok = true;
    std::string problem;
    int whole = 0;
    int missing = 0;
};

// Reads every key: each must be absent or a whole value of that key.
inline Report verifyAll(ZVDiskCache& cache) {
    Report r;
    for (int i = 0; i < kKeys; ++i) {
        std::string key = keyName(i);
        CacheObject o = cache.objectForKey(key);
        if (!o) {
            ++r.missing;
            continue;
        }
        const Data* d = o.get<Data>();
        uint64_t stored = 0;
        if (!d || d->size() < 8) {
            r.ok = false;
            r.problem = key + ": short value";
            return r;
        }
        memcpy(&stored, d->data() + d->size() - 8, 8);
        if (stored != fnv(key, d->data(), d->size() - 8)) {
            r.ok = false;
            r.problem = key + ": checksum mismatch in " + std::to_string(d->size()) + " bytes";
            return r;
        }
        auto ext = o.extendedData();
        if (!ext || *ext != hashBytes(fnv("", d->data(), d->size()))) {
            r.ok = false;
            r.problem = key + ": extended data of another save";
            return r;
        }
        ++r.whole;
    }
    return r;
}

}  // namespace crashvalues
