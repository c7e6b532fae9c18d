#include "logging/VLLog.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#include "logging/VLLogQueue.h"
#include "logging/VLRecordPool.h"
#include "logging/VLTakenFlags.h"
#include "platform/dispatch/DispatchSync.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PlatformLog.h"

std::atomic<uint64_t> VLLog::defaultLevel_{VLLogLevelVerbose};

namespace {

constexpr const char* kFile = "VLLog";
constexpr const char* kOnlyOnLoggingQueue = "This method should only be run on the logging thread/queue";
constexpr const char* kFlushNotOnLoggingQueue =
    "This method shouldn't be run on the logging thread/queue that make flush fast enough";

// Queue-specific markers: one on the global logging queue, one on every
// queue the core calls a logger on.
char kLoggingQueueKey;
char kLoggerQueueKey;

// The most records handed to a logger in one go.
constexpr size_t kMaxBatch = 4096;

template <class F>
void guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        NSLog("VLLog: a logger raised an exception: %s", e.what());
    } catch (...) {
        NSLog("VLLog: a logger raised an exception");
    }
}

using vl_detail::LogQueue;
using vl_detail::QueuedRecord;
using vl_detail::QueueNode;
using vl_detail::Waiter;

// A record, its place in the queue and the shared count fit one pooled block.
static_assert(sizeof(QueuedRecord) <= 480);

class Core {
public:
    Core() {
        queue_ = DispatchQueue::serial("varmelund.logging");
        queue_->setSpecific(&kLoggingQueueKey, &kLoggingQueueKey);
        long n = sysconf(_SC_NPROCESSORS_ONLN);
        singleProcessor_ = n <= 1;
        loggers_.reserve(4);
    }

    std::shared_ptr<DispatchQueue> queue() const { return queue_; }
    vl_detail::TakenFlags& takenFlags() { return takenFlags_; }

    // ---- queueing, from any thread ----

    void push(QueueNode* node) {
        list_.push(node);
        // Paired with drain(): either it sees this node, or we see that it
        // went idle and start it again.
        if (!scheduled_.load(std::memory_order_seq_cst) && !scheduled_.exchange(true, std::memory_order_seq_cst))
            queue_->async([this] { drain(); });
    }

    static QueueNode* nodeFor(VLLogMessagePtr record, std::function<void()> work) {
        auto* node = new QueueNode();
        node->record = std::move(record);
        if (work) node->work = std::make_unique<std::function<void()>>(std::move(work));
        node->ownedByQueue = true;
        return node;
    }

    // Pushes and waits until handled; false when `timeout` passed first.
    bool pushAndWait(QueueNode* node, std::optional<std::chrono::milliseconds> timeout = std::nullopt) {
        auto waiter = std::make_shared<Waiter>();
        node->waiter = waiter;
        push(node);
        std::unique_lock lock(waiter->mutex);
        if (!timeout) {
            waiter->cv.wait(lock, [&] { return waiter->done; });
            return true;
        }
        return waiter->cv.wait_for(lock, *timeout, [&] { return waiter->done; });
    }

    void runInline(const VLLogMessagePtr& record) { fanOut({record}); }

    // ---- on the logging queue ----

    void lt_addLogger(const std::shared_ptr<VLLogger>& logger, uint64_t level) {
        vl::check(VLLog::isOnLoggingQueue(), kFile, kOnlyOnLoggingQueue);
        for (const auto& node : loggers_) {
            if (node.logger == logger && node.level == level) {
                takenFlags_.registryChanged(lt_levels(), level);
                return;
            }
        }
        std::shared_ptr<DispatchQueue> q;
        guarded([&] { q = logger->loggerQueue(); });
        if (!q) {
            for (const auto& node : loggers_)
                if (node.logger == logger) q = node.loggerQueue;
        }
        if (!q) {
            std::string name;
            guarded([&] { name = logger->loggerName(); });
            q = DispatchQueue::serial(name);
        }
        q->setSpecific(&kLoggerQueueKey, &kLoggerQueueKey);
        loggers_.push_back({logger, q, level});
        takenFlags_.registryChanged(lt_levels(), level);
        q->async([logger, q] { guarded([&] { logger->didAddLogger(q); }); });
    }

