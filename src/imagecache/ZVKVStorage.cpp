#include "imagecache/ZVKVStorage.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <unordered_set>

#include "imagecache/CacheSupport.h"
#include "imagecache/ZVKVStorageGuard.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kDBFileName = "manifest.sqlite";
constexpr const char* kDBShmFileName = "manifest.sqlite-shm";
constexpr const char* kDBWalFileName = "manifest.sqlite-wal";
constexpr const char* kDataDirectoryName = "data";
constexpr const char* kTrashDirectoryName = "trash";
// Value files are written under this prefix and renamed into place; such
// names are never valid item file names.
constexpr std::string_view kTempPrefix = ".zvkv-tmp-";
constexpr double kMinRetryTimeAfterOpenError = 2.0;
constexpr uint64_t kMaxErrorRetryCount = 8;
// Keys bound per "in (...)" statement: far below SQLite's variable limit.
constexpr size_t kKeysPerStatement = 500;

double mediaTime() {
    return std::chrono::duration<double>(Clock::current().now().time_since_epoch()).count();
}

std::string makeUUID() {
    thread_local std::mt19937_64 rng{std::random_device{}()};
    uint64_t a = rng(), b = rng();
    a = (a & 0xFFFFFFFFFFFF0FFFULL) | 0x0000000000004000ULL;  // version 4
    b = (b & 0x3FFFFFFFFFFFFFFFULL) | 0x8000000000000000ULL;  // variant 1
    return strings::format("%08X-%04X-%04X-%04X-%012llX", unsigned(a >> 32), unsigned((a >> 16) & 0xFFFF),
                           unsigned(a & 0xFFFF), unsigned(b >> 48), (unsigned long long)(b & 0xFFFFFFFFFFFFULL));
}

std::string joinedKeys(size_t count) {
    std::string s;
    s.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        if (i) s += ',';
        s += '?';
    }
    return s;
}

bool isCorruption(int rc) {
    rc &= 0xff;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

// Cached statements are reset after use so that no read stays open (an open
// read would hold back WAL checkpoints).
struct ResetOnExit {
    sqlite3_stmt* stmt;
    ~ResetOnExit() { sqlite3_reset(stmt); }
};

}  // namespace

#define DB_LOG(...)                           \
    do {                                      \
        if (errorLogsEnabled_) NSLog(__VA_ARGS__); \
    } while (0)


bool ZVKVStorage::isValidFilename(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos) return false;
    if (name.substr(0, kTempPrefix.size()) == kTempPrefix) return false;
    return true;
}

std::unique_ptr<ZVKVStorage> ZVKVStorage::initWithPath(const std::string& path, ZVKVStorageType type) {
    if (path.empty() || strings::utf16Length(path) > kMaxPathLength) {
        NSLog("ZVKVStorage init error: invalid path: [%s].", path.c_str());
        return nullptr;
    }
    if (uint64_t(type) > uint64_t(ZVKVStorageType::Mixed)) {
        NSLog("ZVKVStorage init error: invalid type: %lu.", (unsigned long)type);
        return nullptr;
    }
    std::unique_ptr<ZVKVStorage> s(new ZVKVStorage(path, type));

    for (const fs::path& dir : {fs::path(path), s->dataPath_, s->trashPath_}) {
        Error error;
        if (!files::createDirectories(dir, &error)) {
            NSLog("ZVKVStorage init error:%s", error.localizedDescription().c_str());
            return nullptr;
        }
    }

    auto openAndSweep = [&] {
        if (!s->dbOpen() || !s->dbInitialize()) return false;
        // Reading every row's file name also finds a damaged table early.
        s->sweepDataFolder();
        return !s->corrupted_;
    };
    if (!openAndSweep()) {
        s->dbClose();
        s->reset();
        s->corrupted_ = false;
        if (!openAndSweep()) {
            s->dbClose();
            NSLog("ZVKVStorage init error: fail to open sqlite db.");
            return nullptr;
        }
    }
    s->corrupted_ = false;
    s->fileEmptyTrashInBackground();
    return s;
}

ZVKVStorage::ZVKVStorage(const std::string& path, ZVKVStorageType type)
    : path_(path),
      type_(type),
      dbPath_(fs::path(path) / kDBFileName),
      dataPath_(fs::path(path) / kDataDirectoryName),
      trashPath_(fs::path(path) / kTrashDirectoryName),
      trashQueue_(DispatchQueue::serial("com.odvanel.cache.disk.trash")) {}

ZVKVStorage::~ZVKVStorage() {
    flushAccessTimes();
    dbClose();
}

// MARK: - Database

