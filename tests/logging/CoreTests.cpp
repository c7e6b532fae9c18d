// The dispatcher: registration, filtering by level, ordering, synchronous
// calls, flushing, records and formatters.

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "LogTestSupport.h"
#include "logging/VLRecordPool.h"
#include "platform/dispatch/Clock.h"

using namespace logtest;
using namespace std::chrono_literals;

namespace {

#define LOG_ASYNC(flag, text) VLLog::log(true, VLLogLevelAll, flag, 0, __FILE__, __func__, __LINE__, Value(), "%s", text)
#define LOG_SYNC(flag, text) VLLog::log(false, VLLogLevelAll, flag, 0, __FILE__, __func__, __LINE__, Value(), "%s", text)

class Core : public LoggingTest {};

TEST_F(Core, LevelsFilterByFlagAndAddLoggerTakesEverything) {
    auto warnings = std::make_shared<RecordingLogger>();
    auto all = std::make_shared<RecordingLogger>();
    VLLog::addLogger(warnings, VLLogLevelWarning);
    VLLog::addLogger(all);
    for (uint64_t flag : {VLLogFlagError, VLLogFlagWarning, VLLogFlagInfo, VLLogFlagDebug, VLLogFlagVerbose})
        LOG_ASYNC(flag, std::to_string(flag).c_str());
    VLLog::flushLog();
    EXPECT_EQ(warnings->texts(), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(all->texts(), (std::vector<std::string>{"1", "2", "4", "8", "16"}));
    EXPECT_TRUE(all->alwaysOnOwnQueue());
}

TEST_F(Core, RegistrationTwiceAndRemovalOfTheFirstNode) {
    auto logger = std::make_shared<RecordingLogger>();
    VLLog::addLogger(logger, VLLogLevelError);
    VLLog::addLogger(logger, VLLogLevelError);
    EXPECT_EQ(VLLog::allLoggers().size(), 1u);

    VLLog::addLogger(logger, VLLogLevelWarning);
    auto info = VLLog::allLoggersWithLevel();
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(info[0].level, VLLogLevelError);
    EXPECT_EQ(info[1].level, VLLogLevelWarning);

    LOG_ASYNC(VLLogFlagError, "twice");   // both levels admit it
    LOG_ASYNC(VLLogFlagWarning, "once");  // only the second
    VLLog::flushLog();
    EXPECT_EQ(logger->texts(), (std::vector<std::string>{"twice", "twice", "once"}));

    VLLog::removeLogger(logger);
    info = VLLog::allLoggersWithLevel();
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].level, VLLogLevelWarning);

    // Removing a logger that is not registered changes nothing and calls no hook.
    auto stranger = std::make_shared<RecordingLogger>();
    VLLog::removeLogger(stranger);
    VLLog::removeLogger(nullptr);
    VLLog::addLogger(nullptr);
    EXPECT_EQ(VLLog::allLoggers().size(), 1u);
    stranger->loggerQueue()->sync([] {});
    EXPECT_EQ(stranger->removed.load(), 0);
}

TEST_F(Core, HooksRunOnTheLoggersQueueAndAQueuelessLoggerRegisteredTwiceSharesOne) {
    struct Bare : VLLogger {
        std::vector<std::shared_ptr<DispatchQueue>> queues;
        std::mutex m;
        void logMessage(const VLLogMessagePtr&) override {}
        std::shared_ptr<VLLogFormatter> logFormatter() override { return nullptr; }
        void setLogFormatter(std::shared_ptr<VLLogFormatter>) override {}
        void didAddLogger(const std::shared_ptr<DispatchQueue>& q) override {
            std::lock_guard lock(m);
            queues.push_back(q);
        }
        std::string loggerName() override { return "test.bare"; }
    };
    auto bare = std::make_shared<Bare>();
    VLLog::addLogger(bare, VLLogLevelError);
    VLLog::addLogger(bare, VLLogLevelWarning);
    VLLog::flushLog();
    std::lock_guard lock(bare->m);
    ASSERT_EQ(bare->queues.size(), 2u);
    EXPECT_EQ(bare->queues[0], bare->queues[1]);
    EXPECT_EQ(bare->queues[0]->label(), "test.bare");

    auto rec = std::make_shared<RecordingLogger>();
    VLLog::addLogger(rec);
    VLLog::removeLogger(rec);
    VLLog::flushLog();
    rec->loggerQueue()->sync([] {});
    EXPECT_EQ(rec->added.load(), 1);
    EXPECT_EQ(rec->removed.load(), 1);
    EXPECT_EQ(rec->addedQueue, rec->loggerQueue());
}

