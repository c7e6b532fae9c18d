#pragma once
// What a test reads of an SQLite database from outside the code under
// test: its rows, through a connection of its own, and how many
// transactions its write-ahead log holds (a count of writes that no API
// tells).

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// `select count(*)` of `table`; -1 when the database cannot be read.
inline int64_t sqliteRowCount(const std::filesystem::path& database, const std::string& table) {
    sqlite3* db = nullptr;
    int64_t count = -1;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        std::string sql = "select count(*) from " + table + ";";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
            count = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return count;
}

// The commits in a write-ahead log ("<database>-wal"): frames of the log's
// current generation (their salts match its header) that end a transaction.
inline size_t sqliteWALCommits(const std::filesystem::path& wal) {
    std::vector<unsigned char> bytes;
    if (FILE* f = std::fopen(wal.c_str(), "rb")) {
        unsigned char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
    };
    if (bytes.size() < 32) return 0;
    const size_t pageSize = u32(8), frameSize = 24 + pageSize;
    size_t commits = 0;
    for (size_t at = 32; pageSize > 0 && at + frameSize <= bytes.size(); at += frameSize) {
        if (u32(at + 8) != u32(16) || u32(at + 12) != u32(20)) break;  // an older generation's frames
        commits += u32(at + 4) != 0;
    }
    return commits;
}

}  // namespace testsupport