    void lt_removeLogger(const std::shared_ptr<VLLogger>& logger) {
        vl::check(VLLog::isOnLoggingQueue(), kFile, kOnlyOnLoggingQueue);
        for (auto it = loggers_.begin(); it != loggers_.end(); ++it) {
            if (it->logger != logger) continue;
            auto l = it->logger;
            it->loggerQueue->async([l] { guarded([&] { l->willRemoveLogger(); }); });
            loggers_.erase(it);
            takenFlags_.registryChanged(lt_levels());
            return;
        }
    }

    void lt_removeAllLoggers() {
        vl::check(VLLog::isOnLoggingQueue(), kFile, kOnlyOnLoggingQueue);
        for (auto& node : loggers_) {
            auto l = node.logger;
            node.loggerQueue->async([l] { guarded([&] { l->willRemoveLogger(); }); });
        }
        loggers_.clear();
        takenFlags_.registryChanged(lt_levels());
    }

    std::vector<VLLoggerNode> lt_nodes() {
        vl::check(VLLog::isOnLoggingQueue(), kFile, kOnlyOnLoggingQueue);
        return loggers_;
    }

    void lt_flush() {
        vl::check(VLLog::isOnLoggingQueue(), kFile, kOnlyOnLoggingQueue);
        DispatchGroup group;
        for (auto& node : loggers_) {
            auto l = node.logger;
            node.loggerQueue->async(group, [l] { guarded([&] { l->flush(); }); });
        }
        group.wait();
    }

    void setSingleProcessor(bool single) { singleProcessor_ = single; }

private:
    uint64_t lt_levels() const {
        uint64_t levels = 0;
        for (const auto& node : loggers_) levels |= node.level;
        return levels;
    }

    // Records go to the loggers in batches. While the loggers write one
    // batch, the next is gathered; it is handed over only once they have
    // finished with the one before, so each logger still sees every record
    // in order and no two at once. Steps and idling wait for both.
    struct Batch {
        struct Work {
            std::shared_ptr<VLLogger> logger;
            std::shared_ptr<DispatchQueue> queue;
            std::vector<VLLogMessagePtr> own;
            bool all = false;
        };
        std::vector<VLLogMessagePtr> records;
        std::vector<std::shared_ptr<Waiter>> waiters;
        std::vector<Work> work;
        DispatchGroup group;
        bool inFlight = false;
    };

    void drain() {
        bool idle = false;
        size_t handled = 0;
        while (true) {
            QueueNode* node = nullptr;
            LogQueue::State state = list_.pop(node);
            if (state == LogQueue::State::Empty) {
                handOver();
                settle();
                if (idle) return;
                // Going idle; one more look catches a push that saw us busy.
                scheduled_.store(false, std::memory_order_seq_cst);
                idle = true;
                continue;
            }
            if (idle) {
                scheduled_.store(true, std::memory_order_seq_cst);
                idle = false;
            }
            if (state == LogQueue::State::Busy) {
                handOver();
                std::this_thread::yield();
                continue;
            }
            bool owned = node->ownedByQueue;
            std::shared_ptr<Waiter> waiter = std::move(node->waiter);
            Batch& gathering = batches_[gathering_];
            if (node->record) {
                gathering.records.push_back(std::move(node->record));  // keeps a queued record's node alive too
                if (owned) delete node;
                if (waiter) gathering.waiters.push_back(std::move(waiter));
                if (gathering.records.size() >= kMaxBatch) handOver();
            } else {
                handOver();
                settle();
                std::unique_ptr<std::function<void()>> work = std::move(node->work);
                if (owned) delete node;
                if (work) guarded(*work);
                if (waiter) waiter->signal();
            }
            // Now and then give work posted straight to the queue its turn.
            if (++handled >= 65536) {
                handOver();
                settle();
                queue_->async([this] { drain(); });
                return;
            }
        }
    }

