#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "imagecache/ZVKVStorage.h"
#include "platform/dispatch/Clock.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::TempDir;
using testsupport::waitFor;

Data bytes(const std::string& s) { return Data(s.begin(), s.end()); }
Data filled(size_t n, uint8_t seed) {
    Data d(n);
    for (size_t i = 0; i < n; ++i) d[i] = uint8_t(seed + i * 7);
    return d;
}

std::unique_ptr<ZVKVStorage> open(const fs::path& p, ZVKVStorageType type = ZVKVStorageType::Mixed) {
    return ZVKVStorage::initWithPath(p.string(), type);
}

size_t filesIn(const fs::path& dir) {
    size_t n = 0;
    for (auto& e : fs::directory_iterator(dir)) (void)e, ++n;
    return n;
}

// A second connection to the manifest, for looking behind the storage's back.
struct Manifest {
    sqlite3* db = nullptr;
    explicit Manifest(const fs::path& dir) { sqlite3_open((dir / "manifest.sqlite").c_str(), &db); }
    ~Manifest() { sqlite3_close(db); }
    void exec(const std::string& sql) { ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql; }
    int64_t accessTime(const std::string& key) {
        return integer("select last_access_time from manifest where key = '" + key + "';");
    }
    int64_t integer(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
        int64_t v = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -999;
        sqlite3_finalize(stmt);
        return v;
    }
};

std::string captureStderr(const std::function<void()>& f) {
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

// A path of `length` characters under `base`, in folders of at most 200.
std::string longPath(const fs::path& base, size_t length) {
    std::string path = base.string();
    while (path.size() < length) {
        size_t n = std::min<size_t>(200, length - path.size() - 1);
        if (n == 0) {
            path.back() = 'x';
            path += 'y';
            continue;
        }
        path += "/" + std::string(n, 'p');
    }
    return path;
}

TEST(KVStorageCreation, PathLengthAndTypeAreChecked) {
    TempDir tmp;
    // SQLite's Unix layer opens database paths of a little under 512 bytes only, so
    // the longest path that works end to end is shorter than the 960 that
    // the check lets through.
    std::string path = longPath(tmp.path(), 470);
    ASSERT_EQ(path.size(), 470u);
    auto s = open(path);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->saveItemWithKey("k", bytes("v"), "file", {}));
    EXPECT_EQ(s->getItemForKey("k")->value, bytes("v"));

    path = longPath(tmp.path(), 960);
    ASSERT_EQ(path.size(), 960u);
    std::string log = captureStderr([&] { EXPECT_EQ(open(path), nullptr); });
    EXPECT_EQ(log.find("invalid path"), std::string::npos) << log;  // passes the check...
    EXPECT_NE(log.find("ZVKVStorage init error: fail to open sqlite db."), std::string::npos) << log;
    EXPECT_TRUE(fs::is_directory(fs::path(path) / "data"));

    std::string tooLong = path + "q";
    log = captureStderr([&] { EXPECT_EQ(open(tooLong), nullptr); });
    EXPECT_NE(log.find("ZVKVStorage init error: invalid path: [" + tooLong + "]."), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(tooLong));

    log = captureStderr([&] { EXPECT_EQ(ZVKVStorage::initWithPath((tmp / "t").string(), ZVKVStorageType(3)), nullptr); });
    EXPECT_NE(log.find("ZVKVStorage init error: invalid type: 3."), std::string::npos) << log;
    EXPECT_EQ(open(""), nullptr);

    // A file where the folder should be.
    testsupport::writeFile(tmp / "plain", "x");
    log = captureStderr([&] { EXPECT_EQ(open(tmp / "plain"), nullptr); });
    EXPECT_NE(log.find("ZVKVStorage init error:"), std::string::npos);
}

TEST(KVStorageCreation, MakesTheFoldersAndTheSchema) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    ASSERT_TRUE(s);
    EXPECT_TRUE(fs::is_directory(tmp / "kv" / "data"));
    EXPECT_TRUE(fs::is_directory(tmp / "kv" / "trash"));
    Manifest m(tmp / "kv");
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(m.db, "pragma journal_mode;", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
    sqlite3_finalize(stmt);
    EXPECT_EQ(m.integer("select count(*) from sqlite_master where name = 'last_access_time_idx';"), 1);
}

