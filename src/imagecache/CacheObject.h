#pragma once
// The object the caches hold: any shared object (the platform's `id`),
// nullable, compared by identity and typed again on the way out. Copies of
// one CacheObject share one box, so extended data attached through one copy
// is seen through every other (the platform attaches it to the object).

#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "platform/foundation/Value.h"

class CacheObject {
public:
    CacheObject() = default;
    CacheObject(std::nullptr_t) {}

    // Wraps a shared object; the cache then shares ownership with the caller.
    template <class T>
    CacheObject(std::shared_ptr<T> object) {
        using Plain = std::remove_cv_t<T>;
        if (object) box_ = std::make_shared<Box>(std::shared_ptr<void>(std::const_pointer_cast<Plain>(std::move(object))), &typeid(Plain));
    }

    // Boxes a value (a Value, Data, a string, ...).
    template <class T>
    static CacheObject make(T value) {
        return CacheObject(std::make_shared<T>(std::move(value)));
    }

    explicit operator bool() const { return box_ != nullptr; }
    bool isNull() const { return box_ == nullptr; }

    // The object when it was stored as a T, else null.
    template <class T>
    const T* get() const {
        if (!box_ || *box_->type != typeid(T)) return nullptr;
        return static_cast<const T*>(box_->object.get());
    }
    template <class T>
    std::shared_ptr<T> as() const {
        if (!get<std::remove_cv_t<T>>()) return nullptr;
        return std::static_pointer_cast<T>(box_->object);
    }
    template <class T>
    bool is() const {
        return get<T>() != nullptr;
    }

    // Same object (not equal contents).
    bool operator==(const CacheObject& other) const {
        return box_ == other.box_ || (box_ && other.box_ && box_->object == other.box_->object);
    }

    // Extra bytes that travel with the object; std::nullopt when none.
    std::optional<Data> extendedData() const {
        if (!box_) return std::nullopt;
        std::lock_guard lock(box_->mutex);
        return box_->extended;
    }
    void setExtendedData(std::optional<Data> data) const {
        if (!box_) return;
        std::lock_guard lock(box_->mutex);
        box_->extended = std::move(data);
    }

private:
    struct Box {
        Box(std::shared_ptr<void> o, const std::type_info* t) : object(std::move(o)), type(t) {}
        std::shared_ptr<void> object;
        const std::type_info* type;
        std::mutex mutex;
        std::optional<Data> extended;
    };
    std::shared_ptr<Box> box_;
};
