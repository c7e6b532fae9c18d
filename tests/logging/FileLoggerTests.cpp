// The rolling file logger: line format, rolling by size, age and outside
// changes, resuming at start, formatters and the archived mark.

#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>

#include "LogTestSupport.h"
#include "logging/VLFileLogger.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Strings.h"

using namespace logtest;
using namespace std::chrono_literals;

namespace {

NSDateFormatter::Date parseDate(const std::string& text) {
    auto d = NSDateFormatter("yyyy-MM-dd HH:mm:ss.SSS Z").dateFromString(text);
    EXPECT_TRUE(d.has_value()) << text;
    return d.value_or(NSDateFormatter::Date{});
}

VLLogMessagePtr record(std::string text, uint64_t flag = VLLogFlagInfo,
                       std::optional<VLLogMessage::Date> when = std::nullopt) {
    return std::make_shared<VLLogMessage>(std::move(text), VLLogLevelAll, flag, 0, __FILE__, "fn", 1, Value(), 0,
                                          when);
}

void logAsync(const std::string& text) { VLLog::log(true, record(text)); }

class FileLoggerTest : public LoggingTest {
protected:
    testsupport::TempHome home;
    fs::path logs = AppHome::caches() / "Logs";

    std::shared_ptr<VLFileLogger> addFileLogger() {
        auto logger = std::make_shared<VLFileLogger>();
        VLLog::addLogger(logger);
        return logger;
    }
    // Waits until the logger's queue has run everything posted so far.
    static void settle(const std::shared_ptr<VLFileLogger>& logger) {
        VLLog::flushLog();
        logger->loggerQueue()->sync([] {});
    }
    std::vector<fs::path> logFiles() { return filesIn(logs); }
};

std::string appName() { return VLLogFileManagerDefault::applicationName(); }

bool hasArchivedMark(const fs::path& p) { return VLLogFileInfo(p).isArchived(); }

TEST(FileLineFormat, GMTTimeTwoBlanksAndTheTextByteForByte) {
    VLLogFileFormatterDefault formatter;
    auto when = parseDate("2026-12-05 18:52:51.123 +0800");
    EXPECT_EQ(formatter.formatLogMessage(*record("hello", VLLogFlagInfo, when)), "2026/12/05 10:52:51:123  hello");

    // A caller's formatter is used as it is, zone included.
    VLLogFileFormatterDefault own(std::make_shared<NSDateFormatter>("HH:mm", NSDateFormatter::TimeZone::fixed(3600)));
    EXPECT_EQ(own.formatLogMessage(*record("x", VLLogFlagInfo, when)), "11:52  x");
}

TEST_F(FileLoggerTest, FileNameAndLinesAsWrittenToDisk) {
    auto clock = std::make_shared<TestClock>(parseDate("2026-12-05 18:52:51.123 +0800"));
    Clock::install(clock);
    auto logger = addFileLogger();
    logAsync("first");
    logAsync("ends with a line end\n");
    logAsync("");  // the line still has its date
    logAsync("ünïcødé 日本");
    settle(logger);
    Clock::install(nullptr);

    auto files = logFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string(), appName() + " 2026-12-05--10-52-51-123.log");
    EXPECT_EQ(testsupport::readFile(files[0]),
              "2026/12/05 10:52:51:123  first\n"
              "2026/12/05 10:52:51:123  ends with a line end\n"
              "2026/12/05 10:52:51:123  \n"
              "2026/12/05 10:52:51:123  ünïcødé 日本\n");
}

TEST_F(FileLoggerTest, SynchronousErrorIsOnDiskWhenTheCallReturns) {
    addFileLogger();
    for (int i = 0; i < 50; ++i) VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), "warm %d", i);
    VLLog::log(false, VLLogLevelAll, VLLogFlagError, 0, "f", "fn", 1, Value(), "%s", "the error");
    auto lines = linesOfFolder(logs);
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_TRUE(strings::hasSuffix(lines.back(), "  the error"));
}

