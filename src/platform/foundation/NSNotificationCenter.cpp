#include "platform/foundation/NSNotificationCenter.h"

#include <algorithm>

#include "platform/dispatch/DispatchQueue.h"

NSNotificationCenter& NSNotificationCenter::defaultCenter() {
    static NSNotificationCenter* c = new NSNotificationCenter();
    return *c;
}

NSNotificationCenter::Token NSNotificationCenter::addObserver(const void* owner, const std::string& name,
                                                              const void* object, Block block,
                                                              std::shared_ptr<DispatchQueue> queue) {
    std::lock_guard lock(mutex_);
    Token t = next_++;
    entries_.push_back(Entry{t, owner, name, object, std::make_shared<Block>(std::move(block)), std::move(queue),
                             std::make_shared<bool>(true)});
    return t;
}

void NSNotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) {
        if (e.token != token) return false;
        *e.alive = false;
        return true;
    });
}

void NSNotificationCenter::removeObserver(const void* owner) {
    if (!owner) return;
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) {
        if (e.owner != owner) return false;
        *e.alive = false;
        return true;
    });
}

void NSNotificationCenter::removeObserver(const void* owner, const std::string& name) {
    if (!owner) return;
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) {
        if (e.owner != owner || e.name != name) return false;
        *e.alive = false;
        return true;
    });
}

void NSNotificationCenter::postNotification(const NSNotification& n) {
    std::vector<Entry> matching;
    {
        std::lock_guard lock(mutex_);
        for (auto& e : entries_)
            if ((e.name.empty() || e.name == n.name) && (!e.object || e.object == n.object)) matching.push_back(e);
    }
    for (auto& e : matching) {
        {
            // Re-check under the lock: an earlier observer may have removed this one.
            std::lock_guard lock(mutex_);
            if (!*e.alive) continue;
        }
        if (e.queue) {
            auto block = e.block;
            auto alive = e.alive;
            NSNotification copy = n;
            e.queue->async([block, alive, copy] {
                if (*alive) (*block)(copy);
            });
        } else {
            (*e.block)(n);
        }
    }
}

void NSNotificationCenter::postNotificationName(const std::string& name, const void* object, Value userInfo) {
    postNotification(NSNotification{name, object, std::move(userInfo)});
}

size_t NSNotificationCenter::observerCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}
