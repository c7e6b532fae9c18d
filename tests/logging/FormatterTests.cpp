// The formatter chain, the context filters, the dispatch-queue formatter,
// the atomic counter, and the callers' own formatting of plain formats.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <thread>

#include "LogTestSupport.h"
#include "logging/VLDispatchQueueLogFormatter.h"
#include "logging/VLFormat.h"
#include "logging/VLMultiFormatter.h"

using namespace logtest;

namespace {

// formatPlain's text, or nullopt when it leaves the format to the C library.
__attribute__((format(printf, 2, 3))) std::optional<std::string> plain(size_t capacity, const char* format, ...) {
    std::vector<char> buf(capacity);
    va_list args;
    va_start(args, format);
    int n = vl_detail::formatPlain(buf.data(), capacity, format, args);
    va_end(args);
    if (n < 0) return std::nullopt;
    return std::string(buf.data(), size_t(n));
}

// formatPlain must give exactly what snprintf gives.
#define EXPECT_AS_SNPRINTF(format, ...)                                    \
    do {                                                                   \
        char want[256];                                                    \
        int n = snprintf(want, sizeof want, format, __VA_ARGS__);          \
        auto got = plain(256, format, __VA_ARGS__);                        \
        ASSERT_TRUE(got) << format;                                        \
        EXPECT_EQ(*got, std::string(want, size_t(n))) << format;           \
    } while (0)

TEST(PlainFormats, ByteForByteAsTheCLibraryAndTheRestLeftToIt) {
    const char* volatile none = nullptr;  // volatile: no compile-time complaint about the null
    const char* trailing = "%d%";         // not a literal: no compile-time complaint either
    EXPECT_AS_SNPRINTF("worker %d wrote message number %d of the run", 3, 123456);
    EXPECT_AS_SNPRINTF("%d %i %d %d", INT_MIN, INT_MAX, 0, -1);
    EXPECT_AS_SNPRINTF("%hhd %hd %hhu %hu", 300, 70000, 300, 70000);
    EXPECT_AS_SNPRINTF("%ld %lld %llu %lu", LONG_MIN, LLONG_MIN, ULLONG_MAX, ULONG_MAX);
    EXPECT_AS_SNPRINTF("%zu %zd %jd %td %ju", SIZE_MAX, ssize_t(-5), INTMAX_MIN, ptrdiff_t(-7), UINTMAX_MAX);
    EXPECT_AS_SNPRINTF("%x %X %lx %u", 0xdeadbeefu, 0xdeadbeefu, 0x1234abcdUL, 4000000000u);
    EXPECT_AS_SNPRINTF("%s|%s|%c%c %s", "中文 \"q\"", "", 'x', 'y', none);
    EXPECT_AS_SNPRINTF("100%% done%s", "");
    EXPECT_AS_SNPRINTF("%s", "no conversions at all");
    // Exactly filling the room fits; one more byte does not.
    EXPECT_EQ(plain(11, "%s", "0123456789"), "0123456789");
    EXPECT_EQ(plain(10, "%s", "0123456789"), std::nullopt);
    EXPECT_EQ(plain(4, "%d", 12345), std::nullopt);
    for (auto result : {plain(64, "%5d", 1), plain(64, "%-d", 1), plain(64, "%+d", 1), plain(64, "%08x", 1u),
                        plain(64, "%#x", 1u), plain(64, "%.2f", 1.0), plain(64, "%p", static_cast<void*>(nullptr)),
                        plain(64, "%.*s", 2, "abc"), plain(64, "%ls", L"w"), plain(64, "%lc", wint_t(L'w')),
                        plain(64, trailing, 1)})
        EXPECT_EQ(result, std::nullopt);
}

VLLogMessage recordWith(std::string_view text, int64_t context = 0) {
    return VLLogMessage(text, VLLogLevelAll, VLLogFlagInfo, context, "/src/f.cpp", "fn", 1);
}

// Appends its letter; remembers what it was shown.
struct Append : VLLogFormatter {
    explicit Append(std::string s) : suffix(std::move(s)) {}
    std::string suffix;
    std::atomic<int> calls{0};
    std::mutex mutex;
    std::vector<std::pair<std::string, int64_t>> seen;
    std::optional<std::string> formatLogMessage(const VLLogMessage& m) override {
        ++calls;
        std::lock_guard lock(mutex);
        seen.emplace_back(std::string(m.message()), m.context());
        return std::string(m.message()) + suffix;
    }
};

struct Drop : VLLogFormatter {
    std::optional<std::string> formatLogMessage(const VLLogMessage&) override { return std::nullopt; }
};

TEST(MultiFormatter, RunsInOrderEachSeeingTheRecordWithThePreviousText) {
    VLMultiFormatter chain;
    EXPECT_EQ(chain.formatLogMessage(recordWith("plain")), "plain");  // empty chain
    auto a = std::make_shared<Append>("a"), b = std::make_shared<Append>("b");
    chain.addFormatter(a);
    chain.addFormatter(b);
    chain.addFormatter(nullptr);
    EXPECT_EQ(chain.formatLogMessage(recordWith("x", 42)), "xab");
    EXPECT_EQ(b->seen, (std::vector<std::pair<std::string, int64_t>>{{"xa", 42}}));

    chain.addFormatter(a);  // twice: runs twice
    EXPECT_EQ(chain.formatLogMessage(recordWith("y")), "yaba");
    EXPECT_EQ(chain.formatters().size(), 3u);
    chain.removeFormatter(a);  // every entry of it
    EXPECT_FALSE(chain.isFormattingWithFormatter(a));
    EXPECT_EQ(chain.formatLogMessage(recordWith("z")), "zb");
    chain.removeAllFormatters();
    EXPECT_TRUE(chain.formatters().empty());
}

TEST(MultiFormatter, ADroppingStepEndsTheChain) {
    VLMultiFormatter chain;
    auto after = std::make_shared<Append>("!");
    chain.addFormatter(std::make_shared<Drop>());
    chain.addFormatter(after);
    EXPECT_EQ(chain.formatLogMessage(recordWith("gone")), std::nullopt);
    EXPECT_EQ(after->calls.load(), 0);
}

TEST(MultiFormatter, SharedByLoggersWhileChangedFromAnotherThread) {
    auto chain = std::make_shared<VLMultiFormatter>();
    auto a = std::make_shared<Append>("-a");
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        while (!stop) {
            chain->addFormatter(a);
            chain->removeFormatter(a);
        }
    });
    std::vector<std::thread> users;
    std::atomic<int> bad{0};
    for (int t = 0; t < 3; ++t)
        users.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                auto text = chain->formatLogMessage(recordWith("m"));
                if (text != "m" && text != "m-a") ++bad;
            }
        });
    for (auto& u : users) u.join();
    stop = true;
    changer.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(ContextFilters, AllowAndDenyByContextWithBothSpellings) {
    VLContextAllowlistFilterLogFormatter allow;
    EXPECT_EQ(allow.formatLogMessage(recordWith("x", 1)), std::nullopt);  // empty list: nothing through
    allow.addToAllowlist(7);
    allow.addToWhitelist(7);
    allow.addToAllowlist(-3);
    EXPECT_EQ(allow.formatLogMessage(recordWith("seven", 7)), "seven");
    EXPECT_EQ(allow.formatLogMessage(recordWith("eight", 8)), std::nullopt);
    auto list = allow.whitelist();
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (std::vector<int64_t>{-3, 7}));
    allow.removeFromWhitelist(7);  // added twice, removed once: gone
    EXPECT_FALSE(allow.isOnAllowlist(7));
    EXPECT_TRUE(allow.isOnWhitelist(-3));

    VLContextDenylistFilterLogFormatter deny;
    EXPECT_EQ(deny.formatLogMessage(recordWith("x", 1)), "x");  // empty list: everything through
    deny.addToBlacklist(5);
    EXPECT_EQ(deny.formatLogMessage(recordWith("five", 5)), std::nullopt);
    EXPECT_EQ(deny.formatLogMessage(recordWith("six", 6)), "six");
    for (int64_t c : {5, 6}) EXPECT_EQ(deny.isOnBlacklist(c), deny.isOnDenylist(c));
    deny.removeFromDenylist(5);
    EXPECT_TRUE(deny.denylist().empty());
}

