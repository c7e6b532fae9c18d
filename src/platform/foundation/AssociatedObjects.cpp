#include "platform/foundation/AssociatedObjects.h"

#include <mutex>

namespace {
std::mutex& tableLock() {
    static auto* m = new std::mutex();
    return *m;
}
}  // namespace

AssociatedObjects::~AssociatedObjects() {
    std::unique_ptr<std::map<const void*, std::shared_ptr<void>>> table;
    {
        std::lock_guard lock(tableLock());
        table = std::move(table_);
    }
    // Values go here, unlocked: their destructors may use associated objects too.
}

std::shared_ptr<void> AssociatedObjects::associatedObject(const void* key) const {
    std::lock_guard lock(tableLock());
    if (!table_) return nullptr;
    auto it = table_->find(key);
    return it == table_->end() ? nullptr : it->second;
}

void AssociatedObjects::setAssociatedObject(const void* key, std::shared_ptr<void> value) {
    std::shared_ptr<void> previous;
    std::lock_guard lock(tableLock());
    if (!table_) {
        if (!value) return;
        table_ = std::make_unique<std::map<const void*, std::shared_ptr<void>>>();
    }
    auto& slot = (*table_)[key];
    previous = std::move(slot);
    slot = std::move(value);
    if (!slot) table_->erase(key);
    // `previous` is released after the lock (declared before it).
}

std::shared_ptr<void> AssociatedObjects::associatedOrInsertImpl(const void* key, std::shared_ptr<void> candidate) {
    std::lock_guard lock(tableLock());
    if (!table_) table_ = std::make_unique<std::map<const void*, std::shared_ptr<void>>>();
    auto& slot = (*table_)[key];
    if (!slot) slot = std::move(candidate);
    return slot;
    // A losing candidate is released after the lock (declared before it).
}
