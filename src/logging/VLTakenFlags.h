#pragma once
// The flags that some logger takes, for logging calls to read without a
// lock: a record whose flag no logger takes reaches nobody, so its caller
// need not build it. A logger's level counts from the moment addLogger is
// called (a record the same thread queues next is built) until its removal
// has run on the logging queue (a record queued before it is built).

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace vl_detail {

class TakenFlags {
public:
    // Any thread.
    bool anyTakes(uint64_t flag) const { return (flag & taken_.load(std::memory_order_relaxed)) != 0; }

    // addLogger's caller, before it queues the registration.
    void adding(uint64_t level) {
        std::lock_guard lock(mutex_);
        adding_.push_back(level);
        publish();
    }

    // The logging queue, after the registry changed: the levels it now
    // holds, and the level of the addLogger call that has just run.
    void registryChanged(uint64_t registeredLevels, std::optional<uint64_t> added = std::nullopt) {
        std::lock_guard lock(mutex_);
        if (added) {
            auto it = std::find(adding_.begin(), adding_.end(), *added);
            if (it != adding_.end()) adding_.erase(it);
        }
        registered_ = registeredLevels;
        publish();
    }

private:
    void publish() {
        uint64_t taken = registered_;
        for (uint64_t level : adding_) taken |= level;
        taken_.store(taken, std::memory_order_relaxed);
    }

    alignas(64) std::atomic<uint64_t> taken_{0};  // read by every logging call, written rarely
    std::mutex mutex_;                             // guards the two below; orders the writes of taken_
    std::vector<uint64_t> adding_;                 // levels of addLogger calls not yet run
    uint64_t registered_ = 0;
};

}  // namespace vl_detail