TEST_F(FileLoggerTest, RollsAtOneMebibyteBetweenWholeLines) {
    auto logger = addFileLogger();
    std::string pad(1000, 'x');
    const int n = 1100;  // a little over 1 MiB
    for (int i = 0; i < n; ++i) logAsync(strings::format("%06d %s", i, pad.c_str()));
    settle(logger);

    auto files = logFiles();
    ASSERT_EQ(files.size(), 2u);
    auto size0 = fs::file_size(files[0]);
    size_t lineLength = linesOf(files[0]).front().size() + 1;
    EXPECT_GE(size0, 1048576u);
    EXPECT_LT(size0 - lineLength, 1048576u);
    EXPECT_TRUE(hasArchivedMark(files[0]));
    EXPECT_FALSE(hasArchivedMark(files[1]));
    auto lines = linesOfFolder(logs);
    ASSERT_EQ(lines.size(), size_t(n));
    for (int i = 0; i < n; ++i) ASSERT_NE(lines[i].find(strings::format("  %06d ", i)), std::string::npos);

    // Lowering the limit below the current size rolls at once.
    logger->setMaximumFileSize(100);
    settle(logger);
    EXPECT_TRUE(hasArchivedMark(files[1]));
    EXPECT_EQ(logger->maximumFileSize(), 100u);
}

TEST_F(FileLoggerTest, RollsWhenTheFileIsAnHourOldByTheTestClock) {
    ScopedTestClock clock;
    auto logger = std::make_shared<VLFileLogger>();
    logger->setRollingFrequency(3600);
    EXPECT_EQ(logger->rollingFrequency(), 3600);
    settle(logger);
    EXPECT_TRUE(logFiles().empty());  // setting the frequency opens no file
    VLLog::addLogger(logger);
    logAsync("in the first hour");
    settle(logger);
    ASSERT_EQ(logFiles().size(), 1u);
    fs::path first = logFiles()[0];

    clock->advance(3590s);
    settle(logger);
    EXPECT_FALSE(hasArchivedMark(first));
    clock->advance(15s);
    ASSERT_TRUE(testsupport::waitFor([&] { return hasArchivedMark(first); }));
    logAsync("in the second hour");
    settle(logger);
    auto files = logFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(linesOf(files[1]).size(), 1u);

    // Frequency 0: the timer goes and age never rolls.
    logger->setRollingFrequency(0);
    settle(logger);  // the change is asynchronous
    clock->advance(10h);
    settle(logger);
    EXPECT_FALSE(hasArchivedMark(files[1]));
}

TEST_F(FileLoggerTest, ResumesAYoungSmallFileAndArchivesAnOldOne) {
    ScopedTestClock clock;
    auto makeOld = [&](const std::string& name) {
        testsupport::writeFile(logs / name, std::string(2047, 'o') + "\n");
        return logs / name;
    };
    fs::path young = makeOld(appName() + " 2020-01-01--00-00-00-000.log");
    clock->advance(10min);
    auto logger = std::make_shared<VLFileLogger>();
    logger->setRollingFrequency(3600);
    VLLog::addLogger(logger);
    logAsync("appended");
    settle(logger);
    ASSERT_EQ(logFiles(), std::vector<fs::path>{young});
    EXPECT_EQ(fs::file_size(young), 2048u + linesOf(young).back().size() + 1);
    resetLogging();
    logger->loggerQueue()->sync([] {});  // the removal rolled it
    logger.reset();

    fs::path old = makeOld(appName() + " 2021-01-01--00-00-00-000.log");
    clock->advance(2h);
    logger = std::make_shared<VLFileLogger>();
    logger->setRollingFrequency(3600);
    VLLog::addLogger(logger);
    logAsync("new file");
    settle(logger);
    EXPECT_TRUE(hasArchivedMark(old));
    auto files = logFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(linesOf(files[2]).size(), 1u);
}

