// The log file manager: names, listing and sorting, creating, deleting by
// count and by quota.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "LogTestSupport.h"
#include "logging/VLFileLogger.h"
#include "logging/VLLogFileManager.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Strings.h"

using namespace logtest;
using namespace std::chrono_literals;

namespace {

std::string appName() { return VLLogFileManagerDefault::applicationName(); }

class FileManager : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    std::shared_ptr<VLLogFileManagerDefault> manager = std::make_shared<VLLogFileManagerDefault>(dir.path());

    // A log file named for minute `minute` of one day.
    fs::path logFile(int minute, const std::string& content = "x\n", const std::string& suffix = "") {
        std::string name = strings::format("%s 2026-03-01--%02d-%02d-00-000%s.log", appName().c_str(), minute / 60,
                                           minute % 60, suffix.c_str());
        testsupport::writeFile(dir / name, content);
        return dir / name;
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (auto& p : filesIn(dir.path())) out.push_back(p.filename().string());
        return out;
    }
};

TEST_F(FileManager, AnEmptyOrMissingFolderListsNothingAndDeletesNothing) {
    testsupport::writeFile(dir / "notes.txt", "keep");
    EXPECT_TRUE(manager->sortedLogFileInfos().empty());
    manager->deleteOldLogFiles();
    EXPECT_EQ(names(), std::vector<std::string>{"notes.txt"});

    auto elsewhere = std::make_shared<VLLogFileManagerDefault>(dir / "not" / "yet");
    EXPECT_TRUE(elsewhere->sortedLogFilePaths().empty());
    EXPECT_TRUE(fs::is_directory(dir / "not" / "yet"));  // made on the way
}

TEST_F(FileManager, OnlyNamesWithTheApplicationPrefixAndLogEndingAreLogFiles) {
    EXPECT_TRUE(manager->isLogFile(appName() + " whatever.log"));
    EXPECT_FALSE(manager->isLogFile(appName() + "-2026.log"));
    EXPECT_FALSE(manager->isLogFile(appName() + " 2026.txt"));
    EXPECT_FALSE(manager->isLogFile("other " + appName() + " x.log"));

    for (int m = 0; m < 8; ++m) logFile(m);
    testsupport::writeFile(dir / "other 2026-03-01--00-00-00-000.log", "foreign");
    testsupport::writeFile(dir / (appName() + " 2026-03-01--00-00-00-000.txt"), "not a log");
    manager->setMaximumNumberOfLogFiles(2);
    manager->deleteOldLogFiles();
    EXPECT_EQ(manager->unsortedLogFileNames().size(), 2u);
    EXPECT_TRUE(fs::exists(dir / "other 2026-03-01--00-00-00-000.log"));
    EXPECT_TRUE(fs::exists(dir / (appName() + " 2026-03-01--00-00-00-000.txt")));
}

TEST_F(FileManager, FiftyFilesWithAMaximumOf48LoseTheTwoOldestByNameDate) {
    std::vector<int> minutes(50);
    for (int i = 0; i < 50; ++i) minutes[i] = i;
    // Written in a shuffled order, so creation order says nothing.
    std::shuffle(minutes.begin(), minutes.end(), std::mt19937(7));
    for (int m : minutes) logFile(m);
    for (auto& info : manager->sortedLogFileInfos()) info->setIsArchived(true);
    manager->setMaximumNumberOfLogFiles(48);
    manager->deleteOldLogFiles();
    auto sorted = manager->sortedLogFileNames();
    ASSERT_EQ(sorted.size(), 48u);
    EXPECT_NE(sorted.front().find("--00-49-"), std::string::npos);
    EXPECT_NE(sorted.back().find("--00-02-"), std::string::npos);
}

TEST_F(FileManager, TheUnarchivedNewestFileSurvivesAQuotaItAloneExceeds) {
    logFile(1, "old\n");
    logFile(2, "old\n");
    fs::path newest = logFile(3, std::string(5000, 'n'));
    manager->setMaximumNumberOfLogFiles(0);
    manager->setLogFilesDiskQuota(1000);
    manager->deleteOldLogFiles();
    EXPECT_EQ(filesIn(dir.path()), std::vector<fs::path>{newest});

    VLLogFileInfo(newest).setIsArchived(true);
    manager->deleteOldLogFiles();
    EXPECT_TRUE(filesIn(dir.path()).empty());

    // Both limits off: nothing goes.
    manager->setLogFilesDiskQuota(0);
    DispatchQueue::global()->barrierSync([] {});  // the passes the changes queued are over
    for (int m = 0; m < 10; ++m) logFile(m, std::string(5000, 'z'));
    manager->deleteOldLogFiles();
    EXPECT_EQ(filesIn(dir.path()).size(), 10u);
}

TEST_F(FileManager, ANumberedNameSortsByItsCreationDate) {
    fs::path dated = logFile(5);
    fs::path numbered = logFile(5, "x\n", " 2");  // "2.log" is no date: its birth (now) counts
    auto sorted = manager->sortedLogFilePaths();
    EXPECT_EQ(sorted, (std::vector<fs::path>{numbered, dated}));
}

TEST_F(FileManager, ANameAlreadyTakenGetsANumberAndTheOldFileStays) {
    auto clock = std::make_shared<TestClock>(
        *NSDateFormatter("yyyy-MM-dd HH:mm:ss.SSS Z").dateFromString("2026-03-01 10:20:30.456 +0000"));
    Clock::install(clock);
    std::string expected = appName() + " 2026-03-01--10-20-30-456.log";
    EXPECT_EQ(manager->newLogFileName(), expected);
    testsupport::writeFile(dir / expected, "taken\n");
    Error error;
    auto created = manager->createNewLogFile(&error);
    auto again = manager->createNewLogFile(&error);
    Clock::install(nullptr);
    ASSERT_TRUE(created && again);
    EXPECT_EQ(created->filename().string(), appName() + " 2026-03-01--10-20-30-456 2.log");
    EXPECT_EQ(again->filename().string(), appName() + " 2026-03-01--10-20-30-456 3.log");
    EXPECT_EQ(testsupport::readFile(dir / expected), "taken\n");
    EXPECT_EQ(fs::file_size(*created), 0u);
}