bool ZVKVStorage::dbOpen() {
    if (db_) return true;
    // SQLite would create it after the umask, and its journal files take its mode.
    files::ensurePrivateFile(dbPath_);
    int result = sqlite3_open_v2(dbPath_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
    if (result == SQLITE_OK) {
        stmtCache_ = std::make_unique<decltype(stmtCache_)::element_type>();
        dbLastOpenErrorTime_ = 0;
        dbOpenErrorCount_ = 0;
        return true;
    }
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    stmtCache_.reset();
    dbLastOpenErrorTime_ = mediaTime();
    ++dbOpenErrorCount_;
    DB_LOG("%s line:%d sqlite open failed (%d).", "-[ZVKVStorage _dbOpen]", __LINE__, result);
    return false;
}

bool ZVKVStorage::dbClose() {
    if (!db_) return true;
    if (stmtCache_) {
        for (auto& [sql, stmt] : *stmtCache_) sqlite3_finalize(stmt);
        stmtCache_.reset();
    }
    int result = sqlite3_close(db_);
    if (result == SQLITE_BUSY || result == SQLITE_LOCKED) {
        bool finalized = false;
        while (sqlite3_stmt* stmt = sqlite3_next_stmt(db_, nullptr)) {
            sqlite3_finalize(stmt);
            finalized = true;
        }
        if (finalized) result = sqlite3_close(db_);
    }
    if (result != SQLITE_OK && result != SQLITE_BUSY && result != SQLITE_LOCKED) {
        DB_LOG("%s line:%d sqlite close failed (%d).", "-[ZVKVStorage _dbClose]", __LINE__, result);
    }
    db_ = nullptr;
    return true;
}

bool ZVKVStorage::dbCheck() {
    if (db_) return true;
    if (dbOpenErrorCount_ < kMaxErrorRetryCount && mediaTime() - dbLastOpenErrorTime_ > kMinRetryTimeAfterOpenError) {
        return dbOpen() && dbInitialize();
    }
    return false;
}

bool ZVKVStorage::dbInitialize() {
    return dbExecute(
        "pragma journal_mode = wal; pragma synchronous = normal; create table if not exists manifest (key text, "
        "filename text, size integer, inline_data blob, modification_time integer, last_access_time integer, "
        "extended_data blob, primary key(key)); create index if not exists last_access_time_idx on "
        "manifest(last_access_time);");
}

void ZVKVStorage::dbCheckpoint() {
    if (!dbCheck()) return;
    int result = sqlite3_wal_checkpoint(db_, nullptr);
    if (isCorruption(result)) corrupted_ = true;
}

bool ZVKVStorage::dbExecute(const char* sql) {
    if (!sql || !*sql) return false;
    if (!dbCheck()) return false;
    char* error = nullptr;
    int result = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    if (error) {
        DB_LOG("%s line:%d sqlite exec error (%d): %s", "-[ZVKVStorage _dbExecute:]", __LINE__, result, error);
        sqlite3_free(error);
    }
    if (isCorruption(result)) corrupted_ = true;
    return result == SQLITE_OK;
}

sqlite3_stmt* ZVKVStorage::dbPrepareStmt(std::string_view sql, const char* function) {
    if (!dbCheck() || sql.empty() || !stmtCache_) return nullptr;
    auto it = stmtCache_->find(sql);
    if (it != stmtCache_->end()) {
        sqlite3_reset(it->second);
        return it->second;
    }
    sqlite3_stmt* stmt = nullptr;
    int result = sqlite3_prepare_v2(db_, sql.data(), int(sql.size()), &stmt, nullptr);
    if (result != SQLITE_OK) {
        if (isCorruption(result)) corrupted_ = true;
        DB_LOG("%s line:%d sqlite stmt prepare error (%d): %s", function, __LINE__, result, sqlite3_errmsg(db_));
        return nullptr;
    }
    stmtCache_->emplace(std::string(sql), stmt);
    return stmt;
}

// A statement with `count` key placeholders in place of "%@", prepared for
// one use; the caller finalizes it.
sqlite3_stmt* ZVKVStorage::dbPrepareJoined(const char* format, size_t count, const char* function) {
    if (!dbCheck() || count == 0) return nullptr;
    std::string sql = format;
    size_t at = sql.find("%@");
    if (at != std::string::npos) sql.replace(at, 2, joinedKeys(count));
    sqlite3_stmt* stmt = nullptr;
    int result = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
    if (result != SQLITE_OK) {
        if (isCorruption(result)) corrupted_ = true;
        DB_LOG("%s line:%d sqlite stmt prepare error (%d): %s", function, __LINE__, result, sqlite3_errmsg(db_));
        return nullptr;
    }
    return stmt;
}

#define TRACK(result)                              \
    do {                                           \
        if (isCorruption(result)) corrupted_ = true; \
    } while (0)

// Runs a cached statement that writes; success is DONE.
bool ZVKVStorage::dbWrite(std::string_view sql, const char* function, const char* what, int line, const Binder& bind) {
    sqlite3_stmt* stmt = dbPrepareStmt(sql, function);
    if (!stmt) return false;
    ResetOnExit resetOnExit{stmt};
    bind(stmt);
    int result = sqlite3_step(stmt);
    sqlite3_clear_bindings(stmt);
    if (result == SQLITE_DONE) return true;
    TRACK(result);
    DB_LOG("%s line:%d %s error (%d): %s", function, line, what, result, sqlite3_errmsg(db_));
    return false;
}

// Runs a cached statement that reads rows; `row` sees each. False unless
// the rows end in DONE.
bool ZVKVStorage::dbRead(std::string_view sql, const char* function, int line, const Binder& bind, const Binder& row) {
    sqlite3_stmt* stmt = dbPrepareStmt(sql, function);
    if (!stmt) return false;
    ResetOnExit resetOnExit{stmt};
    bind(stmt);
    int result;
    while ((result = sqlite3_step(stmt)) == SQLITE_ROW) row(stmt);
    if (result == SQLITE_DONE) return true;
    TRACK(result);
    DB_LOG("%s line:%d sqlite query error (%d): %s", function, line, result, sqlite3_errmsg(db_));
    return false;
}

// Runs a statement whose "%@" stands for key placeholders over the keys,
// 500 at a time, within this one call; `row` (if any) sees each row. False
// unless every chunk ends in DONE.
bool ZVKVStorage::dbRunJoined(const char* format, const std::vector<std::string>& keys, const char* function,
                              const char* what, int line, const Binder& row) {
    if (!dbCheck()) return false;
    for (size_t start = 0; start < keys.size(); start += kKeysPerStatement) {
        size_t n = std::min(kKeysPerStatement, keys.size() - start);
        sqlite3_stmt* stmt = dbPrepareJoined(format, n, function);
        if (!stmt) return false;
        for (size_t i = 0; i < n; ++i) {
            const std::string& k = keys[start + i];
            sqlite3_bind_text(stmt, 1 + int(i), k.data(), int(k.size()), SQLITE_STATIC);
        }
        int result;
        while ((result = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (row) row(stmt);
        }
        sqlite3_finalize(stmt);
        if (result != SQLITE_DONE) {
            TRACK(result);
            DB_LOG("%s line:%d %s error (%d): %s", function, line, what, result, sqlite3_errmsg(db_));
            return false;
        }
    }
    return true;
}

namespace {

void bindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), int(text.size()), SQLITE_STATIC);
}