TEST_F(FileLoggerTest, DoNotReuseLogFilesAlwaysStartsANewFile) {
    fs::path fresh = logs / (appName() + " 2020-01-01--00-00-00-000.log");
    testsupport::writeFile(fresh, "x\n");
    auto logger = std::make_shared<VLFileLogger>();
    logger->setDoNotReuseLogFiles(true);
    VLLog::addLogger(logger);
    logAsync("line");
    settle(logger);
    EXPECT_TRUE(hasArchivedMark(fresh));
    EXPECT_EQ(testsupport::readFile(fresh), "x\n");
    EXPECT_EQ(logFiles().size(), 2u);
}

// Two threads log numbered lines while `disturb` runs; whatever was lost
// went with the removed file, so each thread's surviving lines must be an
// unbroken run up to its last line.
void logFromTwoThreadsWhile(const fs::path& logs, const std::shared_ptr<VLFileLogger>& logger,
                            const std::function<void()>& disturb) {
    constexpr int kEach = 20000;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([t, &go] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < kEach; ++i)
                VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), "t%d %06d", t, i);
        });
    go = true;
    ASSERT_TRUE(testsupport::waitFor([&] {
        auto files = filesIn(logs);
        std::error_code ec;
        return !files.empty() && fs::file_size(files[0], ec) > 20000;
    }));
    disturb();
    for (auto& th : threads) th.join();
    VLLog::flushLog();
    logger->loggerQueue()->sync([] {});

    auto lines = linesOfFolder(logs);
    std::vector<int> first(2, -1), next(2, -1);
    for (auto& line : lines) {
        int t, i;
        ASSERT_EQ(sscanf(line.c_str() + 25, "t%d %d", &t, &i), 2) << line;
        if (first[t] < 0) first[t] = next[t] = i;
        ASSERT_EQ(i, next[t]) << "a gap in thread " << t;
        ++next[t];
    }
    // A thread that finished before the disturbance has all its lines in the
    // old file and none here; any other ends its run at its last line.
    for (int t = 0; t < 2; ++t)
        EXPECT_TRUE(first[t] < 0 || next[t] == kEach) << "thread " << t << " stopped at " << next[t];
    EXPECT_TRUE(first[0] >= 0 || first[1] >= 0) << "nothing was logged after the disturbance";
}

TEST_F(FileLoggerTest, TheOpenFileDeletedWhileTwoThreadsLog) {
    auto logger = addFileLogger();
    fs::path removed;
    logFromTwoThreadsWhile(logs, logger, [&] {
        removed = filesIn(logs).at(0);
        fs::remove(removed);
    });
    EXPECT_FALSE(fs::exists(removed));
    EXPECT_GE(logFiles().size(), 1u);
}

TEST_F(FileLoggerTest, TheFolderRemovedWhileTwoThreadsLog) {
    auto logger = addFileLogger();
    logFromTwoThreadsWhile(logs, logger, [&] { fs::remove_all(logs); });
    EXPECT_TRUE(fs::is_directory(logs));
}

TEST_F(FileLoggerTest, TheOpenFileMovedAwayKeepsItsLinesAndANewFileStarts) {
    auto logger = addFileLogger();
    testsupport::TempDir elsewhere;
    fs::path moved = elsewhere / "moved.log";
    logFromTwoThreadsWhile(logs, logger, [&] { fs::rename(filesIn(logs).at(0), moved); });
    // Nothing was lost: the moved file holds the start, the new files the rest.
    auto before = linesOf(moved);
    auto after = linesOfFolder(logs);
    EXPECT_FALSE(after.empty());
    EXPECT_EQ(before.size() + after.size(), 40000u);
}

TEST_F(FileLoggerTest, FormattersDecideTextAndLineEnds) {
    struct Custom : VLLogFormatter {
        std::optional<std::string> formatLogMessage(const VLLogMessage& m) override {
            if (m.message() == "drop") return std::nullopt;
            if (m.message() == "same") return std::string(m.message());
            return "<" + std::string(m.message()) + ">";
        }
    };
    auto logger = addFileLogger();
    logger->setLogFormatter(std::make_shared<Custom>());
    logAsync("a");
    logAsync("drop");
    logAsync("same");
    settle(logger);
    logger->setAutomaticallyAppendNewlineForCustomFormatters(false);
    logAsync("b");
    logAsync("c");
    logAsync("same");
    settle(logger);
    EXPECT_EQ(testsupport::readFile(logFiles().at(0)), "<a>\nsame\n<b><c>same\n");
}