TEST_F(Core, AddAndRemoveAreOrderedWithRecordsOfTheSameThread) {
    auto logger = std::make_shared<RecordingLogger>();
    LOG_ASYNC(VLLogFlagInfo, "before");
    VLLog::addLogger(logger);
    LOG_ASYNC(VLLogFlagInfo, "during");
    VLLog::removeLogger(logger);
    LOG_ASYNC(VLLogFlagInfo, "after");
    VLLog::flushLog();
    EXPECT_EQ(logger->texts(), std::vector<std::string>{"during"});
}

// A record no logger takes is not even built; a logger's level counts from
// the addLogger call, and until its removal has run.
TEST_F(Core, ARecordNoLoggerTakesCostsNoRecordYetAddAndRemoveStayOrdered) {
    auto errors = std::make_shared<RecordingLogger>("test.errors");
    auto debug = std::make_shared<RecordingLogger>("test.debug");
    VLLog::addLogger(errors, VLLogLevelError);
    auto nothingBuiltOnAFreshThread = [] {
        std::thread([] {
            for (int i = 0; i < 100; ++i) LOG_ASYNC(VLLogFlagDebug, "nobody takes it");
            LOG_SYNC(VLLogFlagDebug, "nor this");
            EXPECT_EQ(vl_detail::poolBlocksMadeOnThisThread(), 0u);
        }).join();
    };
    nothingBuiltOnAFreshThread();
    std::thread([&] {
        VLLog::addLogger(debug, VLLogLevelDebug);
        LOG_ASYNC(VLLogFlagDebug, "taken once added");
        VLLog::removeLogger(debug);
        LOG_ASYNC(VLLogFlagError, "an error");
        LOG_ASYNC(VLLogFlagDebug, "queued after the removal");
    }).join();
    VLLog::flushLog();
    nothingBuiltOnAFreshThread();
    VLLog::flushLog();
    EXPECT_EQ(debug->texts(), std::vector<std::string>{"taken once added"});
    EXPECT_EQ(errors->texts(), std::vector<std::string>{"an error"});
}

