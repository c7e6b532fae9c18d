#pragma once
// Cells and supplementary views kept for reuse by identifier, with the
// factories registered for each identifier (the platform's registerClass
// and registerNib). Shared by table and collection views.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIView.h"

class ReusePool {
public:
    using Factory = std::function<std::shared_ptr<UIView>()>;
    void registerFactory(const std::string& identifier, Factory f) { factories_[identifier] = std::move(f); }
    // For views with a reuse identifier (cells, supplementary views): what
    // the factory makes without one takes `identifier`.
    template <class V>
    void registerClass(const std::string& identifier, std::function<std::shared_ptr<V>()> factory) {
        registerFactory(identifier, [identifier, factory = std::move(factory)]() -> std::shared_ptr<UIView> {
            auto v = factory();
            if (v && v->reuseIdentifier().empty()) v->setReuseIdentifier(identifier);
            return v;
        });
    }
    void enqueue(const std::string& identifier, std::shared_ptr<UIView> v) {
        if (!identifier.empty()) queues_[identifier].push_back(std::move(v));
    }
    // A queued view, else a new one from the factory (with `create`), else nullptr.
    std::shared_ptr<UIView> dequeue(const std::string& identifier, bool create, bool* reused = nullptr) {
        auto& q = queues_[identifier];
        if (reused) *reused = !q.empty();
        if (!q.empty()) {
            auto v = q.back();
            q.pop_back();
            return v;
        }
        if (!create) return nullptr;
        auto it = factories_.find(identifier);
        if (it == factories_.end()) return nullptr;
        ++created_;
        return it->second();
    }
    // The same for views registered with registerClass: a queued one hears prepareForReuse.
    template <class V>
    std::shared_ptr<V> dequeueReusable(const std::string& identifier, bool create) {
        bool reused = false;
        auto v = std::static_pointer_cast<V>(dequeue(identifier, create, &reused));
        if (v && reused) v->prepareForReuse();
        return v;
    }
    size_t created() const { return created_; }

private:
    std::map<std::string, Factory> factories_;
    std::map<std::string, std::vector<std::shared_ptr<UIView>>> queues_;
    size_t created_ = 0;
};
