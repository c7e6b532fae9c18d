// Buffered writing, the platform-log logger, the platform log's sinks and
// the date formatter under the file names and lines.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

#include "LogTestSupport.h"
#include "logging/VLBufferedProxy.h"
#include "logging/VLFileLogger.h"
#include "logging/VLOSLogger.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

using namespace logtest;
using namespace std::chrono_literals;

namespace {

// ---- buffered writing ----

class Buffered : public LoggingTest {
protected:
    testsupport::TempHome home;
    fs::path logs = AppHome::caches() / "Logs";
    std::shared_ptr<VLFileLogger> fileLogger = std::make_shared<VLFileLogger>();
    std::shared_ptr<VLBufferedProxy> proxy = fileLogger->wrapWithBuffer();

    // A line of exactly 100 bytes in the file (date, two blanks, text, line end).
    static void log100(int i) {
        VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), "%03d%s", i, std::string(71, 'b').c_str());
    }
    void settle() {
        VLLog::syncOnLoggingQueue([] {});
        fileLogger->loggerQueue()->sync([] {});
    }
    uint64_t bytesOnDisk() {
        uint64_t n = 0;
        for (auto& f : filesIn(logs)) n += fs::file_size(f);
        return n;
    }
};

TEST_F(Buffered, LinesReachTheFileInBlocks) {
    proxy->setMaxBufferSizeBytes(4096);
    VLLog::addLogger(proxy);
    for (int i = 0; i < 40; ++i) log100(i);
    settle();
    EXPECT_EQ(bytesOnDisk(), 0u);
    fileLogger->loggerQueue()->sync([&] { EXPECT_EQ(proxy->currentBufferSizeBytes(), 4000u); });
    log100(40);  // 4100 bytes: handed over with the forty before it
    settle();
    EXPECT_EQ(bytesOnDisk(), 4100u);
    fileLogger->loggerQueue()->sync([&] { EXPECT_EQ(proxy->currentBufferSizeBytes(), 0u); });

    // A line longer than the threshold goes at once.
    VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), "%s", std::string(5000, 'L').c_str());
    settle();
    EXPECT_EQ(bytesOnDisk(), 4100u + 25 + 5000 + 1);

    // flush writes what is buffered.
    log100(41);
    settle();
    EXPECT_EQ(bytesOnDisk(), 4100u + 5026);
    VLLog::flushLog();
    EXPECT_EQ(bytesOnDisk(), 4100u + 5026 + 100);
}

TEST_F(Buffered, RemovingTheProxyWritesBufferedLinesBeforeRolling) {
    VLLog::addLogger(proxy);
    for (int i = 0; i < 3; ++i) log100(i);
    VLLog::removeLogger(proxy);
    settle();
    auto files = filesIn(logs);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(linesOf(files[0]).size(), 3u);
    EXPECT_TRUE(VLLogFileInfo(files[0]).isArchived());
}

TEST_F(Buffered, DestroyingTheProxyLosesNothing) {
    std::vector<VLLogMessagePtr> three;
    for (int i = 0; i < 3; ++i)
        three.push_back(std::make_shared<VLLogMessage>(strings::format("%03d%s", i, std::string(71, 'b').c_str()), 31,
                                                       4, 0, "f", "fn", 1));
    fileLogger->loggerQueue()->sync([&] { proxy->logMessages(three); });
    EXPECT_EQ(bytesOnDisk(), 0u);
    proxy.reset();
    EXPECT_EQ(bytesOnDisk(), 300u);
}

TEST_F(Buffered, SizesWrapAndUnwrap) {
    EXPECT_EQ(proxy->maxBufferSizeBytes(), VLBufferedProxy::defaultBufferSize());
    EXPECT_GT(VLBufferedProxy::defaultBufferSize(), 0u);
    proxy->setMaxBufferSizeBytes(10 * 1024 * 1024);
    EXPECT_EQ(proxy->maxBufferSizeBytes(), 1024u * 1024);
    EXPECT_EQ(proxy->wrapWithBuffer(), proxy);
    EXPECT_EQ(proxy->unwrapFromBuffer(), fileLogger);
    EXPECT_EQ(fileLogger->unwrapFromBuffer(), fileLogger);
    EXPECT_EQ(proxy->loggerQueue(), fileLogger->loggerQueue());
    EXPECT_EQ(proxy->loggerName(), "varmelund.logging.fileLogger");
}

// ---- platform-log logger ----