std::string columnText(sqlite3_stmt* stmt, int column) {
    auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text ? std::string(text, size_t(sqlite3_column_bytes(stmt, column))) : std::string();
}

Data columnBlob(sqlite3_stmt* stmt, int column) {
    auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, column));
    int bytes = sqlite3_column_bytes(stmt, column);
    return blob && bytes > 0 ? Data(blob, blob + bytes) : Data();
}

}  // namespace

bool ZVKVStorage::dbSaveWithKey(const std::string& key, const Data& value, const std::string& fileName,
                                const Data& extendedData) {
    static constexpr std::string_view sql =
        "insert or replace into manifest (key, filename, size, inline_data, modification_time, last_access_time, "
        "extended_data) values (?1, ?2, ?3, ?4, ?5, ?6, ?7);";
    return dbWrite(sql, "-[ZVKVStorage _dbSaveWithKey:value:fileName:extendedData:]", "sqlite insert", __LINE__,
                   [&](sqlite3_stmt* stmt) {
                       int64_t now = zvcache::unixTime();
                       bindText(stmt, 1, key);
                       if (fileName.empty()) {
                           sqlite3_bind_null(stmt, 2);
                           sqlite3_bind_blob64(stmt, 4, value.data(), value.size(), SQLITE_STATIC);
                       } else {
                           bindText(stmt, 2, fileName);
                           sqlite3_bind_null(stmt, 4);
                       }
                       sqlite3_bind_int64(stmt, 3, int64_t(value.size()));
                       sqlite3_bind_int64(stmt, 5, now);
                       sqlite3_bind_int64(stmt, 6, now);
                       if (extendedData.empty()) {
                           sqlite3_bind_null(stmt, 7);
                       } else {
                           sqlite3_bind_blob64(stmt, 7, extendedData.data(), extendedData.size(), SQLITE_STATIC);
                       }
                   });
}

// The recorded access times in one transaction. They are hints for
// trimming: after a failure they are dropped rather than retried.
bool ZVKVStorage::dbWriteAccessTimes() {
    if (!dbExecute("begin immediate;")) return false;
    bool ok = true;
    // Not a structured binding: clang 14 cannot capture one in a lambda.
    for (const auto& access : pendingAccess_) {
        ok = dbWrite("update manifest set last_access_time = ?1 where key = ?2;",
                     "-[ZVKVStorage _dbWriteAccessTimes]", "sqlite update", __LINE__, [&](sqlite3_stmt* stmt) {
                         sqlite3_bind_int64(stmt, 1, access.second);
                         bindText(stmt, 2, access.first);
                     });
        if (!ok) break;
    }
    if (ok) ok = dbExecute("commit;");
    if (!ok) dbExecute("rollback;");
    return ok;
}