TEST_F(FileLoggerTest, RollingWithNoFileOpenStillRunsTheCompletion) {
    auto logger = std::make_shared<VLFileLogger>();
    std::atomic<bool> done{false};
    logger->rollLogFile([&] { done = true; });
    EXPECT_TRUE(testsupport::waitFor([&] { return done.load(); }));
    EXPECT_TRUE(logFiles().empty());
}

TEST_F(FileLoggerTest, TheManagerHearsOfEachArchivedFile) {
    struct Listening : VLLogFileManagerDefault {
        std::mutex m;
        std::vector<std::pair<std::string, bool>> heard;
        void didArchiveLogFile_wasRolled(const path& p, bool rolled) override {
            std::lock_guard lock(m);
            heard.emplace_back(p.filename().string(), rolled);
        }
    };
    auto manager = std::make_shared<Listening>();
    fs::path stale = logs / (appName() + " 2020-01-01--00-00-00-000.log");
    testsupport::writeFile(stale, "old\n");
    auto logger = std::make_shared<VLFileLogger>(manager, DispatchQueue::main());
    logger->setDoNotReuseLogFiles(true);
    VLLog::addLogger(logger);
    logAsync("x");
    settle(logger);
    std::string current = logger->currentLogFileInfo()->fileName();
    logger->rollLogFile();
    settle(logger);
    ASSERT_TRUE(testsupport::waitFor([&] {
        std::lock_guard lock(manager->m);
        return manager->heard.size() == 2;
    }));
    std::lock_guard lock(manager->m);
    EXPECT_EQ(manager->heard[0], std::make_pair(stale.filename().string(), false));
    EXPECT_EQ(manager->heard[1], std::make_pair(current, true));
}

TEST_F(FileLoggerTest, AtMost48FilesKeptNewestFirst) {
    ScopedTestClock clock;
    auto logger = std::make_shared<VLFileLogger>();
    logger->setRollingFrequency(3600);
    logger->logFileManager()->setMaximumNumberOfLogFiles(48);
    logger->setMaximumFileSize(100);
    VLLog::addLogger(logger);
    std::string pad(200, 'p');
    for (int i = 0; i < 60; ++i) {
        VLLog::log(false, VLLogLevelAll, VLLogFlagError, 0, "f", "fn", 1, Value(), "%02d %s", i, pad.c_str());
        clock->advance(1s);
    }
    settle(logger);
    static_cast<VLLogFileManagerDefault*>(logger->logFileManager().get())->deleteOldLogFiles();
    auto files = logFiles();
    ASSERT_EQ(files.size(), 48u);
    // The survivors are the newest: lines 12 to 59, one per file.
    auto lines = linesOfFolder(logs);
    ASSERT_EQ(lines.size(), 48u);
    EXPECT_EQ(lines.front().substr(25, 2), "12");
    EXPECT_EQ(lines.back().substr(25, 2), "59");
}

TEST_F(FileLoggerTest, AtMost20MebibytesKept) {
    auto logger = std::make_shared<VLFileLogger>();
    logger->logFileManager()->setMaximumNumberOfLogFiles(48);
    VLLog::addLogger(logger);
    std::string pad(4000, 'q');
    for (int i = 0; i < 6600; ++i) logAsync(strings::format("%05d %s", i, pad.c_str()));
    settle(logger);
    static_cast<VLLogFileManagerDefault*>(logger->logFileManager().get())->deleteOldLogFiles();
    uint64_t total = 0;
    for (auto& f : logFiles()) total += fs::file_size(f);
    EXPECT_LE(total, 20u * 1024 * 1024);
    EXPECT_GE(total, 18u * 1024 * 1024);
    auto last = linesOf(logFiles().back());
    EXPECT_EQ(last.back().substr(25, 5), "06599");
}

// ---- the file record ----

