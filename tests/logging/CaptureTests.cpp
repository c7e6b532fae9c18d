// The system-log logger and the capture: priorities, tagging, the mapping
// back to flags, and one capture at a time with nothing handed on twice.

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <sys/wait.h>
#include <unistd.h>

#include "LogTestSupport.h"
#include "logging/VLASLLogger.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Strings.h"

using namespace logtest;

namespace {

class SystemLog : public LoggingTest {};

TEST_F(SystemLog, PrioritiesByFlagAndTheFrameworksOwnTag) {
    FakeJournal journal;
    auto logger = VLASLLogger::sharedInstance();
    EXPECT_EQ(logger, VLASLLogger::sharedInstance());
    EXPECT_EQ(logger->loggerName(), "varmelund.logging.aslLogger");
    VLLog::addLogger(logger);
    for (uint64_t flag : {1, 2, 4, 8, 16, 3})
        VLLog::log(true, VLLogLevelAll, flag, 0, "f", "fn", 1, Value(), "flag %llu", (unsigned long long)flag);
    VLLog::log(true, std::make_shared<VLLogMessage>("read back", 31, 1, 0, "VLASLLogCapture", "", 0));
    VLLog::flushLog();
    std::string readUID = strings::format("READUID=%d\n", int(geteuid()));
    for (int expected : {2, 3, 4, 5, 5, 5}) {
        std::string packet = journal.receive();
        EXPECT_NE(packet.find(strings::format("PRIORITY=%d\n", expected)), std::string::npos) << packet;
        EXPECT_NE(packet.find("VLLOG=1\n"), std::string::npos);
        EXPECT_NE(packet.find(readUID), std::string::npos);
    }
    EXPECT_TRUE(journal.empty());  // the captured record was not written back

    struct Nothing : VLLogFormatter {
        std::optional<std::string> formatLogMessage(const VLLogMessage&) override { return std::nullopt; }
    };
    logger->setLogFormatter(std::make_shared<Nothing>());
    VLLog::log(true, VLLogLevelAll, 1, 0, "f", "fn", 1, Value(), "dropped");
    VLLog::flushLog();
    EXPECT_TRUE(journal.empty());
    logger->setLogFormatter(nullptr);
}

TEST_F(SystemLog, AnEntryBecomesARecordByItsLevel) {
    auto logger = std::make_shared<RecordingLogger>();
    VLLog::addLogger(logger);
    auto entry = [](const char* text, std::optional<int64_t> level, double time = 1700000000.25) {
        VLSystemLogSource::Entry e;
        e.message = text;
        e.level = level;
        e.time = time;
        return e;
    };
    for (int64_t level : {0, 1, 2, 3, 4, 5, 6, 7}) VLASLLogCapture::aslMessageReceived(entry("x", level));
    VLASLLogCapture::aslMessageReceived(entry("no level", std::nullopt));
    VLSystemLogSource::Entry noText;
    VLASLLogCapture::aslMessageReceived(noText);
    VLLog::flushLog();
    auto records = logger->records();
    std::vector<uint64_t> flags;
    for (auto& r : records) flags.push_back(r->flag());
    EXPECT_EQ(flags, (std::vector<uint64_t>{1, 1, 1, 2, 4, 8, 16, 16, 1}));
    EXPECT_EQ(records[0]->fileName(), "VLASLLogCapture");
    EXPECT_EQ(records[0]->level(), VLLogLevelVerbose);
    EXPECT_EQ(records[0]->context(), 0);
    EXPECT_NEAR(std::chrono::duration<double>(records[0]->timestamp().time_since_epoch()).count(), 1700000000.25, 1e-6);

    // A capture level of errors only keeps priorities 0 to 2.
    VLASLLogCapture::setCaptureLevel(VLLogLevelError);
    VLASLLogCapture::aslMessageReceived(entry("warning", 3));
    VLASLLogCapture::aslMessageReceived(entry("error", 2));
    VLASLLogCapture::setCaptureLevel(VLLogLevelVerbose);
    VLLog::flushLog();
    records = logger->records();
    EXPECT_EQ(records.back()->message(), "error");
    EXPECT_EQ(records.back()->level(), VLLogLevelError);
    EXPECT_EQ(records.size(), 10u);
}

// An in-memory log that several sources read, as processes read the journal.
struct FakeLog {
    std::mutex m;
    std::condition_variable cv;
    std::vector<VLSystemLogSource::Entry> entries;
    std::atomic<int> opened{0};
    std::atomic<int> live{0}, mostLive{0};  // captures reading at once
    bool failOpen = false;
    uint64_t nextId = 1;
    // A log of its own, as a new journal is: the capture remembers the
    // last id it handed on in each log for the life of the process.
    std::string idSpace = "fake-" + std::to_string(++instances);
    static inline std::atomic<int> instances{0};