TEST_F(Core, RecordsOfManyThreadsArriveInEachThreadsOrder) {
    auto logger = std::make_shared<RecordingLogger>();
    VLLog::addLogger(logger);
    constexpr int kThreads = 4, kEach = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i)
                VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, __FILE__, __func__, __LINE__, Value(), "%d %d", t, i);
        });
    for (auto& th : threads) th.join();
    VLLog::flushLog();
    auto texts = logger->texts();
    ASSERT_EQ(texts.size(), size_t(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    for (auto& s : texts) {
        int t = 0, i = 0;
        ASSERT_EQ(sscanf(s.c_str(), "%d %d", &t, &i), 2);
        ASSERT_EQ(i, next[t]) << "thread " << t;
        ++next[t];
    }
}

// A record's memory goes back to the thread that made it, from whichever
// thread lets go of the record last: the logging queue and a logger's queue
// at once, and the main thread long after the makers have ended.
TEST_F(Core, RecordsOutliveTheThreadsThatMadeThem) {
    struct Holding : VLAbstractLogger {
        Holding() : VLAbstractLogger("test.holding") {}
        size_t seen = 0;                    // its own queue only
        std::vector<VLLogMessagePtr> held;  // let go in runs, on its own queue
        void logMessage(const VLLogMessagePtr& m) override {
            ++seen;
            held.push_back(m);
            if (held.size() == 100) held.clear();
        }
    };
    auto logger = std::make_shared<Holding>();
    VLLog::addLogger(logger, VLLogFlagInfo);
    auto recording = std::make_shared<RecordingLogger>();
    VLLog::addLogger(recording, VLLogLevelError);
    // Warnings reach no logger: the logging queue lets go of them.
    static constexpr auto flagOf = [](int i) {
        return i % 10 == 0 ? VLLogFlagError : i % 2 ? VLLogFlagWarning : VLLogFlagInfo;
    };
    constexpr int kRounds = 4, kThreads = 6, kEach = 3000;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < kEach; ++i)
                    VLLog::log(true, VLLogLevelAll, flagOf(i), 0, __FILE__, __func__, __LINE__, Value(), "%d %d", t, i);
            });
        // The main thread outlives them all.
        for (int i = 0; i < kEach; ++i)
            VLLog::log(true, VLLogLevelAll, flagOf(i), 0, __FILE__, "operator()", __LINE__, Value(), "main %d", i);
        for (auto& th : threads) th.join();
    }
    VLLog::flushLog();
    constexpr size_t kTotal = size_t(kRounds) * (kThreads + 1) * kEach;
    size_t seen = 0;
    logger->loggerQueue()->sync([&] { seen = logger->seen; });
    EXPECT_EQ(seen, kTotal * 2 / 5);
    // Every record the recording logger kept is whole, though its thread is gone.
    auto kept = recording->records();
    ASSERT_EQ(kept.size(), kTotal / 10);
    for (const auto& m : kept) ASSERT_EQ(m->function(), "operator()");
}

// A logger that does a little work per record, so that an asynchronous
// hand-over would not be finished when the call returns.
class SlowLogger : public RecordingLogger {
public:
    void logMessage(const VLLogMessagePtr& m) override {
        for (int i = 0; i < 200; ++i) std::this_thread::yield();
        RecordingLogger::logMessage(m);
    }
};

TEST_F(Core, SynchronousCallReturnsAfterEveryLoggerHasTheRecord) {
    auto a = std::make_shared<SlowLogger>();
    auto b = std::make_shared<SlowLogger>();
    VLLog::addLogger(a);
    VLLog::addLogger(b);
    for (int i = 0; i < 20; ++i) LOG_ASYNC(VLLogFlagInfo, "queued");
    LOG_SYNC(VLLogFlagError, "now");
    auto ta = a->texts(), tb = b->texts();
    ASSERT_EQ(ta.size(), 21u);
    ASSERT_EQ(tb.size(), 21u);
    EXPECT_EQ(ta.back(), "now");
    EXPECT_EQ(tb.back(), "now");
}

TEST_F(Core, TheOneProcessorHandOverKeepsTheSameGuarantees) {
    VLLog::setSingleProcessorForTesting(true);
    auto a = std::make_shared<SlowLogger>();
    auto b = std::make_shared<SlowLogger>();
    VLLog::addLogger(a);
    VLLog::addLogger(b, VLLogLevelError);
    LOG_ASYNC(VLLogFlagInfo, "info");
    LOG_SYNC(VLLogFlagError, "error");
    EXPECT_EQ(a->texts(), (std::vector<std::string>{"info", "error"}));
    EXPECT_EQ(b->texts(), std::vector<std::string>{"error"});
    VLLog::setSingleProcessorForTesting(false);
}

TEST_F(Core, SynchronousCallFromALoggersQueueDoesNotWaitOnItself) {
    auto outer = std::make_shared<RecordingLogger>();
    std::atomic<bool> reentered{false};
    outer->onMessage = [&](const VLLogMessage& m) {
        if (m.message() == "first" && !reentered.exchange(true)) LOG_SYNC(VLLogFlagError, "from inside");
    };
    VLLog::addLogger(outer);
    LOG_SYNC(VLLogFlagError, "first");
    VLLog::flushLog();
    EXPECT_EQ(outer->texts(), (std::vector<std::string>{"first", "from inside"}));
}