TEST(KVStorageSave, RefusesEmptyValuesAndMissingFileNames) {
    TempDir tmp;
    auto file = open(tmp / "f", ZVKVStorageType::File);
    EXPECT_FALSE(file->saveItemWithKey("k", bytes("v")));  // the file type needs a name
    EXPECT_TRUE(file->saveItemWithKey("k", bytes("v"), "name", {}));
    EXPECT_EQ(testsupport::readFile(tmp / "f" / "data" / "name"), "v");

    auto mixed = open(tmp / "m");
    EXPECT_FALSE(mixed->saveItemWithKey("k", Data()));
    EXPECT_FALSE(mixed->saveItemWithKey("", bytes("v")));
    EXPECT_FALSE(mixed->itemExistsForKey("k"));
}

TEST(KVStorageSave, UnsafeFileNamesAreRefused) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    for (std::string name : std::vector<std::string>{".", "..", "../outside", "a/b", std::string("nul\0x", 5), ".zvkv-tmp-1"}) {
        EXPECT_FALSE(s->saveItemWithKey("k", bytes("v"), name, {})) << name;
    }
    EXPECT_FALSE(fs::exists(tmp / "outside"));
    EXPECT_EQ(s->getItemsCount(), 0);
    EXPECT_EQ(filesIn(tmp / "kv" / "data"), 0u);
}

TEST(KVStorageSave, MixedTypeMovesValuesBetweenFileAndInline) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    const fs::path file = tmp / "kv" / "data" / "f1";
    ASSERT_TRUE(s->saveItemWithKey("k", bytes("inline-1")));
    ASSERT_TRUE(s->saveItemWithKey("k", bytes("file-2"), "f1", bytes("ext")));
    EXPECT_TRUE(fs::exists(file));
    auto item = s->getItemForKey("k");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->value, bytes("file-2"));
    EXPECT_EQ(item->filename, "f1");
    EXPECT_EQ(item->extendedData, bytes("ext"));
    {
        Manifest m(tmp / "kv");
        EXPECT_EQ(m.integer("select count(*) from manifest where inline_data is null and key = 'k';"), 1);
    }

    ASSERT_TRUE(s->saveItemWithKey("k", bytes("inline-3")));
    EXPECT_FALSE(fs::exists(file));  // the earlier file is gone
    item = s->getItemForKey("k");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->value, bytes("inline-3"));
    EXPECT_TRUE(item->filename.empty());
    EXPECT_TRUE(item->extendedData.empty());
    EXPECT_EQ(*s->getItemValueForKey("k"), bytes("inline-3"));
}

TEST(KVStorageSave, SQLiteTypeKeepsValuesInline) {
    TempDir tmp;
    auto s = open(tmp / "kv", ZVKVStorageType::SQLite);
    ASSERT_TRUE(s->saveItemWithKey("a", bytes("1")));
    EXPECT_EQ(*s->getItemValueForKey("a"), bytes("1"));
    // A file name is still honoured, but removal there deletes rows only.
    ASSERT_TRUE(s->saveItemWithKey("b", bytes("2"), "fb", {}));
    EXPECT_EQ(s->getItemForKey("b")->value, bytes("2"));
    EXPECT_FALSE(s->getItemValueForKey("b"));  // reads inline data only
    EXPECT_TRUE(s->removeItemForKey("b"));
    EXPECT_TRUE(fs::exists(tmp / "kv" / "data" / "fb"));
}

TEST(KVStorageRead, AFileDeletedOrCutBehindTheStoragesBackCountsAsMissing) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    ASSERT_TRUE(s->saveItemWithKey("gone", filled(1000, 1), "g", {}));
    ASSERT_TRUE(s->saveItemWithKey("cut", filled(1000, 2), "c", {}));
    ASSERT_TRUE(s->saveItemWithKey("grown", filled(1000, 3), "w", {}));
    ASSERT_TRUE(s->saveItemWithKey("kept", filled(1000, 4), "k", {}));
    fs::remove(tmp / "kv" / "data" / "g");
    fs::resize_file(tmp / "kv" / "data" / "c", 500);
    fs::resize_file(tmp / "kv" / "data" / "w", 1500);

    EXPECT_FALSE(s->getItemForKey("gone"));
    EXPECT_FALSE(s->itemExistsForKey("gone"));
    EXPECT_FALSE(s->getItemValueForKey("cut"));
    EXPECT_FALSE(s->itemExistsForKey("cut"));
    EXPECT_FALSE(fs::exists(tmp / "kv" / "data" / "c"));
    auto items = s->getItemForKeys({"grown", "kept", "nothing"});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].key, "kept");
    EXPECT_EQ(items[0].value, filled(1000, 4));
    EXPECT_FALSE(s->itemExistsForKey("grown"));
    EXPECT_EQ(s->getItemsCount(), 1);
}