struct RecordingLogObject : VLOSLogObject {
    std::mutex m;
    std::vector<std::pair<VLOSLogType, std::string>> entries;
    void log(VLOSLogType type, std::string_view text) override {
        std::lock_guard lock(m);
        entries.emplace_back(type, std::string(text));
    }
};

class OSLogger : public LoggingTest {};

TEST_F(OSLogger, EntryTypesFollowTheFlag) {
    auto logger = std::make_shared<VLOSLogger>();
    auto sink = std::make_shared<RecordingLogObject>();
    logger->setLogger(sink);
    VLLog::addLogger(logger);
    for (uint64_t flag : {uint64_t(1), uint64_t(2), uint64_t(4), uint64_t(8), uint64_t(16), uint64_t(3)})
        VLLog::log(true, VLLogLevelAll, flag, 0, "f", "fn", 1, Value(), "flag %llu", (unsigned long long)flag);
    VLLog::log(true, std::make_shared<VLLogMessage>("captured", 31, 1, 0, "/x/VLASLLogCapture.m", "fn", 1));
    VLLog::flushLog();
    using T = VLOSLogType;
    std::vector<std::pair<T, std::string>> expected{{T::Error, "flag 1"}, {T::Info, "flag 2"},  {T::Info, "flag 4"},
                                                     {T::Debug, "flag 8"}, {T::Debug, "flag 16"}, {T::Debug, "flag 3"}};
    EXPECT_EQ(sink->entries, expected);
}

TEST_F(OSLogger, AFormatterThatAnswersNothingSuppressesTheEntry) {
    struct DropOdd : VLLogFormatter {
        std::optional<std::string> formatLogMessage(const VLLogMessage& m) override {
            if (m.message() == "odd") return std::nullopt;
            return "[" + std::string(m.message()) + "]";
        }
    };
    auto logger = std::make_shared<VLOSLogger>();
    auto sink = std::make_shared<RecordingLogObject>();
    logger->setLogger(sink);
    logger->setLogFormatter(std::make_shared<DropOdd>());
    VLLog::addLogger(logger);
    VLLog::log(true, VLLogLevelAll, 4, 0, "f", "fn", 1, Value(), "odd");
    VLLog::log(true, VLLogLevelAll, 4, 0, "f", "fn", 1, Value(), "even");
    VLLog::log(true, VLLogLevelAll, 4, 0, "f", "fn", 1, Value(), "%s", "");
    VLLog::flushLog();
    ASSERT_EQ(sink->entries.size(), 2u);
    EXPECT_EQ(sink->entries[0].second, "[even]");
    EXPECT_EQ(sink->entries[1].second, "[]");
}

TEST_F(OSLogger, SharedInstanceAndSubsystemRules) {
    auto shared = VLOSLogger::sharedInstance();
    EXPECT_EQ(shared, VLOSLogger::sharedInstance());
    EXPECT_FALSE(shared->subsystem().has_value());
    EXPECT_FALSE(shared->category().has_value());
    EXPECT_EQ(shared->loggerName(), "varmelund.logging.osLogger");
    EXPECT_EQ(shared->loggerQueue()->label(), "varmelund.logging.osLogger");

    AssertionRecorder asserts;
    VLOSLogger half(std::string("com.example"), std::nullopt);
    ASSERT_EQ(asserts.reports().size(), 1u);
    EXPECT_EQ(asserts.reports()[0], "VLOSLogger: Either both subsystem and category or neither should be nil.");
    EXPECT_FALSE(half.subsystem().has_value());
    VLOSLogger both(std::string("com.example"), std::string("net"));
    EXPECT_EQ(both.subsystem(), "com.example");
}

TEST_F(OSLogger, ReachesTheJournalWithItsPriorityAndFieldsAndNotStandardError) {
    FakeJournal journal;
    VLOSLogger tagged(std::string("com.example"), std::string("net"));
    StderrCapture err;
    tagged.getLogger()->log(VLOSLogType::Error, "two\nlines");
    VLOSLogger().getLogger()->log(VLOSLogType::Debug, "plain");
    err.restore();
    std::string first = journal.receive();
    EXPECT_NE(first.find(std::string("MESSAGE\n") + std::string("\x09\0\0\0\0\0\0\0", 8) + "two\nlines\n"),
              std::string::npos);
    EXPECT_NE(first.find("PRIORITY=3\n"), std::string::npos);
    EXPECT_NE(first.find("VL_SUBSYSTEM=com.example\nVL_CATEGORY=net\n"), std::string::npos);
    std::string second = journal.receive();
    EXPECT_NE(second.find("MESSAGE=plain\n"), std::string::npos);
    EXPECT_NE(second.find("PRIORITY=7\n"), std::string::npos);
    EXPECT_EQ(err.text(), "");
}

