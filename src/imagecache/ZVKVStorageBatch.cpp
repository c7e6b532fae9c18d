// The storage's reads and writes of many items at once.

#include <sqlite3.h>

#include "imagecache/ZVKVStorage.h"
#include "imagecache/ZVKVStorageGuard.h"

bool ZVKVStorage::saveItems(const std::vector<ZVKVStorageSave>& items) {
    GUARD;
    flushAccessTimes();
    bool ok = true;
    std::vector<const ZVKVStorageSave*> inlined;
    for (const auto& item : items) {
        if (!item.value) {
            ok = false;
        } else if (item.filename.empty() && type_ != ZVKVStorageType::File && !item.key.empty() && !item.value->empty()) {
            inlined.push_back(&item);
        } else {
            // A value file has its own order of steps (saveItemWithKey).
            ok = saveItemWithKey(item.key, *item.value, item.filename, item.extendedData) && ok;
        }
    }
    if (inlined.empty() || dbSaveInlineInOneTransaction(inlined)) return ok;
    for (const auto* item : inlined) ok = saveItemWithKey(item->key, *item->value, std::string(), item->extendedData) && ok;
    return ok;
}

// A file a row no longer refers to once the transaction commits is deleted
// before it does: should the transaction fail, the old row points at a
// missing file, which reads as no item.
bool ZVKVStorage::dbSaveInlineInOneTransaction(const std::vector<const ZVKVStorageSave*>& items) {
    if (!dbExecute("begin immediate;")) return false;
    for (const auto* item : items) {
        if (type_ != ZVKVStorageType::SQLite) {
            if (auto old = dbGetFilenameWithKey(item->key)) fileDeleteWithName(*old);
        }
        if (!dbSaveWithKey(item->key, *item->value, std::string(), item->extendedData)) {
            dbExecute("rollback;");
            return false;
        }
    }
    if (dbExecute("commit;")) return true;
    dbExecute("rollback;");
    return false;
}

std::optional<std::vector<std::string>> ZVKVStorage::getItemKeys() {
    GUARD;
    std::vector<std::string> keys;
    bool ok = dbRead("select key from manifest;", "-[ZVKVStorage getItemKeys]", __LINE__, [](sqlite3_stmt*) {},
                     [&](sqlite3_stmt* stmt) {
                         auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
                         if (text) keys.emplace_back(text, size_t(sqlite3_column_bytes(stmt, 0)));
                     });
    if (!ok) return std::nullopt;
    return keys;
}