TEST_F(FileManager, CreationGivesUpAfterFiveCriticalErrors) {
    testsupport::writeFile(dir / "plain-file", "");
    auto blocked = std::make_shared<VLLogFileManagerDefault>(dir / "plain-file" / "Logs");
    StderrCapture err;
    Error error;
    EXPECT_FALSE(blocked->createNewLogFile(&error).has_value());
    err.restore();
    EXPECT_EQ(error.domain, NSPOSIXErrorDomain);
    EXPECT_EQ(error.code, ENOTDIR);
    EXPECT_NE(err.text().find("VLLogFileManagerDefault: Bailing file creation, encountered 5 errors."),
              std::string::npos);
}

TEST_F(FileManager, AHeaderStartsEachNewFile) {
    struct WithHeader : VLLogFileManagerDefault {
        using VLLogFileManagerDefault::VLLogFileManagerDefault;
        std::optional<std::string> logFileHeader() override { return "header line"; }
    };
    auto m = std::make_shared<WithHeader>(dir.path());
    Error error;
    auto p = m->createNewLogFile(&error);
    ASSERT_TRUE(p);
    EXPECT_EQ(testsupport::readFile(*p), "header line\n");
}

TEST_F(FileManager, UnknownProtectionClassesAreIgnored) {
    testsupport::TempBundle bundle(Value::dict({{"CFBundleIdentifier", "com.example.test"}}));
    auto known = std::make_shared<VLLogFileManagerDefault>(dir.path(), NSFileProtectionComplete);
    EXPECT_EQ(known->logFileProtection(), NSFileProtectionComplete);
    auto unknown = std::make_shared<VLLogFileManagerDefault>(dir.path(), "NSFileProtectionSometimes");
    EXPECT_EQ(unknown->defaultFileProtectionLevel(), "");
    EXPECT_EQ(unknown->logFileProtection(), NSFileProtectionCompleteUnlessOpen);
    bundle.setInfo(Value::dict({{"CFBundleIdentifier", "com.example.test"},
                                {"UIBackgroundModes", Value::array({"audio"})}}));
    EXPECT_EQ(unknown->logFileProtection(), NSFileProtectionCompleteUntilFirstUserAuthentication);
}

TEST_F(FileManager, TheFileBeingWrittenIsNeverDeletedWhateverTheClockDid) {
    LoggingTest::resetLogging();
    auto clock = std::make_shared<TestClock>(
        *NSDateFormatter("yyyy-MM-dd HH:mm:ss.SSS Z").dateFromString("2001-01-01 00:00:00.000 +0000"));
    Clock::install(clock);  // the clock went far back: the current file is named as the oldest
    for (int m = 0; m < 5; ++m) VLLogFileInfo(logFile(m)).setIsArchived(true);
    auto logger = std::make_shared<VLFileLogger>(manager);
    manager->setMaximumNumberOfLogFiles(2);
    VLLog::addLogger(logger);
    VLLog::log(false, VLLogLevelAll, VLLogFlagError, 0, "f", "fn", 1, Value(), "%s", "still here");
    Clock::install(nullptr);
    manager->deleteOldLogFiles();
    auto lines = linesOfFolder(dir.path());
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(strings::hasSuffix(lines.front(), "still here"));
    LoggingTest::resetLogging();
}

TEST_F(FileManager, ANameWithAYearNoDateHoldsCountsAsTheOldestAndIsNeverWrittenTo) {
    // Year 2685 lies past what a Date holds: read with overflow it came out as
    // the year 2100, the newest file, which a starting logger went on writing.
    NSDateFormatter gmt("yyyy-MM-dd HH:mm:ss");
    EXPECT_FALSE(gmt.dateFromString("2685-01-01 00:00:00"));
    EXPECT_FALSE(gmt.dateFromString("1677-01-01 00:00:00"));
    EXPECT_FALSE(gmt.dateFromString("999999999-01-01 00:00:00"));
    EXPECT_TRUE(gmt.dateFromString("2261-12-31 23:59:59"));
    EXPECT_TRUE(gmt.dateFromString("1678-01-01 00:00:00"));

    LoggingTest::resetLogging();
    for (int m = 0; m < 3; ++m) VLLogFileInfo(logFile(m)).setIsArchived(true);
    std::string far = appName() + " 2685-01-01--00-00-00-000.log";
    testsupport::writeFile(dir / far, "planted\n");
    EXPECT_EQ(VLLogFileInfo::dateInFileName(far), VLLogFileInfo::Date::min());
    EXPECT_EQ(manager->sortedLogFileNames().back(), far);

    auto logger = std::make_shared<VLFileLogger>(manager);
    VLLog::addLogger(logger);
    VLLog::log(false, VLLogLevelAll, VLLogFlagError, 0, "f", "fn", 1, Value(), "%s", "fresh line");
    EXPECT_EQ(testsupport::readFile(dir / far), "planted\n");
    manager->setMaximumNumberOfLogFiles(2);
    manager->deleteOldLogFiles();
    LoggingTest::resetLogging();
    EXPECT_FALSE(fs::exists(dir / far));
    auto lines = linesOfFolder(dir.path());
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(strings::hasSuffix(lines.back(), "fresh line"));
}

}  // namespace