class FileInfo : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    fs::path file = dir / "a.log";
    void SetUp() override { testsupport::writeFile(file, ""); }

    // Whether this file system keeps user attributes.
    bool userAttributesWork() {
        const char v = 0;
        return setxattr(file.c_str(), "user.probe", &v, 1, 0) == 0 && removexattr(file.c_str(), "user.probe") == 0;
    }
};

TEST_F(FileInfo, ArchivedMarkIsOneByteInAUserAttribute) {
    VLLogFileInfo info(file);
    EXPECT_FALSE(info.isArchived());
    info.setIsArchived(true);
    EXPECT_TRUE(info.isArchived());
    EXPECT_TRUE(VLLogFileInfo(file).isArchived());  // kept on the file, not in the record
    if (!userAttributesWork()) {
        // No user attributes here: the mark is the cleared write bit.
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none);
        info.setIsArchived(false);
        EXPECT_FALSE(info.isArchived());
        return;
    }
    unsigned char byte = 0;
    ASSERT_EQ(getxattr(file.c_str(), "user.varmelund.log.archived", &byte, 1), 1);
    EXPECT_EQ(byte, 1);

    // Another value, or none, still counts, and is put right.
    const unsigned char two = 2;
    setxattr(file.c_str(), "user.varmelund.log.archived", &two, 1, 0);
    EXPECT_TRUE(info.isArchived());
    ASSERT_EQ(getxattr(file.c_str(), "user.varmelund.log.archived", &byte, 1), 1);
    EXPECT_EQ(byte, 1);
    setxattr(file.c_str(), "user.varmelund.log.archived", "", 0, 0);
    EXPECT_TRUE(info.isArchived());
    setxattr(file.c_str(), "user.varmelund.log.archived", "longer", 6, 0);
    EXPECT_TRUE(info.isArchived());

    info.setIsArchived(false);
    EXPECT_FALSE(info.isArchived());
    info.setIsArchived(false);  // already gone: nothing to report
}

TEST_F(FileInfo, MarkingAVanishedFileReportsNothingAndItsAgeIsZero) {
    VLLogFileInfo info(file);
    fs::remove(file);
    StderrCapture err;
    info.setIsArchived(true);
    EXPECT_FALSE(info.isArchived());
    std::string reported = (err.restore(), err.text());
    EXPECT_EQ(reported, "");
    EXPECT_EQ(info.age(), 0);
}

TEST_F(FileInfo, SizeOfAnEmptyFileIsReadAgainAndRecordsCompareByPath) {
    VLLogFileInfo info(file);
    EXPECT_EQ(info.fileSize(), 0u);
    testsupport::writeFile(file, "12345");
    EXPECT_EQ(info.fileSize(), 5u);
    testsupport::writeFile(file, "1234567");
    EXPECT_EQ(info.fileSize(), 5u);  // a size once read is kept
    EXPECT_EQ(VLLogFileInfo(file), VLLogFileInfo(file));
    EXPECT_EQ(VLLogFileInfo(file).hash(), VLLogFileInfo(file).hash());
    EXPECT_FALSE(VLLogFileInfo(file) == VLLogFileInfo(dir / "b.log"));
    EXPECT_EQ(VLLogFileInfo::logFileWithPath({}), nullptr);
}

TEST_F(FileInfo, AgeFollowsTheClockFromTheFilesBirth) {
    ScopedTestClock clock;
    testsupport::writeFile(dir / "young.log", "x");
    VLLogFileInfo info(dir / "young.log");
    clock->advance(600s);
    EXPECT_NEAR(info.age(), 600, 2);
}

TEST_F(FileInfo, RenameMovesTheFileAndAFailedMoveKeepsThePath) {
    VLLogFileInfo info(file);
    info.renameFile("b.log");
    EXPECT_EQ(info.filePath(), dir / "b.log");
    EXPECT_TRUE(fs::exists(dir / "b.log"));
    fs::remove(dir / "b.log");
    StderrCapture err;
    info.renameFile("c.log");
    err.restore();
    EXPECT_EQ(info.filePath(), dir / "b.log");
    EXPECT_NE(err.text().find("VLLogFileInfo: Error renaming file (b.log)"), std::string::npos);
}

}  // namespace
