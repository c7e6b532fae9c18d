#pragma once
// Key-value items in one folder: an SQLite database ("manifest.sqlite", WAL
// journal) holds one row per item and small values inline; larger values
// live as files in "data" under a name the caller chooses. Discarded files go
// to "trash" and are deleted on a background queue.
//
// Not thread-safe: the owner serialises every call (the disk cache does).
// One storage per folder: two storages on one folder would race.
//
// Crash safety: value files are written under a temporary name and renamed
// into place, and a file whose length is not the row's size counts as
// missing, so a reader sees a whole value or none. Temporary files and value
// files no row refers to are swept when a storage is created.
//
// Access times: a read records its time in memory, not in the database, so
// that a hit writes nothing. The recorded times are written in one
// transaction before the next write or trim, when the storage closes, at
// flushAccessTimes(), and by a read when the oldest of them is
// kAccessFlushInterval old. Every item the storage returns carries its
// latest access time, and trimming by last access sees the recorded ones. A
// killed process loses at most the access times recorded since the last
// flush, never a value.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/foundation/Value.h"

struct sqlite3;
struct sqlite3_stmt;
class DispatchQueue;

enum class ZVKVStorageType : uint64_t {
    File = 0,    // every value in a file; saving without a file name fails
    SQLite = 1,  // values inline
    Mixed = 2,   // a file when a file name is given, else inline
};

// One item. An empty value, file name or extended data stands for "none".
struct ZVKVStorageItem {
    std::string key;
    Data value;
    std::string filename;
    int64_t size = 0;        // value length in bytes
    int64_t modTime = 0;     // Unix seconds of the last save
    int64_t accessTime = 0;  // Unix seconds of the last save or read
    Data extendedData;
};

// One save of a batch (saveItems); the value is shared, not copied.
struct ZVKVStorageSave {
    std::string key;
    std::shared_ptr<const Data> value;
    std::string filename;  // empty: inline (refused by the file type)
    Data extendedData;
};

class ZVKVStorage {
public:
    // The sentinel of the size, count and time arguments: "no limit" (or
    // "everything" for removeItemsEarlierThanTime).
    static constexpr int64_t kNoLimit = 2147483647;
    static constexpr size_t kMaxPathLength = 960;  // UTF-16 units

    // A storage on `path` (created with its folders when missing), or null
    // for an invalid path or type, or a database that cannot be opened even
    // after discarding it.
    static std::unique_ptr<ZVKVStorage> initWithPath(const std::string& path, ZVKVStorageType type);
    ~ZVKVStorage();
    ZVKVStorage(const ZVKVStorage&) = delete;
    ZVKVStorage& operator=(const ZVKVStorage&) = delete;

    const std::string& path() const { return path_; }
    ZVKVStorageType type() const { return type_; }
    bool errorLogsEnabled() const { return errorLogsEnabled_; }
    void setErrorLogsEnabled(bool enabled) { errorLogsEnabled_ = enabled; }

    bool saveItem(const ZVKVStorageItem& item);
    bool saveItemWithKey(const std::string& key, const Data& value);
    // An empty filename stores the value inline (not in the file type).
    // File names that are empty, ".", "..", hold "/" or NUL, or could be
    // taken for a temporary file are refused.
    bool saveItemWithKey(const std::string& key, const Data& value, const std::string& filename,
                         const Data& extendedData);

    // Saves each item as saveItemWithKey would, the inline ones in one
    // transaction, so that a burst of stores costs one commit (a failed
    // transaction is tried again item by item). False when any item failed.
    bool saveItems(const std::vector<ZVKVStorageSave>& items);

    bool removeItemForKey(const std::string& key);
    bool removeItemForKeys(const std::vector<std::string>& keys);
    bool removeItemsLargerThanSize(int64_t size);
    bool removeItemsEarlierThanTime(int64_t time);
    bool removeItemsToFitSize(int64_t maxSize);
    bool removeItemsToFitCount(int64_t maxCount);
    // Discards the database and every value file (a rename and a new file).
    bool removeAllItems();
    // Removes row by row, reporting (removed, total) after each batch and
    // ending with end(error).
    void removeAllItemsWithProgressBlock(const std::function<void(int64_t removed, int64_t total)>& progress,
                                         const std::function<void(bool error)>& end);

    std::optional<ZVKVStorageItem> getItemForKey(const std::string& key);
    std::optional<ZVKVStorageItem> getItemInfoForKey(const std::string& key);
    std::optional<Data> getItemValueForKey(const std::string& key);
    // Empty when none of the keys was found (or on error).
    std::vector<ZVKVStorageItem> getItemForKeys(const std::vector<std::string>& keys);
    std::vector<ZVKVStorageItem> getItemInfoForKeys(const std::vector<std::string>& keys);
    std::map<std::string, Data> getItemValueForKeys(const std::vector<std::string>& keys);

    bool itemExistsForKey(const std::string& key);
    // Every item's key; null on error.
    std::optional<std::vector<std::string>> getItemKeys();
    int64_t getItemsCount();  // -1 on error
    int64_t getItemsSize();   // bytes; -1 on error