bool ZVKVStorage::dbDeleteItemWithKey(const std::string& key) {
    return dbWrite("delete from manifest where key = ?1;", "-[ZVKVStorage _dbDeleteItemWithKey:]", "db delete",
                   __LINE__, [&](sqlite3_stmt* stmt) { bindText(stmt, 1, key); });
}

bool ZVKVStorage::dbDeleteItemWithKeys(const std::vector<std::string>& keys) {
    return dbRunJoined("delete from manifest where key in (%@);", keys, "-[ZVKVStorage _dbDeleteItemWithKeys:]",
                       "sqlite delete", __LINE__, nullptr);
}

bool ZVKVStorage::dbDeleteItemsWithSizeLargerThan(int64_t size) {
    return dbWrite("delete from manifest where size > ?1;", "-[ZVKVStorage _dbDeleteItemsWithSizeLargerThan:]",
                   "sqlite delete", __LINE__, [&](sqlite3_stmt* stmt) { sqlite3_bind_int64(stmt, 1, size); });
}

bool ZVKVStorage::dbDeleteItemsWithTimeEarlierThan(int64_t time) {
    return dbWrite("delete from manifest where last_access_time < ?1;",
                   "-[ZVKVStorage _dbDeleteItemsWithTimeEarlierThan:]", "sqlite delete", __LINE__,
                   [&](sqlite3_stmt* stmt) { sqlite3_bind_int64(stmt, 1, time); });
}

ZVKVStorageItem ZVKVStorage::dbGetItemFromStmt(sqlite3_stmt* stmt, bool excludeInlineData) {
    ZVKVStorageItem item;
    int i = 0;
    item.key = columnText(stmt, i++);
    item.filename = columnText(stmt, i++);
    item.size = sqlite3_column_int64(stmt, i++);
    if (!excludeInlineData) item.value = columnBlob(stmt, i++);
    item.modTime = sqlite3_column_int64(stmt, i++);
    item.accessTime = sqlite3_column_int64(stmt, i++);
    item.extendedData = columnBlob(stmt, i);
    return item;
}

std::optional<ZVKVStorageItem> ZVKVStorage::dbGetItemWithKey(const std::string& key, bool excludeInlineData) {
    static constexpr std::string_view excluding =
        "select key, filename, size, modification_time, last_access_time, extended_data from manifest where key = ?1;";
    static constexpr std::string_view including =
        "select key, filename, size, inline_data, modification_time, last_access_time, extended_data from manifest "
        "where key = ?1;";
    std::optional<ZVKVStorageItem> item;
    dbRead(excludeInlineData ? excluding : including, "-[ZVKVStorage _dbGetItemWithKey:excludeInlineData:]", __LINE__,
           [&](sqlite3_stmt* stmt) { bindText(stmt, 1, key); },
           [&](sqlite3_stmt* stmt) { item = dbGetItemFromStmt(stmt, excludeInlineData); });
    return item;
}

std::optional<std::vector<ZVKVStorageItem>> ZVKVStorage::dbGetItemWithKeys(const std::vector<std::string>& keys,
                                                                           bool excludeInlineData) {
    const char* format = excludeInlineData
                             ? "select key, filename, size, modification_time, last_access_time, extended_data from "
                               "manifest where key in (%@);"
                             : "select key, filename, size, inline_data, modification_time, last_access_time, "
                               "extended_data from manifest where key in (%@)";
    std::vector<ZVKVStorageItem> items;
    if (!dbRunJoined(format, keys, "-[ZVKVStorage _dbGetItemWithKeys:excludeInlineData:]", "sqlite query", __LINE__,
                     [&](sqlite3_stmt* stmt) { items.push_back(dbGetItemFromStmt(stmt, excludeInlineData)); })) {
        return std::nullopt;
    }
    return items;
}

std::optional<Data> ZVKVStorage::dbGetValueWithKey(const std::string& key) {
    std::optional<Data> value;
    dbRead("select inline_data from manifest where key = ?1;", "-[ZVKVStorage _dbGetValueWithKey:]", __LINE__,
           [&](sqlite3_stmt* stmt) { bindText(stmt, 1, key); },
           [&](sqlite3_stmt* stmt) {
               Data blob = columnBlob(stmt, 0);
               if (!blob.empty()) value = std::move(blob);
           });
    return value;
}

std::optional<std::string> ZVKVStorage::dbGetFilenameWithKey(const std::string& key) {
    auto names = dbReadFilenames("select filename from manifest where key = ?1;",
                                 "-[ZVKVStorage _dbGetFilenameWithKey:]", __LINE__,
                                 [&](sqlite3_stmt* stmt) { bindText(stmt, 1, key); });
    if (!names || names->empty()) return std::nullopt;
    return names->front();
}