    // Hands the gathered batch to the loggers once the one before is done.
    void handOver() {
        Batch& next = batches_[gathering_];
        Batch& previous = batches_[1 - gathering_];
        if (next.records.empty()) {
            for (auto& w : next.waiters) w->signal();
            next.waiters.clear();
            return;
        }
        if (previous.inFlight) previous.group.wait();
        start(next);
        finish(previous);  // frees its records while the loggers work
        gathering_ = 1 - gathering_;
    }

    // Waits until no batch is with the loggers.
    void settle() {
        finish(batches_[0]);
        finish(batches_[1]);
    }

    void start(Batch& b) {
        vl::check(VLLog::isOnLoggingQueue(), kFile, kOnlyOnLoggingQueue);
        b.work.clear();
        for (const auto& node : loggers_) {
            size_t admitted = 0;
            for (const auto& r : b.records) admitted += (r->flag() & node.level) != 0;
            if (admitted == 0) continue;
            Batch::Work w{node.logger, node.loggerQueue, {}, admitted == b.records.size()};
            if (!w.all) {
                w.own.reserve(admitted);
                for (const auto& r : b.records)
                    if (r->flag() & node.level) w.own.push_back(r);
            }
            b.work.push_back(std::move(w));
        }
        auto call = [&b](const Batch::Work& w) {
            const auto& records = w.all ? b.records : w.own;
            guarded([&] { w.logger->logMessages(records); });
        };
        if (singleProcessor_) {
            for (const auto& w : b.work) w.queue->sync([&] { call(w); });
            b.inFlight = false;
            return;
        }
        for (const auto& w : b.work) w.queue->async(b.group, [call, &w] { call(w); });
        b.inFlight = true;
    }

    void finish(Batch& b) {
        if (b.inFlight) b.group.wait();
        b.inFlight = false;
        for (auto& w : b.waiters) w->signal();
        b.waiters.clear();
        b.records.clear();
        b.work.clear();
    }

    // One record at once, on the logging queue, when nothing is in flight.
    void fanOut(std::vector<VLLogMessagePtr> records) {
        Batch& b = batches_[gathering_];
        b.records = std::move(records);
        start(b);
        finish(b);
    }

    std::shared_ptr<DispatchQueue> queue_;
    std::vector<VLLoggerNode> loggers_;
    vl_detail::TakenFlags takenFlags_;
    bool singleProcessor_ = false;

    LogQueue list_;
    alignas(64) std::atomic<bool> scheduled_{false};
    // Logging queue only.
    Batch batches_[2];
    int gathering_ = 0;
};

// ---- exit ----

std::atomic<bool> gForkedChild{false};
int gTermPipe[2] = {-1, -1};
struct sigaction gPreviousTerm;

void flushAtExit() {
    if (gForkedChild.load()) return;
    VLLog::flushBeforeExit();
}

void onTerm(int) {
    int saved = errno;
    char c = 1;
    if (write(gTermPipe[1], &c, 1) < 0) {
    }
    errno = saved;
}

// SIGTERM: write out what is queued, then end the process as the signal
// would have.
void termWatcher() {
    char c;
    while (read(gTermPipe[0], &c, 1) < 0 && errno == EINTR) {
    }
    VLLog::flushBeforeExit();
    sigaction(SIGTERM, &gPreviousTerm, nullptr);
    kill(getpid(), SIGTERM);
}