TEST(KVStorageRead, FileNamesFromTheDatabaseAreConfined) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    testsupport::writeFile(tmp / "kv" / "secret", "do not touch");
    testsupport::writeFile(tmp / "victim", "do not delete");
    {
        Manifest m(tmp / "kv");
        m.exec("insert into manifest values ('esc', '../secret', 12, null, 1, 1, null);");
        m.exec("insert into manifest values ('del', '../../victim', 13, null, 1, 1, null);");
    }
    EXPECT_FALSE(s->getItemForKey("esc"));
    EXPECT_FALSE(s->itemExistsForKey("esc"));  // the row is dropped
    EXPECT_TRUE(s->removeItemForKey("del"));
    EXPECT_EQ(testsupport::readFile(tmp / "kv" / "secret"), "do not touch");
    EXPECT_EQ(testsupport::readFile(tmp / "victim"), "do not delete");
}

TEST(KVStorageRead, AccessTimesAndInfoReads) {
    TempDir tmp;
    ScopedTestClock clock;
    auto s = open(tmp / "kv");
    ASSERT_TRUE(s->saveItemWithKey("k", bytes("value"), "", bytes("x")));
    int64_t saved = s->getItemInfoForKey("k")->accessTime;
    clock->advance(100s);
    auto info = s->getItemInfoForKey("k");
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->value.empty());
    EXPECT_EQ(info->size, 5);
    EXPECT_EQ(info->accessTime, saved);  // info reads leave the time alone
    EXPECT_EQ(s->getItemForKey("k")->value, bytes("value"));
    EXPECT_EQ(s->getItemInfoForKey("k")->accessTime, saved + 100);
    EXPECT_EQ(s->getItemInfoForKey("k")->modTime, saved);

    clock->advance(50s);
    EXPECT_EQ(s->getItemValueForKeys({"k", "x"}).size(), 1u);
    EXPECT_EQ(s->getItemInfoForKeys({"k"}).at(0).accessTime, saved + 150);
    EXPECT_TRUE(s->getItemForKeys({"x", "y"}).empty());
    EXPECT_TRUE(s->getItemForKeys({}).empty());
}

TEST(KVStorageRead, TimesAndSizesAreSixtyFourBit) {
    TempDir tmp;
    ScopedTestClock clock;
    // After January 2038 a 32-bit time wraps negative.
    clock->setWall(Clock::Wall(std::chrono::seconds(4102444800)));  // 2100-01-01
    auto s = open(tmp / "kv");
    ASSERT_TRUE(s->saveItemWithKey("k", bytes("v")));
    auto info = s->getItemInfoForKey("k");
    EXPECT_EQ(info->modTime, 4102444800);
    EXPECT_EQ(info->accessTime, 4102444800);
    // Old items are still found by age, and the sentinel keeps its meaning.
    EXPECT_TRUE(s->removeItemsEarlierThanTime(4102444800));
    EXPECT_TRUE(s->itemExistsForKey("k"));
    EXPECT_TRUE(s->removeItemsEarlierThanTime(4102444801));
    EXPECT_FALSE(s->itemExistsForKey("k"));

    ASSERT_TRUE(s->saveItemWithKey("small", bytes("v")));
    {
        Manifest m(tmp / "kv");
        m.exec("insert into manifest values ('big', null, 3000000000, x'01', 1, 1, null);");
    }
    EXPECT_EQ(s->getItemsSize(), 3000000001);
    EXPECT_EQ(s->getItemInfoForKey("big")->size, 3000000000);
    EXPECT_TRUE(s->removeItemsLargerThanSize(2500000000));
    EXPECT_EQ(s->getItemsCount(), 1);
}

