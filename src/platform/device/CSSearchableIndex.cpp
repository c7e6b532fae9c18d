#include "platform/device/CSSearchableIndex.h"

#include <mutex>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Value.h"

namespace {

std::mutex gMutex;

std::filesystem::path storeFile() { return AppHome::library() / "SearchableIndex.json"; }

std::vector<CSSearchableItem> load() {
    std::vector<CSSearchableItem> out;
    auto text = files::readText(storeFile());
    if (!text) return out;
    auto v = Value::fromJSON(*text);
    if (!v || !v->isArray()) return out;
    for (auto& e : *v->getArray()) {
        CSSearchableItem item;
        item.uniqueIdentifier = e.str("id");
        item.domainIdentifier = e.str("domain");
        item.title = e.str("title");
        item.contentDescription = e.str("description");
        if (auto* kw = e["keywords"].getArray())
            for (auto& k : *kw)
                if (k.isString()) item.keywords.push_back(*k.getString());
        out.push_back(std::move(item));
    }
    return out;
}

void save(const std::vector<CSSearchableItem>& items) {
    Value all = Value::array();
    for (auto& item : items) {
        Value keywords = Value::array();
        for (auto& k : item.keywords) keywords.push(k);
        all.push(Value::dict({{"id", item.uniqueIdentifier},
                              {"domain", item.domainIdentifier},
                              {"title", item.title},
                              {"description", item.contentDescription},
                              {"keywords", keywords}}));
    }
    Error e;
    if (!files::writeAtomically(storeFile(), all.toJSON(true), &e))
        NSLog("Search index not saved: %s", e.localizedDescription().c_str());
}

}  // namespace

CSSearchableIndex& CSSearchableIndex::defaultSearchableIndex() {
    static auto* index = new CSSearchableIndex();
    return *index;
}

void CSSearchableIndex::indexSearchableItems(const std::vector<CSSearchableItem>& items) {
    std::lock_guard lock(gMutex);
    auto all = load();
    for (auto& item : items) {
        bool replaced = false;
        for (auto& existing : all)
            if (existing.uniqueIdentifier == item.uniqueIdentifier) {
                existing = item;
                replaced = true;
                break;
            }
        if (!replaced) all.push_back(item);
    }
    save(all);
}

void CSSearchableIndex::deleteAllSearchableItems() {
    std::lock_guard lock(gMutex);
    std::error_code ec;
    std::filesystem::remove(storeFile(), ec);
}

std::vector<CSSearchableItem> CSSearchableIndex::allItems() const {
    std::lock_guard lock(gMutex);
    return load();
}