TEST(ContextFilters, InALoggersChainInFrontOfAFormatter) {
    LoggingTest::resetLogging();
    auto chain = std::make_shared<VLMultiFormatter>();
    auto allow = std::make_shared<VLContextAllowlistFilterLogFormatter>();
    allow->addToAllowlist(2);
    chain->addFormatter(allow);
    chain->addFormatter(std::make_shared<Append>("!"));
    auto logger = std::make_shared<RecordingLogger>();
    logger->setLogFormatter(chain);
    VLLog::addLogger(logger);
    for (int64_t ctx : {1, 2, 3, 2})
        VLLog::log(true, VLLogLevelAll, VLLogFlagInfo, ctx, "f", "fn", 1, Value(), "ctx %lld", (long long)ctx);
    VLLog::flushLog();
    EXPECT_EQ(logger->texts(), (std::vector<std::string>{"ctx 2!", "ctx 2!"}));
    LoggingTest::resetLogging();
}

// ---- dispatch-queue formatter ----

VLLogMessage onQueue(std::string label, std::string threadName = "", std::string threadID = "4660",
                     uint64_t qos = VLQoSDefault) {
    VLLogMessage m = recordWith("hello");
    m.setThreadFactsForTesting(threadID, threadName, label, qos);
    return m;
}