    // Whether `name` may be used as a value file name.
    static bool isValidFilename(std::string_view name);

    static constexpr int64_t kAccessFlushInterval = 2;  // seconds
    // Writes the access times that reads recorded; true when there were
    // none or they were written.
    bool flushAccessTimes();
    // How many access times wait for a flush.
    size_t pendingAccessCount() const { return pendingAccess_.size(); }

private:
    ZVKVStorage(const std::string& path, ZVKVStorageType type);
    friend class ZVKVStorageCorruptionGuard;

    bool dbOpen();
    bool dbClose();
    bool dbCheck();
    bool dbInitialize();
    void dbCheckpoint();
    bool dbExecute(const char* sql);
    sqlite3_stmt* dbPrepareStmt(std::string_view sql, const char* function);
    sqlite3_stmt* dbPrepareJoined(const char* format, size_t count, const char* function);
    using Binder = std::function<void(sqlite3_stmt*)>;
    bool dbWrite(std::string_view sql, const char* function, const char* what, int line, const Binder& bind);
    bool dbRead(std::string_view sql, const char* function, int line, const Binder& bind, const Binder& row);
    bool dbRunJoined(const char* format, const std::vector<std::string>& keys, const char* function, const char* what,
                     int line, const Binder& row);
    std::optional<std::vector<std::string>> dbReadFilenames(std::string_view sql, const char* function, int line,
                                                            const Binder& bind);
    int64_t dbReadInteger(std::string_view sql, const char* function, int line, const Binder& bind);

    bool dbSaveWithKey(const std::string& key, const Data& value, const std::string& fileName, const Data& extendedData);
    bool dbSaveInlineInOneTransaction(const std::vector<const ZVKVStorageSave*>& items);
    void recordAccess(const std::string& key);
    void recordAccess(ZVKVStorageItem& item);
    void noteAccessAt(int64_t now);
    void applyPendingAccess(ZVKVStorageItem& item) const;
    bool dbWriteAccessTimes();
    bool dbDeleteItemWithKey(const std::string& key);
    bool dbDeleteItemWithKeys(const std::vector<std::string>& keys);
    bool dbDeleteItemsWithSizeLargerThan(int64_t size);
    bool dbDeleteItemsWithTimeEarlierThan(int64_t time);
    std::optional<ZVKVStorageItem> dbGetItemWithKey(const std::string& key, bool excludeInlineData);
    std::optional<std::vector<ZVKVStorageItem>> dbGetItemWithKeys(const std::vector<std::string>& keys,
                                                                  bool excludeInlineData);
    std::optional<Data> dbGetValueWithKey(const std::string& key);
    std::optional<std::string> dbGetFilenameWithKey(const std::string& key);
    std::optional<std::vector<std::string>> dbGetFilenameWithKeys(const std::vector<std::string>& keys);
    std::optional<std::vector<std::string>> dbGetFilenamesWithSizeLargerThan(int64_t size);
    std::optional<std::vector<std::string>> dbGetFilenamesWithTimeEarlierThan(int64_t time);
    std::optional<std::vector<ZVKVStorageItem>> dbGetItemSizeInfoOrderByTimeAscWithLimit(int64_t count);
    int64_t dbGetItemCountWithKey(const std::string& key);
    int64_t dbGetTotalItemSize();
    int64_t dbGetTotalItemCount();
    ZVKVStorageItem dbGetItemFromStmt(sqlite3_stmt* stmt, bool excludeInlineData);

    std::optional<std::filesystem::path> fileWriteTemporary(const Data& data);
    bool fileRenameTemporary(const std::filesystem::path& tmp, const std::string& name);
    // The file's bytes; null when missing, unreadable, or not `expectedSize` long.
    std::optional<Data> fileReadWithName(const std::string& name, int64_t expectedSize);
    bool fileDeleteWithName(const std::string& name);
    bool fileMoveAllToTrash();
    void fileEmptyTrashInBackground();
    void sweepDataFolder();
    bool removeOldest(int64_t& total, int64_t limit, int64_t batch, bool bySize, const std::function<void()>& afterBatch);
    void reset();
    void resetAfterCorruption();

    std::string path_;
    ZVKVStorageType type_;
    std::filesystem::path dbPath_, dataPath_, trashPath_;
    std::shared_ptr<DispatchQueue> trashQueue_;
    sqlite3* db_ = nullptr;
    struct StmtHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    // Fixed SQL texts → prepared statements; exists only while open.
    std::unique_ptr<std::unordered_map<std::string, sqlite3_stmt*, StmtHash, std::equal_to<>>> stmtCache_;
    double dbLastOpenErrorTime_ = 0;
    uint64_t dbOpenErrorCount_ = 0;
    bool errorLogsEnabled_ = true;
    bool corrupted_ = false;  // SQLite reported a damaged database during this call
    // Reads' access times not yet in the database: key → Unix seconds, and
    // when the oldest was recorded (0: none).
    std::unordered_map<std::string, int64_t> pendingAccess_;
    int64_t oldestPendingAccess_ = 0;
    int callDepth_ = 0;
};