    void append(const std::string& text, int64_t level, bool fromFramework = false, std::optional<double> time = {}) {
        std::lock_guard lock(m);
        VLSystemLogSource::Entry e;
        e.message = text;
        e.level = level;
        e.time = time ? *time : Clock::timeIntervalSince1970();
        e.id = nextId++;
        e.idSpace = idSpace;
        e.writtenByFramework = fromFramework;
        entries.push_back(e);
        cv.notify_all();
    }
};

class FakeSource : public VLSystemLogSource {
public:
    explicit FakeSource(FakeLog& log) : log_(log) {}
    ~FakeSource() override {
        if (opened_) --log_.live;
    }
    bool open(std::string* error) override {
        ++log_.opened;
        opened_ = true;
        int now = ++log_.live;
        int most = log_.mostLive.load();
        while (now > most && !log_.mostLive.compare_exchange_weak(most, now)) {
        }
        if (log_.failOpen && error) *error = "no log here";
        return !log_.failOpen;
    }
    void seekToTime(int64_t seconds) override {
        std::lock_guard lock(log_.m);
        pos_ = 0;
        while (pos_ < log_.entries.size() && *log_.entries[pos_].time < double(seconds)) ++pos_;
    }
    bool next(Entry& e) override {
        std::lock_guard lock(log_.m);
        if (pos_ >= log_.entries.size()) return false;
        e = log_.entries[pos_++];
        return true;
    }
    void wait(std::chrono::milliseconds timeout) override {
        std::unique_lock lock(log_.m);
        log_.cv.wait_for(lock, timeout, [&] { return pos_ < log_.entries.size(); });
    }

private:
    FakeLog& log_;
    size_t pos_ = 0;
    bool opened_ = false;
};

class Capture : public LoggingTest {
protected:
    FakeLog log;
    std::shared_ptr<RecordingLogger> logger = std::make_shared<RecordingLogger>();

    void SetUp() override {
        VLASLLogCapture::setSourceFactory([this] { return std::make_unique<FakeSource>(log); });
        VLLog::addLogger(logger);
    }
    void TearDown() override {
        VLASLLogCapture::stop();
        ASSERT_TRUE(testsupport::waitFor([] { return !VLASLLogCapture::isRunning(); }));
        VLASLLogCapture::setSourceFactory(nullptr);
        LoggingTest::TearDown();
    }
    size_t countOf(const std::string& text) {
        auto texts = logger->texts();
        return size_t(std::count(texts.begin(), texts.end(), text));
    }
    bool captured(const std::string& text) {
        return testsupport::waitFor([&] { return countOf(text) > 0; });
    }
};

TEST_F(Capture, OnlyEntriesFromTheStartSecondOnAndNeverTheFrameworksOwn) {
    log.append("long before", 6, false, std::floor(Clock::timeIntervalSince1970()) - 5);
    VLASLLogCapture::start();
    log.append("own line", 3, true);
    log.append("from another process", 3);
    ASSERT_TRUE(captured("from another process"));
    VLLog::flushLog();
    EXPECT_EQ(countOf("long before"), 0u);
    EXPECT_EQ(countOf("own line"), 0u);
    auto records = logger->records();
    EXPECT_EQ(records.back()->flag(), VLLogFlagWarning);
}

TEST_F(Capture, AQuickStopThenStartKeepsOneCaptureAndHandsNothingOnTwice) {
    VLASLLogCapture::start();
    VLASLLogCapture::start();  // already running: nothing
    log.append("first", 5);
    ASSERT_TRUE(captured("first"));
    VLASLLogCapture::stop();
    VLASLLogCapture::start();
    log.append("second", 5);
    ASSERT_TRUE(captured("second"));
    EXPECT_TRUE(VLASLLogCapture::isRunning());

    // Stopped for good, then started again within the same second: a new
    // capture, which does not hand on what the last one did.
    VLASLLogCapture::stop();
    ASSERT_TRUE(testsupport::waitFor([] { return !VLASLLogCapture::isRunning(); }));
    VLASLLogCapture::start();
    log.append("third", 5);
    ASSERT_TRUE(captured("third"));
    VLLog::flushLog();
    EXPECT_EQ(log.mostLive.load(), 1);  // never two captures at once
    EXPECT_GE(log.opened.load(), 2);
    EXPECT_EQ(countOf("first"), 1u);
    EXPECT_EQ(countOf("second"), 1u);
    EXPECT_EQ(countOf("third"), 1u);
}

TEST_F(Capture, NothingToReadIsReportedAndTheCaptureEnds) {
    log.failOpen = true;
    StderrCapture err;
    VLASLLogCapture::start();
    ASSERT_TRUE(testsupport::waitFor([] { return !VLASLLogCapture::isRunning(); }));
    err.restore();
    EXPECT_NE(err.text().find("VLASLLogCapture: cannot read the system log: no log here"), std::string::npos);
}

// The real journal: a journal daemon of the test's own, in a private mount
// namespace of a child process.
TEST(CaptureJournal, ReadsWhatOtherProcessesWriteAndNotItsOwn) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    std::string child = testsupport::built(LOGGING_CHILD);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        execl(child.c_str(), child.c_str(), "journal", nullptr);
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << text;
    // 2, 3 and 4: no private namespace, no tmpfs, no journal daemon. Each
    // is a failure: the suite's machine must give all three.
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_NE(text.find("OK"), std::string::npos) << text;
}

}  // namespace