// A hit writes nothing: its access time waits in memory, shows in what the
// storage returns, decides trims, and reaches the manifest in one batch.
TEST(KVStorageAccessTimes, ReadsAreBatchedYetTrimsSeeThem) {
    TempDir tmp;
    ScopedTestClock clock;
    auto s = open(tmp / "kv");
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(s->saveItemWithKey("k" + std::to_string(i), filled(100, uint8_t(i)), i % 2 ? "f" + std::to_string(i) : "", {}));
        clock->advance(10s);
    }
    const int64_t t0 = s->getItemInfoForKey("k0")->modTime;  // k3 was saved at t0 + 30
    Manifest m(tmp / "kv");
    auto stored = [&](const char* key) { return m.accessTime(key); };
    ASSERT_TRUE(s->getItemForKey("k0"));    // at t0 + 40
    ASSERT_TRUE(s->getItemValueForKey("k1"));
    EXPECT_EQ(stored("k0"), t0);            // nothing written yet
    EXPECT_EQ(stored("k1"), t0 + 10);
    EXPECT_EQ(s->pendingAccessCount(), 2u);
    EXPECT_EQ(s->getItemInfoForKey("k0")->accessTime, t0 + 40);
    EXPECT_EQ(s->getItemInfoForKeys({"k1"}).at(0).accessTime, t0 + 40);

    // Trimming by age and by count goes by the times just recorded.
    EXPECT_TRUE(s->removeItemsEarlierThanTime(t0 + 25));
    EXPECT_FALSE(s->itemExistsForKey("k2"));
    for (const char* k : {"k0", "k1", "k3"}) EXPECT_TRUE(s->itemExistsForKey(k)) << k;
    EXPECT_EQ(stored("k0"), t0 + 40);       // written with the trim
    EXPECT_EQ(s->pendingAccessCount(), 0u);
    clock->advance(1s);
    ASSERT_TRUE(s->getItemForKey("k3"));    // k0 and k1 are now the oldest
    EXPECT_TRUE(s->removeItemsToFitCount(1));
    EXPECT_TRUE(s->itemExistsForKey("k3"));
    EXPECT_EQ(s->getItemsCount(), 1);
}

TEST(KVStorageAccessTimes, SteadyReadersAndClosingWriteTheTimes) {
    TempDir tmp;
    ScopedTestClock clock;
    auto s = open(tmp / "kv");
    ASSERT_TRUE(s->saveItemWithKey("a", bytes("1")));
    ASSERT_TRUE(s->saveItemWithKey("b", filled(50, 2), "b", {}));
    const int64_t t0 = s->getItemInfoForKey("a")->modTime;
    Manifest m(tmp / "kv");
    auto stored = [&](const char* key) { return m.accessTime(key); };
    clock->advance(1s);
    ASSERT_EQ(s->getItemForKeys({"a", "b", "none"}).size(), 2u);
    clock->advance(std::chrono::seconds(ZVKVStorage::kAccessFlushInterval));
    ASSERT_TRUE(s->getItemForKey("a"));     // the oldest recorded time is due
    EXPECT_EQ(stored("a"), t0 + 1 + ZVKVStorage::kAccessFlushInterval);
    EXPECT_EQ(stored("b"), t0 + 1);
    EXPECT_EQ(s->pendingAccessCount(), 0u);

    clock->advance(1s);
    ASSERT_TRUE(s->getItemForKey("b"));
    // A save writes the waiting times first; a save of the same key wins.
    ASSERT_TRUE(s->saveItemWithKey("c", bytes("3")));
    EXPECT_EQ(stored("b"), t0 + 2 + ZVKVStorage::kAccessFlushInterval);
    clock->advance(1s);
    ASSERT_TRUE(s->getItemForKey("a"));
    s.reset();
    EXPECT_EQ(stored("a"), t0 + 3 + ZVKVStorage::kAccessFlushInterval);

    // A removed item or a reset storage leaves no time behind to write.
    s = open(tmp / "kv");
    ASSERT_TRUE(s->getItemForKey("b"));
    fs::remove(tmp / "kv" / "data" / "b");
    EXPECT_FALSE(s->getItemForKey("b"));
    EXPECT_EQ(s->pendingAccessCount(), 0u);
    ASSERT_TRUE(s->getItemForKey("c"));
    ASSERT_TRUE(s->removeAllItems());
    EXPECT_EQ(s->pendingAccessCount(), 0u);
    EXPECT_TRUE(s->flushAccessTimes());
}

