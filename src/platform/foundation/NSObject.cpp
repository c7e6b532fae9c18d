#include "platform/foundation/NSObject.h"

#include <map>
#include <mutex>

namespace {
struct Table {
    std::mutex mutex;
    std::map<std::string, ClassRegistry::Factory> factories;
};
Table& table() {
    static Table* t = new Table();
    return *t;
}
}  // namespace

void ClassRegistry::registerClass(const std::string& name, Factory factory) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    t.factories[name] = std::move(factory);
}

bool ClassRegistry::isRegistered(const std::string& name) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    return t.factories.count(name) != 0;
}

std::shared_ptr<NSObject> ClassRegistry::create(const std::string& name) {
    Factory f;
    {
        auto& t = table();
        std::lock_guard lock(t.mutex);
        auto it = t.factories.find(name);
        if (it == t.factories.end()) return nullptr;
        f = it->second;
    }
    return f ? f() : nullptr;
}

std::vector<std::string> ClassRegistry::registeredNames() {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    std::vector<std::string> out;
    for (auto& [k, _] : t.factories) out.push_back(k);
    return out;
}