TEST(DispatchQueueFormatter, LabelsAreReplacedFittedAndChosen) {
    VLDispatchQueueLogFormatter f;
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("com.apple.main-thread")), "main");
    // A shared root queue shows the thread: its name, else its id.
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("com.apple.root.default-qos.overcommit", "worker")), "worker");
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("global.default")), "4660");
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("", "")), "4660");
    f.setReplacementString("never", "4660");  // a thread id is never replaced
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("")), "4660");
    f.setReplacementString("w", "worker");  // a thread name is
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("", "worker")), "w");

    f.setMinQueueLength(10);
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("com.apple.main-thread")), "main      ");
    f.setMinQueueLength(0);
    f.setMaxQueueLength(4);
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("com.apple.main-thread")), "main");
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("abcde")), "abcd");
    // Widths count UTF-16 units and never split a character.
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("ab\xF0\x9F\x98\x80z")), "ab\xF0\x9F\x98\x80");
    f.setMaxQueueLength(3);
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("ab\xF0\x9F\x98\x80z")), "ab");
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("\xC3\xA9t\xC3\xA9s")), "\xC3\xA9t\xC3\xA9");
    f.setMaxQueueLength(0);
    f.setMinQueueLength(5);
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("\xE6\x97\xA5\xE6\x9C\xAC")), "\xE6\x97\xA5\xE6\x9C\xAC   ");

    f.setMinQueueLength(0);
    f.setReplacementString(std::nullopt, "com.apple.main-thread");
    EXPECT_EQ(f.queueThreadLabelForLogMessage(onQueue("com.apple.main-thread")), "com.apple.main-thread");
    EXPECT_EQ(f.replacementStringForQueueLabel("com.apple.main-thread"), std::nullopt);
}

TEST(DispatchQueueFormatter, LineWithLocalTimeLabelAndQualityOfService) {
    const char* saved = getenv("TZ");
    std::string restore = saved ? saved : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    VLDispatchQueueLogFormatter f;
    auto when = *NSDateFormatter("yyyy-MM-dd HH:mm:ss.SSS Z").dateFromString("2024-03-05 06:08:09.250 +0000");
    VLLogMessage m("hello", VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), 0, when);
    m.setThreadFactsForTesting("1", "", "com.apple.main-thread", 33);
    auto line = f.formatLogMessage(m);
    if (saved) setenv("TZ", restore.c_str(), 1);
    else unsetenv("TZ");
    tzset();
    EXPECT_EQ(line, "2024-03-05 07:08:09:250 [main (QOS:UI)] hello");
    std::vector<std::string> names;
    for (uint64_t q : {33, 25, 21, 17, 9, 0, 5}) names.push_back(VLDispatchQueueLogFormatter::qosName(q));
    EXPECT_EQ(names, (std::vector<std::string>{"UI", "IN", "DF", "UT", "BG", "UN", "UN"}));
}

TEST(DispatchQueueFormatter, ARealRecordFromTheMainQueueAndFromASerialQueue) {
    VLDispatchQueueLogFormatter f;
    VLLogMessage main("m", 0, 1, 0, "f", "fn", 1);
    EXPECT_NE(f.formatLogMessage(main)->find("[main (QOS:UI)] m"), std::string::npos);
    std::optional<std::string> line;
    DispatchQueue::serial("com.example.net")->sync([&] { line = f.formatLogMessage(VLLogMessage("q", 0, 1, 0, "f", "fn", 1)); });
    EXPECT_NE(line->find("[com.example.net (QOS:UN)] q"), std::string::npos);
}

TEST(DispatchQueueFormatter, ASubclassChoosesItsOwnDateFormatter) {
    struct Minutes : VLDispatchQueueLogFormatter {
        std::shared_ptr<NSDateFormatter> createDateFormatter() const override {
            return std::make_shared<NSDateFormatter>("HH:mm", NSDateFormatter::TimeZone::gmt());
        }
    };
    Minutes f;
    auto when = *NSDateFormatter("yyyy-MM-dd HH:mm:ss.SSS Z").dateFromString("2024-03-05 06:08:09.250 +0000");
    VLLogMessage m("hello", VLLogLevelAll, VLLogFlagInfo, 0, "f", "fn", 1, Value(), 0, when);
    m.setThreadFactsForTesting("1", "", "com.apple.main-thread", 33);
    EXPECT_EQ(f.formatLogMessage(m), "06:08 [main (QOS:UI)] hello");
}

TEST(DispatchQueueFormatter, SharedAcrossThreadsWhileReplacementsChange) {
    VLDispatchQueueLogFormatter f;
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int i = 0; !stop; ++i) f.setReplacementString(i % 2 ? std::optional<std::string>("q") : std::nullopt, "queue");
    });
    std::atomic<int> bad{0};
    std::vector<std::thread> users;
    for (int t = 0; t < 3; ++t)
        users.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                auto label = f.queueThreadLabelForLogMessage(onQueue("queue"));
                if (label != "q" && label != "queue") ++bad;
            }
        });
    for (auto& u : users) u.join();
    stop = true;
    changer.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(AtomicCounter, CountsUpAndDownFromAnyThread) {
    VLAtomicCounter c(0);
    EXPECT_EQ(c.increment(), 1);
    EXPECT_EQ(c.decrement(), 0);
    VLAtomicCounter many(10);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) many.increment();
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(many.value(), 40010);
}

}  // namespace