void installExitHandlers() {
    std::atexit(flushAtExit);
    // A child that forks without exec has no logging threads: it neither
    // flushes at exit nor keeps our signal handler.
    pthread_atfork(nullptr, nullptr, [] {
        gForkedChild.store(true);
        if (gTermPipe[1] >= 0) sigaction(SIGTERM, &gPreviousTerm, nullptr);
    });
    struct sigaction current {};
    if (sigaction(SIGTERM, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
        (current.sa_flags & SA_SIGINFO))
        return;  // someone else handles SIGTERM; their exit path flushes
    if (pipe2(gTermPipe, O_CLOEXEC) != 0) return;
    gPreviousTerm = current;
    std::thread(termWatcher).detach();
    struct sigaction sa {};
    sa.sa_handler = onTerm;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
}

Core& core() {
    static Core* c = [] {
        auto* made = new Core();
        PlatformLog::identifier();  // ignores SIGPIPE, so a closed stderr cannot end the process
        installExitHandlers();
        NSNotificationCenter::defaultCenter().addObserver(made, UIApplicationWillTerminateNotification, nullptr,
                                                          [](const NSNotification&) { VLLog::flushLog(); });
        return made;
    }();
    return *c;
}

bool onAnyLoggerQueue() { return DispatchQueue::currentSpecific(&kLoggerQueueKey) != nullptr; }

std::mutex gClassMutex;
std::vector<VLLog::RegisteredClass>& classRegistry() {
    static auto* v = new std::vector<VLLog::RegisteredClass>();
    return *v;
}

}  // namespace

std::shared_ptr<DispatchQueue> VLLog::loggingQueue() { return core().queue(); }

bool VLLog::isOnLoggingQueue() { return DispatchQueue::currentSpecific(&kLoggingQueueKey) != nullptr; }

void VLLog::addLogger(std::shared_ptr<VLLogger> logger) { addLogger(std::move(logger), VLLogLevelAll); }

void VLLog::addLogger(std::shared_ptr<VLLogger> logger, uint64_t level) {
    if (!logger) return;
    core().takenFlags().adding(level);
    asyncOnLoggingQueue([logger, level] { core().lt_addLogger(logger, level); });
}

void VLLog::removeLogger(const std::shared_ptr<VLLogger>& logger) {
    if (!logger) return;
    asyncOnLoggingQueue([logger] { core().lt_removeLogger(logger); });
}

void VLLog::removeAllLoggers() {
    asyncOnLoggingQueue([] { core().lt_removeAllLoggers(); });
}

std::vector<std::shared_ptr<VLLogger>> VLLog::allLoggers() {
    std::vector<std::shared_ptr<VLLogger>> out;
    syncOnLoggingQueue([&] {
        for (auto& node : core().lt_nodes()) out.push_back(node.logger);
    });
    return out;
}

std::vector<VLLoggerInformation> VLLog::allLoggersWithLevel() {
    std::vector<VLLoggerInformation> out;
    syncOnLoggingQueue([&] {
        for (auto& node : core().lt_nodes()) out.push_back({node.logger, node.level});
    });
    return out;
}

void VLLog::log(bool asynchronous, uint64_t level, uint64_t flag, int64_t context, const char* file,
                const char* function, uint64_t line, const Value& tag, const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    logv(asynchronous, level, flag, context, file, function, line, tag, format, args);
    va_end(args);
}

void VLLog::logv(bool asynchronous, uint64_t level, uint64_t flag, int64_t context, const char* file,
                 const char* function, uint64_t line, const Value& tag, const char* format, va_list args) {
    if (!format || !core().takenFlags().anyTakes(flag)) return;
    // The record first: its text is formatted straight into its block.
    auto block = std::allocate_shared<QueuedRecord>(vl_detail::PoolAllocator<QueuedRecord>(), VLLogMessage::TextToCome{},
                                                    level, flag, context, file ? file : "", function ? function : "",
                                                    line, tag);
    if (block->message.formatInPlace(format, args)) queueBlock(std::move(block), asynchronous);
}

void VLLog::log(bool asynchronous, std::string_view message, uint64_t level, uint64_t flag, int64_t context,
                const char* file, const char* function, uint64_t line, const Value& tag) {
    queueNew(asynchronous, message, level, flag, context, file, function, line, tag);
}

void VLLog::log(bool asynchronous, VLLogMessagePtr message) {
    if (message) queueLogMessage(std::move(message), asynchronous);
}