TEST(KVStorageRemove, SentinelsAndEdges) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(s->saveItemWithKey("k" + std::to_string(i), filled(100 + i, 0)));
    EXPECT_TRUE(s->removeItemsEarlierThanTime(0));
    EXPECT_EQ(s->getItemsCount(), 5);
    EXPECT_TRUE(s->removeItemsLargerThanSize(ZVKVStorage::kNoLimit));
    EXPECT_TRUE(s->removeItemsToFitSize(ZVKVStorage::kNoLimit));
    EXPECT_TRUE(s->removeItemsToFitCount(ZVKVStorage::kNoLimit));
    EXPECT_EQ(s->getItemsCount(), 5);
    EXPECT_TRUE(s->removeItemsLargerThanSize(102));
    EXPECT_EQ(s->getItemsCount(), 3);
    EXPECT_TRUE(s->removeItemsEarlierThanTime(ZVKVStorage::kNoLimit));
    EXPECT_EQ(s->getItemsCount(), 0);
    EXPECT_FALSE(s->removeItemForKeys({}));
    EXPECT_FALSE(s->removeItemForKey(""));
    EXPECT_EQ(s->getItemsSize(), 0);
}

TEST(KVStorageRemove, FittingKeepsTheMostRecentlyAccessed) {
    TempDir tmp;
    ScopedTestClock clock;
    auto s = open(tmp / "kv");
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(s->saveItemWithKey("k" + std::to_string(i), filled(1000, uint8_t(i)), i % 2 ? "f" + std::to_string(i) : "", {}));
        clock->advance(1s);
    }
    s->getItemForKey("k0");  // now the most recent
    clock->advance(1s);
    EXPECT_TRUE(s->removeItemsToFitCount(3));
    EXPECT_EQ(s->getItemsCount(), 3);
    for (const char* k : {"k0", "k19", "k18"}) EXPECT_TRUE(s->itemExistsForKey(k)) << k;
    EXPECT_EQ(filesIn(tmp / "kv" / "data"), 1u);  // only f19 is left

    EXPECT_TRUE(s->removeItemsToFitSize(1500));
    EXPECT_EQ(s->getItemsCount(), 1);
    EXPECT_TRUE(s->itemExistsForKey("k0"));
    EXPECT_TRUE(s->removeItemsToFitSize(1000));  // already fits
    EXPECT_TRUE(s->removeItemsToFitSize(0));
    EXPECT_EQ(s->getItemsCount(), 0);
}

TEST(KVStorageRemove, ManyKeysAtOnce) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    std::vector<std::string> keys;
    // More keys than SQLite binds in one statement.
    for (int i = 0; i < 33000; ++i) keys.push_back("key-" + std::to_string(i));
    {
        Manifest m(tmp / "kv");
        m.exec("begin;");
        for (int i = 0; i < 33000; ++i) {
            m.exec("insert into manifest values ('key-" + std::to_string(i) + "', " +
                   (i % 1000 == 0 ? "'f" + std::to_string(i) + "'" : std::string("null")) + ", 1, x'01', 1, 1, null);");
        }
        m.exec("commit;");
    }
    for (int i = 0; i < 33000; i += 1000) testsupport::writeFile(tmp / "kv" / "data" / ("f" + std::to_string(i)), "x");
    EXPECT_EQ(s->getItemForKeys(keys).size(), 33000u);
    EXPECT_EQ(s->getItemInfoForKeys(keys).size(), 33000u);
    keys.push_back("not-there");
    EXPECT_TRUE(s->removeItemForKeys(keys));
    EXPECT_EQ(s->getItemsCount(), 0);
    EXPECT_EQ(filesIn(tmp / "kv" / "data"), 0u);
}

