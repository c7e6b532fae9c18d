#pragma once
// What the memory and disk caches share: the queue of their background work,
// the recurring automatic trim, and the conversions of their times.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"

namespace zvcache {

// Automatic trims and the release of evicted values run here.
inline const std::shared_ptr<DispatchQueue>& lowPriorityQueue() {
    static const auto q = DispatchQueue::global(DispatchQueue::QoS::Utility);
    return q;
}

// A delay in seconds for a queue: none when not positive (or not a number),
// at most 1e9 seconds.
inline std::chrono::nanoseconds secondsToDelay(double seconds) {
    if (!(seconds > 0)) return std::chrono::nanoseconds(0);
    if (seconds > 1e9) seconds = 1e9;
    return std::chrono::nanoseconds(int64_t(seconds * 1e9));
}

// Wall time in whole Unix seconds (the disk items' times).
inline int64_t unixTime() { return int64_t(std::floor(Clock::timeIntervalSince1970())); }

// Runs `trim` on the cache after its autoTrimInterval() (read anew each
// time) on the low-priority queue, again and again, for as long as the
// cache lives.
template <class Cache>
void trimRecursively(const std::weak_ptr<Cache>& weak, void (Cache::*trim)()) {
    auto cache = weak.lock();
    if (!cache) return;
    lowPriorityQueue()->asyncAfter(secondsToDelay(cache->autoTrimInterval()), [weak, trim] {
        auto self = weak.lock();
        if (!self) return;
        ((*self).*trim)();
        trimRecursively(weak, trim);
    });
}

}  // namespace zvcache
