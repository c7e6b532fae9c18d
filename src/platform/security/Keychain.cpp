#include "platform/security/Keychain.h"

#include <fcntl.h>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PlatformLog.h"

namespace keychain {

namespace {

constexpr const char* kFileName = "keychain.sqlite";

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS items ("
    " id INTEGER PRIMARY KEY,"
    " class INTEGER NOT NULL,"
    " account TEXT NOT NULL DEFAULT '',"
    " access_group TEXT NOT NULL DEFAULT '',"
    " service TEXT NOT NULL DEFAULT '',"
    " server TEXT NOT NULL DEFAULT '',"
    " port INTEGER NOT NULL DEFAULT 0,"
    " protocol INTEGER NOT NULL DEFAULT 0,"
    " auth_type INTEGER NOT NULL DEFAULT 0,"
    " synchronizable INTEGER NOT NULL DEFAULT 0,"
    " accessibility INTEGER NOT NULL DEFAULT 2,"
    " label TEXT NOT NULL DEFAULT '',"
    " comment TEXT NOT NULL DEFAULT '',"
    " generic BLOB,"
    " data BLOB,"
    " created REAL NOT NULL DEFAULT 0,"
    " modified REAL NOT NULL DEFAULT 0,"
    " UNIQUE (class, account, access_group, service, server, port, protocol, auth_type, synchronizable))";

constexpr const char* kColumns =
    "class, account, access_group, service, server, port, protocol, auth_type, synchronizable, accessibility, "
    "label, comment, generic, data, created, modified";

double toSeconds(Date d) {
    return std::chrono::duration<double>(d.time_since_epoch()).count();
}
// A column no Date can hold (a damaged or foreign file) reads as unknown,
// the epoch; the item itself stays readable.
Date fromSeconds(double s) { return dateFromSeconds(s).value_or(Date{}); }

// Binds values to a statement by position, owning the text it binds.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    int rc = SQLITE_OK;
    Statement(sqlite3* db, const std::string& sql) { rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr); }
    ~Statement() { sqlite3_finalize(stmt); }
    bool ok() const { return rc == SQLITE_OK && stmt; }
};

struct Where {
    std::string sql;
    std::vector<Value> args;
    void add(const char* column, const Value& v) {
        sql += sql.empty() ? " WHERE " : " AND ";
        sql += column;
        sql += " = ?";
        args.push_back(v);
    }
};

Where whereFor(const Query& q) {
    Where w;
    w.add("class", int(q.itemClass));
    if (q.account) w.add("account", *q.account);
    if (q.accessGroup) w.add("access_group", *q.accessGroup);
    if (q.service) w.add("service", *q.service);
    if (q.server) w.add("server", *q.server);
    if (q.port) w.add("port", *q.port);
    if (q.protocol) w.add("protocol", *q.protocol);
    if (q.authenticationType) w.add("auth_type", *q.authenticationType);
    if (q.synchronizable) w.add("synchronizable", *q.synchronizable ? 1 : 0);
    return w;
}

void bind(sqlite3_stmt* stmt, int index, const Value& v) {
    if (auto s = v.getString()) sqlite3_bind_text(stmt, index, s->data(), int(s->size()), SQLITE_TRANSIENT);
    else if (auto d = v.getData()) sqlite3_bind_blob(stmt, index, d->data(), int(d->size()), SQLITE_TRANSIENT);
    else if (v.isReal()) sqlite3_bind_double(stmt, index, v.doubleValue());
    else if (v.isNull()) sqlite3_bind_null(stmt, index);
    else sqlite3_bind_int64(stmt, index, v.intValue());
}

std::string columnText(sqlite3_stmt* s, int i) {
    auto p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return p ? std::string(p, size_t(sqlite3_column_bytes(s, i))) : std::string();
}
Data columnBlob(sqlite3_stmt* s, int i) {
    auto p = static_cast<const uint8_t*>(sqlite3_column_blob(s, i));
    return p ? Data(p, p + sqlite3_column_bytes(s, i)) : Data();
}

Item readItem(sqlite3_stmt* s) {
    Item it;
    it.itemClass = ItemClass(sqlite3_column_int(s, 0));
    it.account = columnText(s, 1);
    it.accessGroup = columnText(s, 2);
    it.service = columnText(s, 3);
    it.server = columnText(s, 4);
    it.port = sqlite3_column_int(s, 5);
    it.protocol = sqlite3_column_int(s, 6);
    it.authenticationType = sqlite3_column_int(s, 7);
    it.synchronizable = sqlite3_column_int(s, 8) != 0;
    it.accessibility = sqlite3_column_int(s, 9);
    it.label = columnText(s, 10);
    it.comment = columnText(s, 11);
    it.genericAttribute = columnBlob(s, 12);
    it.data = columnBlob(s, 13);
    it.created = fromSeconds(sqlite3_column_double(s, 14));
    it.modified = fromSeconds(sqlite3_column_double(s, 15));
    return it;
}

bool isCorruption(int rc) { return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT; }

}  // namespace