TEST(KVStorageRemove, RemoveAllMovesTheDataToTheTrashAndEmptiesIt) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(s->saveItemWithKey("k" + std::to_string(i), filled(50, 1), "f" + std::to_string(i), {}));
    ASSERT_TRUE(s->removeAllItems());
    EXPECT_EQ(s->getItemsCount(), 0);
    EXPECT_EQ(filesIn(tmp / "kv" / "data"), 0u);
    ASSERT_TRUE(waitFor([&] { return filesIn(tmp / "kv" / "trash") == 0; }));
    ASSERT_TRUE(s->saveItemWithKey("again", bytes("v")));
    EXPECT_EQ(s->getItemsCount(), 1);
}

TEST(KVStorageRemove, RemoveAllWithProgressReportsEachBatch) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    std::vector<std::pair<int64_t, int64_t>> steps;
    std::optional<bool> error;
    s->removeAllItemsWithProgressBlock([&](int64_t r, int64_t t) { steps.emplace_back(r, t); },
                                       [&](bool e) { error = e; });
    EXPECT_TRUE(steps.empty());
    ASSERT_TRUE(error);
    EXPECT_FALSE(*error);  // empty is not an error

    for (int i = 0; i < 70; ++i) ASSERT_TRUE(s->saveItemWithKey("k" + std::to_string(i), filled(10, 1), i % 7 ? "" : "f" + std::to_string(i), {}));
    error.reset();
    s->removeAllItemsWithProgressBlock([&](int64_t r, int64_t t) { steps.emplace_back(r, t); },
                                       [&](bool e) { error = e; });
    EXPECT_EQ(steps, (std::vector<std::pair<int64_t, int64_t>>{{32, 70}, {64, 70}, {70, 70}}));
    ASSERT_TRUE(error);
    EXPECT_FALSE(*error);
    EXPECT_EQ(s->getItemsCount(), 0);
    EXPECT_EQ(filesIn(tmp / "kv" / "data"), 0u);
}

TEST(KVStorageRecovery, LeftoversAreSweptAtCreation) {
    TempDir tmp;
    {
        auto s = open(tmp / "kv");
        ASSERT_TRUE(s->saveItemWithKey("k", bytes("file value"), "kept", {}));
    }
    testsupport::writeFile(tmp / "kv" / "data" / ".zvkv-tmp-ABC", "half a val");
    testsupport::writeFile(tmp / "kv" / "data" / "orphan", "no row");
    auto s = open(tmp / "kv");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->getItemForKey("k")->value, bytes("file value"));
    EXPECT_EQ(filesIn(tmp / "kv" / "data"), 1u);
    ASSERT_TRUE(waitFor([&] { return filesIn(tmp / "kv" / "trash") == 0; }));
}

TEST(KVStorageRecovery, AGarbageManifestIsReplaced) {
    TempDir tmp;
    fs::create_directories(tmp / "kv" / "data");
    testsupport::writeFile(tmp / "kv" / "manifest.sqlite", std::string(10000, 'G'));
    testsupport::writeFile(tmp / "kv" / "data" / "old", "stale");
    auto s = open(tmp / "kv");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->getItemsCount(), 0);
    EXPECT_FALSE(fs::exists(tmp / "kv" / "data" / "old"));
    ASSERT_TRUE(s->saveItemWithKey("k", bytes("v")));
    EXPECT_EQ(*s->getItemValueForKey("k"), bytes("v"));
}

// Overwrites one page of the closed database with garbage.
void damagePage(const fs::path& db, int64_t page) {
    std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((page - 1) * 4096);
    std::string garbage(4096, '\x5a');
    f.write(garbage.data(), garbage.size());
}

TEST(KVStorageRecovery, ADamagedTablePageIsFoundAtCreation) {
    TempDir tmp;
    {
        auto s = open(tmp / "kv");
        for (int i = 0; i < 400; ++i) ASSERT_TRUE(s->saveItemWithKey("k" + std::to_string(i), filled(900, uint8_t(i))));
    }
    int64_t root;
    {
        Manifest m(tmp / "kv");
        root = m.integer("select rootpage from sqlite_master where name = 'manifest';");
    }
    damagePage(tmp / "kv" / "manifest.sqlite", root);
    std::string log;
    std::unique_ptr<ZVKVStorage> s;
    log = captureStderr([&] { s = open(tmp / "kv"); });
    ASSERT_TRUE(s);
    EXPECT_EQ(s->getItemsCount(), 0);
    ASSERT_TRUE(s->saveItemWithKey("k", bytes("v")));
    EXPECT_EQ(s->getItemForKey("k")->value, bytes("v"));
}