// The non-empty file names in the first column of a cached read; null on failure.
std::optional<std::vector<std::string>> ZVKVStorage::dbReadFilenames(std::string_view sql, const char* function,
                                                                     int line, const Binder& bind) {
    std::vector<std::string> names;
    bool ok = dbRead(sql, function, line, bind, [&](sqlite3_stmt* stmt) {
        std::string name = columnText(stmt, 0);
        if (!name.empty()) names.push_back(std::move(name));
    });
    if (!ok) return std::nullopt;
    return names;
}

std::optional<std::vector<std::string>> ZVKVStorage::dbGetFilenameWithKeys(const std::vector<std::string>& keys) {
    std::vector<std::string> names;
    if (!dbRunJoined("select filename from manifest where key in (%@);", keys,
                     "-[ZVKVStorage _dbGetFilenameWithKeys:]", "sqlite query", __LINE__, [&](sqlite3_stmt* stmt) {
                         std::string name = columnText(stmt, 0);
                         if (!name.empty()) names.push_back(std::move(name));
                     })) {
        return std::nullopt;
    }
    return names;
}

std::optional<std::vector<std::string>> ZVKVStorage::dbGetFilenamesWithSizeLargerThan(int64_t size) {
    return dbReadFilenames("select filename from manifest where size > ?1 and filename is not null;",
                           "-[ZVKVStorage _dbGetFilenamesWithSizeLargerThan:]", __LINE__,
                           [&](sqlite3_stmt* stmt) { sqlite3_bind_int64(stmt, 1, size); });
}

std::optional<std::vector<std::string>> ZVKVStorage::dbGetFilenamesWithTimeEarlierThan(int64_t time) {
    return dbReadFilenames("select filename from manifest where last_access_time < ?1 and filename is not null;",
                           "-[ZVKVStorage _dbGetFilenamesWithTimeEarlierThan:]", __LINE__,
                           [&](sqlite3_stmt* stmt) { sqlite3_bind_int64(stmt, 1, time); });
}

std::optional<std::vector<ZVKVStorageItem>> ZVKVStorage::dbGetItemSizeInfoOrderByTimeAscWithLimit(int64_t count) {
    std::vector<ZVKVStorageItem> items;
    bool ok = dbRead("select key, filename, size from manifest order by last_access_time asc limit ?1;",
                     "-[ZVKVStorage _dbGetItemSizeInfoOrderByTimeAscWithLimit:]", __LINE__,
                     [&](sqlite3_stmt* stmt) { sqlite3_bind_int64(stmt, 1, count); },
                     [&](sqlite3_stmt* stmt) {
                         ZVKVStorageItem item;
                         item.key = columnText(stmt, 0);
                         item.filename = columnText(stmt, 1);
                         item.size = sqlite3_column_int64(stmt, 2);
                         items.push_back(std::move(item));
                     });
    if (!ok) return std::nullopt;
    return items;
}

// One integer (a count or a sum) from a cached read; -1 on failure.
int64_t ZVKVStorage::dbReadInteger(std::string_view sql, const char* function, int line, const Binder& bind) {
    int64_t value = -1;
    bool ok = dbRead(sql, function, line, bind, [&](sqlite3_stmt* stmt) { value = sqlite3_column_int64(stmt, 0); });
    return ok ? value : -1;
}

int64_t ZVKVStorage::dbGetItemCountWithKey(const std::string& key) {
    return dbReadInteger("select count(key) from manifest where key = ?1;", "-[ZVKVStorage _dbGetItemCountWithKey:]",
                         __LINE__, [&](sqlite3_stmt* stmt) { bindText(stmt, 1, key); });
}

int64_t ZVKVStorage::dbGetTotalItemSize() {
    return dbReadInteger("select sum(size) from manifest;", "-[ZVKVStorage _dbGetTotalItemSize]", __LINE__,
                         [](sqlite3_stmt*) {});
}

int64_t ZVKVStorage::dbGetTotalItemCount() {
    return dbReadInteger("select count(*) from manifest;", "-[ZVKVStorage _dbGetTotalItemCount]", __LINE__,
                         [](sqlite3_stmt*) {});
}

// MARK: - Files

// Writes the bytes to a fresh temporary file in "data"; its path, or null
// (and nothing left behind) when the disk is full or the write fails.
std::optional<fs::path> ZVKVStorage::fileWriteTemporary(const Data& data) {
    fs::path tmp = dataPath_ / (std::string(kTempPrefix) + makeUUID());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, files::kPrivateFileMode);
    if (fd < 0) return std::nullopt;
    ::fchmod(fd, files::kPrivateFileMode);  // whatever the umask
    const uint8_t* p = data.data();
    size_t left = data.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= size_t(n);
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) {
        ::unlink(tmp.c_str());
        return std::nullopt;
    }
    return tmp;
}

bool ZVKVStorage::fileRenameTemporary(const fs::path& tmp, const std::string& name) {
    if (::rename(tmp.c_str(), (dataPath_ / name).c_str()) == 0) return true;
    ::unlink(tmp.c_str());
    return false;
}