Error Keychain::makeError(long status, const std::string& message) {
    return Error::withDescription(ErrorDomain, status, message);
}

namespace {
bool fail(Error* error, long status, const std::string& message) {
    if (error) *error = Keychain::makeError(status, message);
    return false;
}
}  // namespace

namespace {

std::mutex gReservedMutex;
std::set<std::string, std::less<>>& reservedServices() {
    static auto* services = new std::set<std::string, std::less<>>();
    return *services;
}

}  // namespace

bool reserveService(std::string service) {
    std::lock_guard lock(gReservedMutex);
    reservedServices().insert(std::move(service));
    return true;
}

bool isReservedService(std::string_view service) {
    std::lock_guard lock(gReservedMutex);
    return reservedServices().count(service) > 0;
}

Keychain& Keychain::standard() {
    // Never destroyed: items may be read from other threads while the process exits.
    static Keychain* instance = new Keychain({});
    return *instance;
}

Keychain::Keychain(std::filesystem::path file) : file_(std::move(file)) {}

Keychain::~Keychain() {
    std::lock_guard lock(mutex_);
    closeLocked();
}

void Keychain::closeLocked() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool Keychain::openReadOnlyLocked() {
    if (sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) == SQLITE_OK &&
        sqlite3_exec(db_, "SELECT count(*) FROM items", nullptr, nullptr, nullptr) == SQLITE_OK) {
        NSLog("Keychain: %s cannot be written; reading it only", file_.c_str());
        return true;
    }
    closeLocked();
    return false;
}

bool Keychain::openLocked(Error* error) {
    bool followsHome = this == &standard();
    if (followsHome) {
        auto wanted = AppHome::root() / kFileName;
        if (wanted != file_) {
            closeLocked();
            file_ = wanted;
        }
    }
    if (db_) return true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        files::createDirectories(file_.parent_path());
        // Create the file ourselves so it is never readable by others, not even briefly.
        int fd = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            int err = errno;
            // On a read-only home what is stored can still be read (the
            // device ids above all); writes then fail.
            if ((err == EROFS || err == EACCES || err == EPERM) && openReadOnlyLocked()) return true;
            return fail(error, errSecIO, "cannot open the keychain file " + file_.string());
        }
        ::fchmod(fd, 0600);
        ::close(fd);
        int rc = sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(db_, 5000);
            rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
        }
        if (rc == SQLITE_OK) return true;
        std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        closeLocked();
        if (!isCorruption(rc) || attempt > 0) return fail(error, errSecIO, "keychain file unusable: " + message);
        // A damaged file would fail every call for good: keep it aside for
        // inspection and start an empty keychain.
        auto aside = file_;
        aside += ".corrupt";
        std::error_code ec;
        std::filesystem::rename(file_, aside, ec);
        if (ec) std::filesystem::remove(file_, ec);
        NSLog("Keychain: %s is damaged (%s); moved aside, starting empty", file_.c_str(), message.c_str());
    }
    return false;
}

