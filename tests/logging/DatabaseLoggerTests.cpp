// The database logger's batching by count and by time and its deletion
// timer, over a real SQLite database.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include "LogTestSupport.h"
#include "logging/VLAbstractDatabaseLogger.h"
#include "platform/dispatch/Clock.h"

using namespace logtest;
using namespace std::chrono_literals;

namespace {

// Keeps records in SQLite: a pending batch in memory, written in one
// transaction; deletion by the record's time against the clock.
class SQLiteLogger : public VLAbstractDatabaseLogger {
public:
    explicit SQLiteLogger(const fs::path& file) : VLAbstractDatabaseLogger("test.sqlite") {
        sqlite3_open(file.c_str(), &db_);
        sqlite3_exec(db_, "CREATE TABLE logs (time REAL, text TEXT)", nullptr, nullptr, nullptr);
    }
    ~SQLiteLogger() override { sqlite3_close(db_); }

    std::atomic<int> saves{0}, deletes{0}, saveAndDeletes{0};

    int rows() {
        int n = 0;
        loggerQueue()->sync([&] {
            sqlite3_stmt* s;
            sqlite3_prepare_v2(db_, "SELECT COUNT(*) FROM logs", -1, &s, nullptr);
            if (sqlite3_step(s) == SQLITE_ROW) n = sqlite3_column_int(s, 0);
            sqlite3_finalize(s);
        });
        return n;
    }

protected:
    bool db_log(const VLLogMessagePtr& m) override {
        if (m->message() == "reject") return false;
        pending_.emplace_back(std::chrono::duration<double>(m->timestamp().time_since_epoch()).count(),
                              std::string(m->message()));
        return true;
    }
    void db_save() override {
        ++saves;
        write();
    }
    void db_delete() override {
        ++deletes;
        prune();
    }
    void db_saveAndDelete() override {
        ++saveAndDeletes;
        write();
        prune();
    }

private:
    void write() {
        sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* s;
        sqlite3_prepare_v2(db_, "INSERT INTO logs VALUES (?, ?)", -1, &s, nullptr);
        for (auto& [t, text] : pending_) {
            sqlite3_bind_double(s, 1, t);
            sqlite3_bind_text(s, 2, text.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(s);
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        pending_.clear();
    }
    void prune() {
        sqlite3_stmt* s;
        sqlite3_prepare_v2(db_, "DELETE FROM logs WHERE time < ?", -1, &s, nullptr);
        sqlite3_bind_double(s, 1, Clock::timeIntervalSince1970() - ageLimit);
        sqlite3_step(s);
        sqlite3_finalize(s);
    }

public:
    double ageLimit = 7 * 24 * 3600;

private:
    sqlite3* db_ = nullptr;
    std::vector<std::pair<double, std::string>> pending_;
};

class DatabaseLogger : public LoggingTest {
protected:
    ScopedTestClock clock;
    testsupport::TempDir dir;
    std::shared_ptr<SQLiteLogger> logger = std::make_shared<SQLiteLogger>(dir / "logs.sqlite");

    // Logs and waits until the logger has taken the records, so that the
    // clock moves on only afterwards.
    void log(const char* text, int times = 1) {
        for (int i = 0; i < times; ++i) VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), "%s", text);
        settle();
    }
    // Waits until records and changes queued so far have been taken.
    void settle() {
        VLLog::syncOnLoggingQueue([] {});
        logger->loggerQueue()->sync([] {});
    }
    void advance(std::chrono::nanoseconds d) {
        clock->advance(d);
        settle();
    }
};

TEST_F(DatabaseLogger, SavesAtTheFiveHundredthRecordAndOneRecordAMinuteLater) {
    VLLog::addLogger(logger);
    log("batch", 499);
    settle();
    EXPECT_EQ(logger->rows(), 0);
    log("batch");
    settle();
    EXPECT_EQ(logger->rows(), 500);
    EXPECT_EQ(logger->saves.load(), 1);

    log("single");
    advance(59s);
    EXPECT_EQ(logger->rows(), 500);
    advance(2s);
    EXPECT_EQ(logger->rows(), 501);
    EXPECT_EQ(logger->saves.load(), 2);
    // Nothing pending: the timer stays quiet.
    advance(10min);
    EXPECT_EQ(logger->saves.load(), 2);
    // The next record starts the clock again from its own arrival.
    advance(30s);
    log("later");
    advance(59s);
    EXPECT_EQ(logger->rows(), 501);
    advance(2s);
    EXPECT_EQ(logger->rows(), 502);
}

TEST_F(DatabaseLogger, ARecordNotTakenCountsForNothing) {
    VLLog::addLogger(logger);
    log("reject", 600);
    advance(5min);
    EXPECT_EQ(logger->saves.load(), 0);
    EXPECT_EQ(logger->rows(), 0);
}

TEST_F(DatabaseLogger, EachRuleAlone) {
    logger->setSaveThreshold(0);  // only the timer saves
    VLLog::addLogger(logger);
    log("x", 800);
    settle();
    EXPECT_EQ(logger->rows(), 0);
    advance(61s);
    EXPECT_EQ(logger->rows(), 800);

    logger->setSaveThreshold(10);
    logger->setSaveInterval(0);  // only the count saves
    log("y", 9);
    advance(1h);
    EXPECT_EQ(logger->rows(), 800);
    log("y");
    settle();
    EXPECT_EQ(logger->rows(), 810);
    EXPECT_EQ(logger->saveThreshold(), 10u);
    EXPECT_EQ(logger->saveInterval(), 0);

    // Lowering the threshold below what is pending saves at once.
    log("z", 5);
    logger->setSaveThreshold(3);
    settle();
    EXPECT_EQ(logger->rows(), 815);
}

TEST_F(DatabaseLogger, DeletionRunsOnItsIntervalAndWhenTheAgeIsLowered) {
    VLLog::addLogger(logger);
    settle();
    EXPECT_EQ(logger->deletes.load(), 0);
    advance(301s);
    EXPECT_EQ(logger->deletes.load(), 1);
    advance(300s);
    EXPECT_EQ(logger->deletes.load(), 2);

    logger->setMaxAge(3600);  // lower: at once
    settle();
    EXPECT_EQ(logger->deletes.load(), 3);
    logger->setMaxAge(7200);  // higher: not
    settle();
    EXPECT_EQ(logger->deletes.load(), 3);

    // Old rows go, young ones stay.
    log("old", 500);
    settle();
    advance(2h);
    logger->loggerQueue()->sync([&] { logger->ageLimit = 3600; });
    log("young", 500);
    settle();
    EXPECT_EQ(logger->rows(), 1000);
    logger->deleteOldLogEntries();
    settle();
    EXPECT_EQ(logger->rows(), 500);

    logger->setMaxAge(0);  // off: the timer goes
    settle();
    int before = logger->deletes.load();
    advance(1h);
    EXPECT_EQ(logger->deletes.load(), before);
}

TEST_F(DatabaseLogger, FlushSavesOnlyWhatIsPendingAndDeleteOnEverySaveDoesBoth) {
    VLLog::addLogger(logger);
    VLLog::flushLog();
    EXPECT_EQ(logger->saves.load() + logger->saveAndDeletes.load(), 0);
    logger->setDeleteOnEverySave(true);
    EXPECT_TRUE(logger->deleteOnEverySave());
    log("a", 3);
    VLLog::flushLog();
    EXPECT_EQ(logger->saveAndDeletes.load(), 1);
    EXPECT_EQ(logger->saves.load(), 0);
    EXPECT_EQ(logger->rows(), 3);
}

TEST_F(DatabaseLogger, RemovalSavesWhatIsPendingAndStopsTheTimers) {
    VLLog::addLogger(logger);
    log("pending", 7);
    VLLog::removeLogger(logger);
    settle();
    EXPECT_EQ(logger->rows(), 7);
    int deletes = logger->deletes.load();
    advance(1h);
    EXPECT_EQ(logger->deletes.load(), deletes);
}

}  // namespace