TEST_F(Core, SynchronousCallOnTheLoggingQueueRunsInline) {
    auto logger = std::make_shared<RecordingLogger>();
    VLLog::addLogger(logger);
    size_t seenInside = 0;
    VLLog::syncOnLoggingQueue([&] {
        EXPECT_TRUE(VLLog::isOnLoggingQueue());
        LOG_SYNC(VLLogFlagError, "inline");
        seenInside = logger->texts().size();
    });
    EXPECT_EQ(seenInside, 1u);
    EXPECT_FALSE(VLLog::isOnLoggingQueue());
}

TEST_F(Core, FlushComesAfterEveryEarlierRecordAndFlushOnTheLoggingQueueIsRefused) {
    VLLog::flushLog();  // nothing registered: returns at once
    auto logger = std::make_shared<RecordingLogger>();
    VLLog::addLogger(logger, VLLogLevelError);
    for (int i = 0; i < 100; ++i) LOG_ASYNC(VLLogFlagError, "x");
    LOG_ASYNC(VLLogFlagInfo, "not admitted");
    VLLog::flushLog();
    EXPECT_EQ(logger->flushes(), std::vector<size_t>{100});

    AssertionRecorder asserts;
    VLLog::syncOnLoggingQueue([] { VLLog::flushLog(); });
    ASSERT_EQ(asserts.reports().size(), 1u);
    EXPECT_EQ(asserts.reports()[0],
              "VLLog: This method shouldn't be run on the logging thread/queue that make flush fast enough");
}

TEST_F(Core, NoLoggerNoFormatAndTheMacros) {
    LOG_SYNC(VLLogFlagError, "nobody listens");  // returns
    auto logger = std::make_shared<RecordingLogger>();
    VLLog::addLogger(logger);
    const char* noFormat = nullptr;
    VLLog::log(false, VLLogLevelAll, VLLogFlagError, 0, __FILE__, __func__, __LINE__, Value(), noFormat);
    VLLogError("error %d", 1);
    VLLogWarn("warn %s", "%s %n");  // outside text is an argument, never a format
    VLLogInfo("info");
    VLLogDebug("debug");
    VLLogVerbose("verbose");
    uint64_t saved = VLLog::defaultLevel();
    VLLog::setDefaultLevel(VLLogLevelWarning);
    VLLogInfo("filtered at the call site");
    VLLog::setDefaultLevel(saved);
    VLLog::flushLog();
    auto records = logger->records();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0]->message(), "error 1");
    EXPECT_EQ(records[0]->flag(), VLLogFlagError);
    EXPECT_EQ(records[1]->message(), "warn %s %n");
    EXPECT_EQ(records[4]->flag(), VLLogFlagVerbose);
    EXPECT_EQ(records[0]->fileName(), "CoreTests");
    EXPECT_EQ(records[0]->function(), "TestBody");
    EXPECT_EQ(records[0]->level(), VLLogLevelVerbose);
}