bool Keychain::add(const Item& item, Error* error) {
    std::lock_guard lock(mutex_);
    if (!openLocked(error)) return false;
    Statement st(db_, std::string("INSERT INTO items (") + kColumns + ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    if (!st.ok()) return fail(error, errSecIO, sqlite3_errmsg(db_));
    double now = toSeconds(std::chrono::system_clock::now());
    bool generic = item.itemClass == ItemClass::GenericPassword;
    Value args[] = {int(item.itemClass),
                    item.account,
                    item.accessGroup,
                    generic ? item.service : std::string(),
                    generic ? std::string() : item.server,
                    generic ? 0 : item.port,
                    generic ? 0 : item.protocol,
                    generic ? 0 : item.authenticationType,
                    item.synchronizable ? 1 : 0,
                    item.accessibility,
                    item.label,
                    item.comment,
                    item.genericAttribute,
                    item.data,
                    now,
                    now};
    for (int i = 0; i < 16; ++i) bind(st.stmt, i + 1, args[i]);
    int rc = sqlite3_step(st.stmt);
    if (rc == SQLITE_CONSTRAINT || sqlite3_extended_errcode(db_) == SQLITE_CONSTRAINT_UNIQUE)
        return fail(error, errSecDuplicateItem, "The specified item already exists in the keychain.");
    if (rc != SQLITE_DONE) return fail(error, errSecIO, sqlite3_errmsg(db_));
    return true;
}

std::vector<Item> Keychain::list(const Query& query, Error* error) {
    std::lock_guard lock(mutex_);
    std::vector<Item> out;
    if (!openLocked(error)) return out;
    auto w = whereFor(query);
    Statement st(db_, std::string("SELECT ") + kColumns + " FROM items" + w.sql + " ORDER BY id");
    if (!st.ok()) {
        fail(error, errSecIO, sqlite3_errmsg(db_));
        return out;
    }
    for (size_t i = 0; i < w.args.size(); ++i) bind(st.stmt, int(i + 1), w.args[i]);
    int rc;
    while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) out.push_back(readItem(st.stmt));
    if (rc != SQLITE_DONE) fail(error, errSecIO, sqlite3_errmsg(db_));
    return out;
}

std::optional<Item> Keychain::find(const Query& query, Error* error) {
    Error e;
    auto items = list(query, &e);
    if (!e.domain.empty()) {
        if (error) *error = e;
        return std::nullopt;
    }
    if (items.empty()) {
        fail(error, errSecItemNotFound, "The specified item could not be found in the keychain.");
        return std::nullopt;
    }
    return std::move(items.front());
}

bool Keychain::update(const Query& query, const Changes& changes, Error* error) {
    std::lock_guard lock(mutex_);
    if (!openLocked(error)) return false;
    std::string set = "modified = ?";
    std::vector<Value> args{toSeconds(std::chrono::system_clock::now())};
    if (changes.data) set += ", data = ?", args.push_back(*changes.data);
    if (changes.label) set += ", label = ?", args.push_back(*changes.label);
    if (changes.comment) set += ", comment = ?", args.push_back(*changes.comment);
    if (changes.genericAttribute) set += ", generic = ?", args.push_back(*changes.genericAttribute);
    if (changes.accessibility) set += ", accessibility = ?", args.push_back(*changes.accessibility);
    auto w = whereFor(query);
    Statement st(db_, "UPDATE items SET " + set + w.sql);
    if (!st.ok()) return fail(error, errSecIO, sqlite3_errmsg(db_));
    int n = 1;
    for (auto& a : args) bind(st.stmt, n++, a);
    for (auto& a : w.args) bind(st.stmt, n++, a);
    if (sqlite3_step(st.stmt) != SQLITE_DONE) return fail(error, errSecIO, sqlite3_errmsg(db_));
    if (sqlite3_changes(db_) == 0)
        return fail(error, errSecItemNotFound, "The specified item could not be found in the keychain.");
    return true;
}

bool Keychain::remove(const Query& query, Error* error) {
    std::lock_guard lock(mutex_);
    if (!openLocked(error)) return false;
    auto w = whereFor(query);
    Statement st(db_, "DELETE FROM items" + w.sql);
    if (!st.ok()) return fail(error, errSecIO, sqlite3_errmsg(db_));
    for (size_t i = 0; i < w.args.size(); ++i) bind(st.stmt, int(i + 1), w.args[i]);
    if (sqlite3_step(st.stmt) != SQLITE_DONE) return fail(error, errSecIO, sqlite3_errmsg(db_));
    if (sqlite3_changes(db_) == 0)
        return fail(error, errSecItemNotFound, "The specified item could not be found in the keychain.");
    return true;
}

bool Keychain::setData(const std::string& service, const std::string& account, const Data& data, Error* error) {
    Changes c;
    c.data = data;
    Error e;
    if (update(Query::generic(service, account), c, &e)) return true;
    if (e.code != errSecItemNotFound) {
        if (error) *error = e;
        return false;
    }
    Item item;
    item.service = service;
    item.account = account;
    item.data = data;
    if (add(item, &e)) return true;
    // Another thread or process added it between the two steps.
    if (e.code == errSecDuplicateItem) return update(Query::generic(service, account), c, error);
    if (error) *error = e;
    return false;
}

std::optional<Data> Keychain::data(const std::string& service, const std::string& account, Error* error) {
    auto item = find(Query::generic(service, account), error);
    if (!item) return std::nullopt;
    return std::move(item->data);
}

}  // namespace keychain