namespace {

// Where a synchronous record goes: inline on the logging queue; without
// waiting from a logger's own queue (the logging queue may be waiting on
// us, and waiting back would hang both); else queued and waited for.
enum class Road { Async, Inline, Wait };
Road roadFor(bool asynchronous) {
    if (asynchronous) return Road::Async;
    if (VLLog::isOnLoggingQueue()) return Road::Inline;
    if (onAnyLoggerQueue()) return Road::Async;
    return Road::Wait;
}

void queueNode(QueueNode* node, bool asynchronous) {
    Core& c = core();
    switch (roadFor(asynchronous)) {
    case Road::Async: c.push(node); break;
    case Road::Wait: c.pushAndWait(node); break;
    case Road::Inline: {
        VLLogMessagePtr record = std::move(node->record);
        if (node->ownedByQueue) delete node;
        c.runInline(record);
        break;
    }
    }
}

}  // namespace

// The record and its place in the queue come in one allocation.
void VLLog::queueNew(bool asynchronous, std::string_view message, uint64_t level, uint64_t flag, int64_t context,
                     const char* file, const char* function, uint64_t line, const Value& tag) {
    if (!core().takenFlags().anyTakes(flag)) return;
    queueBlock(std::allocate_shared<QueuedRecord>(vl_detail::PoolAllocator<QueuedRecord>(), message, level, flag,
                                                  context, file ? file : "", function ? function : "", line, tag),
               asynchronous);
}

void VLLog::queueBlock(std::shared_ptr<vl_detail::QueuedRecord> block, bool asynchronous) {
    QueueNode* node = &block->node;
    const VLLogMessage* record = &block->message;
    node->record = VLLogMessagePtr(std::move(block), record);
    queueNode(node, asynchronous);
}

void VLLog::queueLogMessage(VLLogMessagePtr message, bool asynchronous) {
    if (message && core().takenFlags().anyTakes(message->flag()))
        queueNode(Core::nodeFor(std::move(message), nullptr), asynchronous);
}

void VLLog::flushLog() {
    if (!vl::check(!isOnLoggingQueue(), kFile, kFlushNotOnLoggingQueue)) return;
    syncOnLoggingQueue([] { core().lt_flush(); });
}

bool VLLog::flushBeforeExit(std::chrono::milliseconds timeout) {
    if (isOnLoggingQueue() || onAnyLoggerQueue()) return false;
    return core().pushAndWait(Core::nodeFor(nullptr, [] { core().lt_flush(); }), timeout);
}

void VLLog::asyncOnLoggingQueue(std::function<void()> work) {
    if (work) core().push(Core::nodeFor(nullptr, std::move(work)));
}

void VLLog::syncOnLoggingQueue(const std::function<void()>& work) {
    if (!work) return;
    if (isOnLoggingQueue()) {
        work();
        return;
    }
    core().pushAndWait(Core::nodeFor(nullptr, [&work] { work(); }));
}

void VLLog::setSingleProcessorForTesting(bool single) {
    syncOnLoggingQueue([single] { core().setSingleProcessor(single); });
}

// ---- per-class levels ----

void VLLog::registerClass(RegisteredClass entry) {
    std::lock_guard lock(gClassMutex);
    for (auto& e : classRegistry())
        if (e.name == entry.name) return;
    classRegistry().push_back(std::move(entry));
}

std::vector<VLLog::RegisteredClass> VLLog::registeredClasses() {
    std::lock_guard lock(gClassMutex);
    return classRegistry();
}

std::vector<std::string> VLLog::registeredClassNames() {
    std::vector<std::string> names;
    for (auto& e : registeredClasses()) names.push_back(e.name);
    return names;
}

bool VLLog::isRegisteredClassName(const std::string& name) {
    for (auto& e : registeredClasses())
        if (e.name == name) return true;
    return false;
}

uint64_t VLLog::levelForClassWithName(const std::string& name) {
    for (auto& e : registeredClasses())
        if (e.name == name) return e.getLevel();
    return VLLogLevelAll;
}

void VLLog::setLevelForClassWithName(uint64_t level, const std::string& name) {
    for (auto& e : registeredClasses())
        if (e.name == name) e.setLevel(level);
}
