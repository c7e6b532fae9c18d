#pragma once
// Associated objects: any object may carry extra shared objects under keys
// that other code owns (the address of a static), so that a category can
// keep per-instance state on a class it does not define, and the class
// names nothing of it. NSObject carries them, and so does CALayer, which
// is no NSObject here.
//
// - Values are retained: they live as long as the holder, or until
//   replaced or cleared; they are released after the holder's own members
//   (its destructor body has run), outside any lock.
// - Reads and writes may come from any thread; one process-wide lock
//   guards every holder's table, held only for the lookup itself.

#include <map>
#include <memory>

class AssociatedObjects {
public:
    AssociatedObjects() = default;
    ~AssociatedObjects();
    // A copy starts without associated objects; assignment keeps the target's.
    AssociatedObjects(const AssociatedObjects&) {}
    AssociatedObjects& operator=(const AssociatedObjects&) { return *this; }

    // The value under `key`; nullptr when none.
    std::shared_ptr<void> associatedObject(const void* key) const;
    // Stores `value` under `key` (nullptr clears it). The previous value is
    // released after the lock is let go.
    void setAssociatedObject(const void* key, std::shared_ptr<void> value);
    // The value under `key`, made by `make` and stored when missing; two
    // threads asking at once get the same value.
    template <class T, class Make>
    std::shared_ptr<T> associatedObject(const void* key, Make make) {
        return std::static_pointer_cast<T>(associatedOrInsert(key, [&] { return std::shared_ptr<void>(make()); }));
    }

private:
    template <class F>
    std::shared_ptr<void> associatedOrInsert(const void* key, F make);
    std::shared_ptr<void> associatedOrInsertImpl(const void* key, std::shared_ptr<void> candidate);

    std::unique_ptr<std::map<const void*, std::shared_ptr<void>>> table_;  // under the process-wide lock
};

template <class F>
std::shared_ptr<void> AssociatedObjects::associatedOrInsert(const void* key, F make) {
    if (auto found = associatedObject(key)) return found;
    // Made outside the lock; a value another thread stored meanwhile wins.
    return associatedOrInsertImpl(key, make());
}