TEST(KVStorageRecovery, ADamagedIndexFoundAtRunTimeResetsOnce) {
    TempDir tmp;
    {
        auto s = open(tmp / "kv");
        for (int i = 0; i < 400; ++i) ASSERT_TRUE(s->saveItemWithKey("k" + std::to_string(i), filled(900, uint8_t(i)), i % 50 ? "" : "f" + std::to_string(i), {}));
    }
    int64_t root;
    {
        Manifest m(tmp / "kv");
        root = m.integer("select rootpage from sqlite_master where name = 'last_access_time_idx';");
    }
    damagePage(tmp / "kv" / "manifest.sqlite", root);
    auto s = open(tmp / "kv");
    ASSERT_TRUE(s);
    std::string log = captureStderr([&] { EXPECT_FALSE(s->removeItemsToFitCount(10)); });
    EXPECT_NE(log.find("damaged database"), std::string::npos) << log;
    // The storage came back empty and usable, its files gone with it.
    EXPECT_EQ(s->getItemsCount(), 0);
    EXPECT_EQ(filesIn(tmp / "kv" / "data"), 0u);
    ASSERT_TRUE(s->saveItemWithKey("k", bytes("v"), "f", {}));
    EXPECT_EQ(s->getItemForKey("k")->value, bytes("v"));
    EXPECT_TRUE(s->removeItemsToFitCount(10));
}

// A storage whose database was closed and could not be opened again: a
// folder in the database's place can be neither opened nor removed.
std::unique_ptr<ZVKVStorage> openBlocked(const fs::path& dir) {
    auto s = open(dir);
    s->setErrorLogsEnabled(false);
    fs::remove(dir / "manifest.sqlite");
    fs::create_directories(dir / "manifest.sqlite" / "block");
    EXPECT_FALSE(s->removeAllItems());  // closes, and the reopen fails
    return s;
}

TEST(KVStorageRecovery, ReopeningBacksOffAndGivesUpAfterEightFailures) {
    TempDir tmp;
    ScopedTestClock clock;
    auto s = openBlocked(tmp / "kv");  // one failed open
    EXPECT_EQ(s->getItemsCount(), -1);  // within 2 s: not even tried
    for (int failures = 2; failures <= 8; ++failures) {
        clock->advance(2100ms);
        EXPECT_EQ(s->getItemsCount(), -1);
    }
    fs::remove_all(tmp / "kv" / "manifest.sqlite");
    clock->advance(60s);
    EXPECT_EQ(s->getItemsCount(), -1);
    EXPECT_FALSE(s->saveItemWithKey("k", bytes("v")));
    EXPECT_FALSE(fs::exists(tmp / "kv" / "manifest.sqlite"));  // never touched again
    auto fresh = open(tmp / "kv");
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->getItemsCount(), 0);
}

TEST(KVStorageRecovery, ReopeningSucceedsAfterTheBackOff) {
    TempDir tmp;
    ScopedTestClock clock;
    auto s = openBlocked(tmp / "kv");
    fs::remove_all(tmp / "kv" / "manifest.sqlite");
    EXPECT_FALSE(s->saveItemWithKey("k", bytes("v")));
    clock->advance(2100ms);
    EXPECT_TRUE(s->saveItemWithKey("k", bytes("v")));
    EXPECT_EQ(s->getItemsCount(), 1);
}

TEST(KVStorageLogging, ErrorsAreLoggedUnlessTurnedOff) {
    TempDir tmp;
    auto s = open(tmp / "kv");
    {
        Manifest m(tmp / "kv");
        m.exec("drop table manifest;");
    }
    std::string log = captureStderr([&] { EXPECT_EQ(s->getItemsCount(), -1); });
    EXPECT_NE(log.find("-[ZVKVStorage _dbGetTotalItemCount] line:"), std::string::npos) << log;
    EXPECT_NE(log.find("no such table: manifest"), std::string::npos) << log;
    s->setErrorLogsEnabled(false);
    log = captureStderr([&] { EXPECT_EQ(s->getItemsSize(), -1); });
    EXPECT_EQ(log.find("sqlite"), std::string::npos) << log;
}

}  // namespace