TEST_F(OSLogger, WithoutASystemLogTheEntryGoesToStandardError) {
    PlatformLog::connectSystemSink(PlatformLog::Sink::None, "");
    StderrCapture err;
    VLOSLogger().getLogger()->log(VLOSLogType::Info, "to stderr");
    err.restore();
    EXPECT_TRUE(strings::hasSuffix(err.text(), "to stderr\n"));
}

TEST(PlatformLogSinks, AFullPipeOnStandardErrorNeverBlocks) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    fcntl(p[1], F_SETPIPE_SZ, 4096);
    std::string fill(4096, 'f');
    fcntl(p[1], F_SETFL, O_NONBLOCK);
    while (write(p[1], fill.data(), fill.size()) > 0) {
    }
    fcntl(p[1], F_SETFL, 0);  // blocking again: a naive write would hang here
    int saved = dup(2);
    dup2(p[1], 2);
    uint64_t before = PlatformLog::droppedCount();
    NSLog("%s", "nobody reads this");
    PlatformLog::writeToStderr("nor this");
    dup2(saved, 2);
    close(saved);
    close(p[0]);
    close(p[1]);
    EXPECT_EQ(PlatformLog::droppedCount(), before + 2);
}

TEST(PlatformLogSinks, AClosedReaderNeverEndsTheProcess) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    close(p[0]);
    int saved = dup(2);
    dup2(p[1], 2);
    NSLog("%s", "into a broken pipe");  // SIGPIPE would end the test here
    dup2(saved, 2);
    close(saved);
    close(p[1]);
    SUCCEED();
}

// ---- dates ----

TEST(DateFormatter, FormatsAndParsesTheLogPatterns) {
    auto when = *NSDateFormatter("yyyy-MM-dd HH:mm:ss.SSS Z").dateFromString("2026-12-05 18:52:51.123 +0800");
    NSDateFormatter fileName("yyyy'-'MM'-'dd'--'HH'-'mm'-'ss'-'SSS'");
    EXPECT_EQ(fileName.stringFromDate(when), "2026-12-05--10-52-51-123");
    EXPECT_EQ(fileName.dateFromString("2026-12-05--10-52-51-123"), when);
    EXPECT_FALSE(fileName.dateFromString("2026-12-05--10-52-51-12").has_value());
    EXPECT_FALSE(fileName.dateFromString("2026-12-05--10-52-51-123 2").has_value());
    EXPECT_FALSE(fileName.dateFromString("2026-13-05--10-52-51-123").has_value());
    NSDateFormatter line("yyyy/MM/dd HH:mm:ss:SSS");
    EXPECT_EQ(line.stringFromDate(when), "2026/12/05 10:52:51:123");
    EXPECT_EQ(NSDateFormatter("yyyy/MM/dd HH:mm:ss:SSS", NSDateFormatter::TimeZone::fixed(8 * 3600)).stringFromDate(when),
              "2026/12/05 18:52:51:123");
    EXPECT_EQ(NSDateFormatter("''yy'' h a").stringFromDate(when), "'26' 10 AM");
    // Before 1970 and across a leap day.
    auto early = *line.dateFromString("1969/12/31 23:59:59:999");
    EXPECT_EQ(line.stringFromDate(early), "1969/12/31 23:59:59:999");
    EXPECT_EQ(line.stringFromDate(*line.dateFromString("2024/02/29 12:00:00:000") + 24h), "2024/03/01 12:00:00:000");
}

TEST(DateFormatter, LocalTimeFollowsTZ) {
    const char* saved = getenv("TZ");
    std::string restore = saved ? saved : "";
    setenv("TZ", "Asia/Shanghai", 1);
    tzset();
    auto when = *NSDateFormatter("yyyy-MM-dd HH:mm:ss.SSS Z").dateFromString("2026-12-05 10:52:51.123 +0000");
    NSDateFormatter local("yyyy-MM-dd HH:mm:ss:SSS Z", NSDateFormatter::TimeZone::local());
    std::string text = local.stringFromDate(when);
    auto back = NSDateFormatter("yyyy-MM-dd HH:mm:ss:SSS", NSDateFormatter::TimeZone::local())
                    .dateFromString("2026-12-05 18:52:51:123");
    if (saved) setenv("TZ", restore.c_str(), 1);
    else unsetenv("TZ");
    tzset();
    EXPECT_EQ(text, "2026-12-05 18:52:51:123 +0800");
    EXPECT_EQ(back, when);
}

}  // namespace