// The call formats the text straight into the record when it fits the room
// the record has left, and on the heap when it does not: every length across
// those edges, plain formats and those left to the C library, and texts
// before the message too long for the record themselves.
TEST_F(Core, TheTextIsWholeWhateverItsLengthFormatOrSourcePath) {
    auto logger = std::make_shared<RecordingLogger>();
    VLLog::addLogger(logger);
    std::string longPath = "/" + std::string(400, 'd') + "/Deep.cpp";
    std::vector<std::string> want;
    for (size_t length = 0; length <= 600; ++length) {
        std::string s(length, char('a' + length % 26));
        VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, __FILE__, __func__, __LINE__, Value(), "%s|%zu", s.c_str(),
                   length);
        want.push_back(s + "|" + std::to_string(length));
        VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, __FILE__, __func__, __LINE__, Value(), "%.*s|%3d",
                   int(length), s.c_str(), 7);
        want.push_back(s + "|  7");
    }
    std::string huge(70000, 'h');
    VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, longPath.c_str(), __func__, __LINE__, Value(), "%s", "short");
    want.push_back("short");
    VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, longPath.c_str(), __func__, __LINE__, Value(), "%s", huge.c_str());
    want.push_back(huge);
    // A text the C library cannot make (a wide character the C locale cannot
    // spell) is not logged.
    VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, 0, __FILE__, __func__, __LINE__, Value(), "%ls", L"\u4e2d");
    VLLog::flushLog();
    auto records = logger->records();
    ASSERT_EQ(records.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(records[i]->message(), want[i]) << i;
        bool deep = i >= want.size() - 2;
        ASSERT_EQ(records[i]->file(), deep ? std::string_view(longPath) : std::string_view(__FILE__)) << i;
        ASSERT_EQ(records[i]->fileName(), deep ? "Deep" : "CoreTests") << i;
        ASSERT_EQ(records[i]->function(), "TestBody") << i;
        ASSERT_EQ(records[i]->threadID(), std::to_string(syscall(SYS_gettid))) << i;
        ASSERT_EQ(records[i]->queueLabel(), "com.apple.main-thread") << i;
    }
}

TEST_F(Core, SettingAFormatterIsOrderedWithRecordsAndReadBackAtOnce) {
    struct Upper : VLLogFormatter {
        std::atomic<int> added{0}, removed{0};
        std::optional<std::string> formatLogMessage(const VLLogMessage& m) override {
            std::string s(m.message());
            for (char& c : s) c = char(toupper(c));
            return s;
        }
        void didAddToLogger(VLLogger&, const std::shared_ptr<DispatchQueue>&) override { ++added; }
        void willRemoveFromLogger(VLLogger&) override { ++removed; }
    };
    auto logger = std::make_shared<RecordingLogger>();
    auto upper = std::make_shared<Upper>();
    VLLog::addLogger(logger);
    LOG_ASYNC(VLLogFlagInfo, "plain");
    logger->setLogFormatter(upper);
    EXPECT_EQ(logger->logFormatter(), upper);
    LOG_ASYNC(VLLogFlagInfo, "shout");
    logger->setLogFormatter(upper);  // the same one: no hook
    logger->setLogFormatter(nullptr);
    LOG_ASYNC(VLLogFlagInfo, "plain again");
    VLLog::flushLog();
    EXPECT_EQ(logger->texts(), (std::vector<std::string>{"plain", "SHOUT", "plain again"}));
    EXPECT_EQ(upper->added.load(), 1);
    EXPECT_EQ(upper->removed.load(), 1);
    EXPECT_EQ(logger->logFormatter(), nullptr);
}

TEST_F(Core, ReadingASettingFromTheLoggersOwnQueueIsReportedNotAHang) {
    AssertionRecorder asserts;
    auto logger = std::make_shared<RecordingLogger>();
    logger->loggerQueue()->sync([&] { EXPECT_EQ(logger->logFormatter(), nullptr); });
    ASSERT_EQ(asserts.reports().size(), 1u);
    EXPECT_EQ(asserts.reports()[0], "VLLog: MUST access ivar directly, NOT via self.* syntax.");
}