std::optional<Data> ZVKVStorage::fileReadWithName(const std::string& name, int64_t expectedSize) {
    if (!isValidFilename(name)) return std::nullopt;
    int fd = ::open((dataPath_ / name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != expectedSize) {
        ::close(fd);
        return std::nullopt;
    }
    Data data(size_t(st.st_size));
    size_t got = 0;
    while (got < data.size()) {
        ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    ::close(fd);
    if (got != data.size()) return std::nullopt;
    return data;
}

bool ZVKVStorage::fileDeleteWithName(const std::string& name) {
    // A name that is not ours (read from a damaged or foreign database) never
    // reaches the file system.
    if (!isValidFilename(name)) return false;
    return ::unlink((dataPath_ / name).c_str()) == 0;
}

bool ZVKVStorage::fileMoveAllToTrash() {
    fs::path target = trashPath_ / makeUUID();
    std::error_code ec;
    fs::rename(dataPath_, target, ec);
    if (ec) return false;
    return files::createDirectories(dataPath_);
}

void ZVKVStorage::fileEmptyTrashInBackground() {
    fs::path trash = trashPath_;
    trashQueue_->async([trash] {
        std::error_code ec;
        for (fs::directory_iterator it(trash, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code ignored;
            fs::remove_all(it->path(), ignored);
        }
    });
}

// Moves temporary files and files no row refers to into the trash: what a
// process killed between writing a file and its row, or in the middle of a
// reset, leaves behind.
void ZVKVStorage::sweepDataFolder() {
    auto names = dbReadFilenames("select filename from manifest where filename is not null;",
                                 "-[ZVKVStorage _sweepDataFolder]", __LINE__, [](sqlite3_stmt*) {});
    if (!names) return;
    std::unordered_set<std::string> referenced(names->begin(), names->end());
    fs::path bin;
    std::error_code ec;
    for (fs::directory_iterator it(dataPath_, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (referenced.count(name) && isValidFilename(name)) continue;
        if (bin.empty()) {
            bin = trashPath_ / makeUUID();
            files::createDirectories(bin);
        }
        std::error_code mv;
        fs::rename(it->path(), bin / name, mv);
    }
}

void ZVKVStorage::reset() {
    pendingAccess_.clear();
    oldestPendingAccess_ = 0;
    std::error_code ec;
    fs::remove(fs::path(path_) / kDBFileName, ec);
    fs::remove(fs::path(path_) / kDBShmFileName, ec);
    fs::remove(fs::path(path_) / kDBWalFileName, ec);
    fileMoveAllToTrash();
    fileEmptyTrashInBackground();
}

void ZVKVStorage::resetAfterCorruption() {
    corrupted_ = false;
    NSLog("ZVKVStorage error: damaged database at [%s]; discarding it and every value file.", path_.c_str());
    dbClose();
    reset();
    if (!dbOpen() || !dbInitialize()) {
        dbClose();
        NSLog("ZVKVStorage error: fail to reopen sqlite db after reset.");
    }
    corrupted_ = false;
}

// MARK: - Access times

void ZVKVStorage::recordAccess(const std::string& key) {
    int64_t now = zvcache::unixTime();
    pendingAccess_[key] = now;
    noteAccessAt(now);
}

// One look-up for a read item: it takes the time kept for it, and keeps now.
void ZVKVStorage::recordAccess(ZVKVStorageItem& item) {
    int64_t now = zvcache::unixTime();
    auto [it, fresh] = pendingAccess_.try_emplace(item.key, now);
    if (!fresh) {
        item.accessTime = it->second;
        it->second = now;
    }
    noteAccessAt(now);
}

void ZVKVStorage::noteAccessAt(int64_t now) {
    if (oldestPendingAccess_ == 0) oldestPendingAccess_ = now;
    // A reader that never writes still saves its times now and then.
    if (now - oldestPendingAccess_ >= kAccessFlushInterval) flushAccessTimes();
}

void ZVKVStorage::applyPendingAccess(ZVKVStorageItem& item) const {
    auto it = pendingAccess_.find(item.key);
    if (it != pendingAccess_.end()) item.accessTime = it->second;
}

bool ZVKVStorage::flushAccessTimes() {
    if (pendingAccess_.empty()) return true;
    GUARD;
    bool ok = dbWriteAccessTimes();
    pendingAccess_.clear();
    oldestPendingAccess_ = 0;
    return ok;
}

// MARK: - Saving

bool ZVKVStorage::saveItem(const ZVKVStorageItem& item) {
    return saveItemWithKey(item.key, item.value, item.filename, item.extendedData);
}

bool ZVKVStorage::saveItemWithKey(const std::string& key, const Data& value) {
    return saveItemWithKey(key, value, std::string(), Data());
}

bool ZVKVStorage::saveItemWithKey(const std::string& key, const Data& value, const std::string& filename,
                                  const Data& extendedData) {
    GUARD;
    flushAccessTimes();
    if (key.empty() || value.empty()) return false;
    if (type_ == ZVKVStorageType::File && filename.empty()) return false;

    if (!filename.empty()) {
        if (!isValidFilename(filename)) {
            DB_LOG("ZVKVStorage error: invalid file name: [%s].", filename.c_str());
            return false;
        }
        // The bytes go to a temporary file first (a full disk fails here and
        // leaves the old item whole). A row that refers to a file is deleted
        // before its file is replaced, so a crash in between leaves no item
        // (and an orphan file, swept at the next creation) rather than the
        // new file under the old row's size and extended data.
        auto tmp = fileWriteTemporary(value);
        if (!tmp) return false;
        if (auto old = dbGetFilenameWithKey(key)) {
            if (!dbDeleteItemWithKey(key)) {
                ::unlink(tmp->c_str());
                return false;
            }
            if (*old != filename) fileDeleteWithName(*old);
        }
        if (!fileRenameTemporary(*tmp, filename)) return false;
        if (!dbSaveWithKey(key, value, filename, extendedData)) {
            fileDeleteWithName(filename);
            return false;
        }
        return true;
    }
    if (type_ != ZVKVStorageType::SQLite) {
        if (auto old = dbGetFilenameWithKey(key)) fileDeleteWithName(*old);
    }
    return dbSaveWithKey(key, value, std::string(), extendedData);
}

// MARK: - Removing

bool ZVKVStorage::removeItemForKey(const std::string& key) {
    GUARD;
    flushAccessTimes();
    if (key.empty()) return false;
    if (type_ != ZVKVStorageType::SQLite) {
        if (auto name = dbGetFilenameWithKey(key)) fileDeleteWithName(*name);
    }
    return dbDeleteItemWithKey(key);
}

bool ZVKVStorage::removeItemForKeys(const std::vector<std::string>& keys) {
    GUARD;
    flushAccessTimes();
    if (keys.empty()) return false;
    if (type_ != ZVKVStorageType::SQLite) {
        if (auto names = dbGetFilenameWithKeys(keys)) {
            for (const auto& name : *names) fileDeleteWithName(name);
        }
    }
    return dbDeleteItemWithKeys(keys);
}

bool ZVKVStorage::removeItemsLargerThanSize(int64_t size) {
    GUARD;
    flushAccessTimes();
    if (size == kNoLimit) return true;
    if (size <= 0) return removeAllItems();
    if (type_ != ZVKVStorageType::SQLite) {
        if (auto names = dbGetFilenamesWithSizeLargerThan(size)) {
            for (const auto& name : *names) fileDeleteWithName(name);
        }
    }
    if (!dbDeleteItemsWithSizeLargerThan(size)) return false;
    dbCheckpoint();
    return true;
}

bool ZVKVStorage::removeItemsEarlierThanTime(int64_t time) {
    GUARD;
    flushAccessTimes();
    if (time <= 0) return true;
    if (time == kNoLimit) return removeAllItems();
    if (type_ != ZVKVStorageType::SQLite) {
        if (auto names = dbGetFilenamesWithTimeEarlierThan(time)) {
            for (const auto& name : *names) fileDeleteWithName(name);
        }
    }
    if (!dbDeleteItemsWithTimeEarlierThan(time)) return false;
    dbCheckpoint();
    return true;
}

// Removes the least recently accessed items, `batch` rows at a time, while
// `total` is above `limit`; each removal lowers `total` by the item's size
// (`bySize`) or by one. `afterBatch` runs after every batch. Stops at the
// first failed deletion; true when the last deletion succeeded.
bool ZVKVStorage::removeOldest(int64_t& total, int64_t limit, int64_t batch, bool bySize,
                               const std::function<void()>& afterBatch) {
    bool suc = false;
    std::optional<std::vector<ZVKVStorageItem>> items;
    do {
        items = dbGetItemSizeInfoOrderByTimeAscWithLimit(batch);
        if (!items) break;
        for (const auto& item : *items) {
            if (total <= limit) break;
            if (!item.filename.empty()) fileDeleteWithName(item.filename);
            suc = dbDeleteItemWithKey(item.key);
            total -= bySize ? item.size : 1;
            if (!suc) break;
        }
        if (afterBatch) afterBatch();
    } while (total > limit && !items->empty() && suc);
    if (suc) dbCheckpoint();
    return suc;
}

bool ZVKVStorage::removeItemsToFitSize(int64_t maxSize) {
    GUARD;
    flushAccessTimes();
    if (maxSize == kNoLimit) return true;
    if (maxSize <= 0) return removeAllItems();
    int64_t total = dbGetTotalItemSize();
    if (total < 0) return false;
    if (total <= maxSize) return true;
    return removeOldest(total, maxSize, 16, true, nullptr);
}

bool ZVKVStorage::removeItemsToFitCount(int64_t maxCount) {
    GUARD;
    flushAccessTimes();
    if (maxCount == kNoLimit) return true;
    if (maxCount <= 0) return removeAllItems();
    int64_t total = dbGetTotalItemCount();
    if (total < 0) return false;
    if (total <= maxCount) return true;
    return removeOldest(total, maxCount, 16, false, nullptr);
}

bool ZVKVStorage::removeAllItems() {
    GUARD;
    if (!dbClose()) return false;
    reset();
    if (!dbOpen()) return false;
    if (!dbInitialize()) return false;
    return true;
}

void ZVKVStorage::removeAllItemsWithProgressBlock(const std::function<void(int64_t, int64_t)>& progress,
                                                  const std::function<void(bool)>& end) {
    GUARD;
    flushAccessTimes();
    int64_t total = dbGetTotalItemCount();
    if (total <= 0) {
        if (end) end(total < 0);
        return;
    }
    int64_t left = total;
    bool suc = removeOldest(left, 0, 32, false, [&] {
        if (progress) progress(total - left, total);
    });
    if (end) end(!suc);
}

// MARK: - Reading

std::optional<ZVKVStorageItem> ZVKVStorage::getItemForKey(const std::string& key) {
    GUARD;
    if (key.empty()) return std::nullopt;
    auto item = dbGetItemWithKey(key, false);
    if (!item) return std::nullopt;
    if (!item->filename.empty()) {
        auto value = fileReadWithName(item->filename, item->size);
        if (!value) {
            // Missing, or not the length the row records (a torn or foreign
            // file): the item is gone.
            fileDeleteWithName(item->filename);
            pendingAccess_.erase(key);
            dbDeleteItemWithKey(key);
            return std::nullopt;
        }
        item->value = std::move(*value);
    }
    recordAccess(*item);
    return item;
}

std::optional<ZVKVStorageItem> ZVKVStorage::getItemInfoForKey(const std::string& key) {
    GUARD;
    if (key.empty()) return std::nullopt;
    auto item = dbGetItemWithKey(key, true);
    if (item) applyPendingAccess(*item);
    return item;
}

std::optional<Data> ZVKVStorage::getItemValueForKey(const std::string& key) {
    GUARD;
    if (key.empty()) return std::nullopt;
    std::optional<Data> value;
    auto readFile = [&]() -> bool {
        // True when the row has a file name (whether or not the file was good).
        auto info = dbGetItemWithKey(key, true);
        if (!info || info->filename.empty()) return false;
        value = fileReadWithName(info->filename, info->size);
        if (!value) {
            fileDeleteWithName(info->filename);
            pendingAccess_.erase(key);
            dbDeleteItemWithKey(key);
        }
        return true;
    };
    switch (type_) {
    case ZVKVStorageType::File: readFile(); break;
    case ZVKVStorageType::SQLite: value = dbGetValueWithKey(key); break;
    case ZVKVStorageType::Mixed:
        if (!readFile()) value = dbGetValueWithKey(key);
        break;
    }
    if (value) recordAccess(key);
    return value;
}

std::vector<ZVKVStorageItem> ZVKVStorage::getItemForKeys(const std::vector<std::string>& keys) {
    GUARD;
    if (keys.empty()) return {};
    auto items = dbGetItemWithKeys(keys, false);
    if (!items) return {};
    if (type_ != ZVKVStorageType::SQLite) {
        std::vector<ZVKVStorageItem> kept;
        kept.reserve(items->size());
        for (auto& item : *items) {
            if (!item.filename.empty()) {
                auto value = fileReadWithName(item.filename, item.size);
                if (!value) {
                    fileDeleteWithName(item.filename);
                    pendingAccess_.erase(item.key);
                    dbDeleteItemWithKey(item.key);
                    continue;
                }
                item.value = std::move(*value);
            }
            kept.push_back(std::move(item));
        }
        items->swap(kept);
    }
    for (auto& item : *items) applyPendingAccess(item);
    for (const auto& item : *items) recordAccess(item.key);
    return std::move(*items);
}

std::vector<ZVKVStorageItem> ZVKVStorage::getItemInfoForKeys(const std::vector<std::string>& keys) {
    GUARD;
    if (keys.empty()) return {};
    auto items = dbGetItemWithKeys(keys, true);
    if (!items) return {};
    for (auto& item : *items) applyPendingAccess(item);
    return std::move(*items);
}

std::map<std::string, Data> ZVKVStorage::getItemValueForKeys(const std::vector<std::string>& keys) {
    std::map<std::string, Data> result;
    for (auto& item : getItemForKeys(keys)) {
        if (item.key.empty() || item.value.empty()) continue;
        result.emplace(std::move(item.key), std::move(item.value));
    }
    return result;
}

bool ZVKVStorage::itemExistsForKey(const std::string& key) {
    GUARD;
    if (key.empty()) return false;
    return dbGetItemCountWithKey(key) > 0;
}

int64_t ZVKVStorage::getItemsCount() {
    GUARD;
    return dbGetTotalItemCount();
}

int64_t ZVKVStorage::getItemsSize() {
    GUARD;
    return dbGetTotalItemSize();
}