TEST(LogMessage, FileNameIsTheLastComponentBeforeItsLastDot) {
    auto name = [](const char* file) {
        return std::string(VLLogMessage("m", 0, 0, 0, file, "f", 1).fileName());
    };
    EXPECT_EQ(name("/src/Classes/ViewController/MainViewController.m"), "MainViewController");
    EXPECT_EQ(name("dir/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(name("/a/b/Makefile"), "Makefile");
    EXPECT_EQ(name("/a/.hidden"), "");
    EXPECT_EQ(name(""), "");
    VLLogMessage m("m", 0, 0, 0, "/x/y/z.cpp", "f", 1);
    VLLogMessage copy = m;  // the name is rebuilt from the copy's own text
    EXPECT_EQ(copy.fileName(), "z");
}

TEST(LogMessage, ThreadFactsAndTimeAreTakenWhenTheRecordIsBuilt) {
    ScopedTestClock clock;
    auto before = Clock::current().wallNow();
    VLLogMessage onMain("m", 3, 1, 7, "f.cpp", "fn", 9);
    clock->advance(5s);
    EXPECT_EQ(onMain.timestamp(), before);
    EXPECT_EQ(onMain.queueLabel(), "com.apple.main-thread");
    EXPECT_EQ(onMain.qos(), VLQoSUserInteractive);
    EXPECT_EQ(onMain.threadID(), std::to_string(syscall(SYS_gettid)));

    std::shared_ptr<VLLogMessage> onQueue;
    auto q = DispatchQueue::serial("test.label");
    q->sync([&] { onQueue = std::make_shared<VLLogMessage>("m", 3, 1, 7, "f.cpp", "fn", 9); });
    EXPECT_EQ(onQueue->queueLabel(), "test.label");
    EXPECT_NE(onQueue->threadID(), onMain.threadID());
    DispatchQueue::global(DispatchQueue::QoS::Utility)->sync([&] {
        onQueue = std::make_shared<VLLogMessage>("m", 3, 1, 7, "f.cpp", "fn", 9);
    });
    EXPECT_EQ(onQueue->qos(), VLQoSUtility);
}

TEST(LogMessage, CopiesAreEqualAndHashAlikeButADifferentTimeIsNot) {
    auto t = std::chrono::system_clock::now();
    VLLogMessage a("text", 3, 2, -4, "/p/f.cpp", "fn", 12, Value("tag"), 1, t);
    VLLogMessage b = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.hash(), b.hash());
    b.setThreadFactsForTesting(a.threadID(), "another name", a.queueLabel(), a.qos());
    EXPECT_EQ(a, b);  // the thread name does not count
    VLLogMessage later("text", 3, 2, -4, "/p/f.cpp", "fn", 12, Value("tag"), 1, t + 1ms);
    EXPECT_NE(a, later);
    EXPECT_NE(a, a.withMessage("other"));
    VLLogMessage otherTag("text", 3, 2, -4, "/p/f.cpp", "fn", 12, Value("tag2"), 1, t);
    EXPECT_NE(a, otherTag);
    EXPECT_EQ(a.tag(), a.representedObject());
}

struct Tunable {
    static inline uint64_t level = VLLogLevelWarning;
    static uint64_t vlLogLevel() { return level; }
    static void vlSetLogLevel(uint64_t l) { level = l; }
};
struct NotTunable {};
VL_REGISTER_LOG_LEVEL_CLASS(Tunable)

TEST(PerClassLevels, RegisteredTypesAreFoundByNameAndOthersAnswerAllBits) {
    EXPECT_TRUE(VLLog::isRegisteredClass<Tunable>());
    EXPECT_FALSE(VLLog::isRegisteredClass<NotTunable>());
    auto names = VLLog::registeredClassNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Tunable"), names.end());
    EXPECT_EQ(VLLog::levelForClassWithName("Tunable"), VLLogLevelWarning);
    VLLog::setLevelForClassWithName(VLLogLevelDebug, "Tunable");
    EXPECT_EQ(Tunable::level, VLLogLevelDebug);
    VLLog::setLevelForClass<Tunable>(VLLogLevelError);
    EXPECT_EQ(VLLog::levelForClass<Tunable>(), VLLogLevelError);
    EXPECT_EQ(VLLog::levelForClass<NotTunable>(), VLLogLevelAll);
    EXPECT_EQ(VLLog::levelForClassWithName("NoSuchClass"), VLLogLevelAll);
    VLLog::setLevelForClassWithName(VLLogLevelOff, "NoSuchClass");
    EXPECT_EQ(Tunable::level, VLLogLevelError);
}

}  // namespace
