#pragma once
// Logging for the whole system.
//
// Call sites log in one line, printf-style (the format is checked by the
// compiler; pass outside text as an argument, never as the format):
//
//     #include "logging/VLLog.h"
//     VLLogError("save failed: %s", error.localizedDescription().c_str());  // waits until written
//     VLLogWarn("retrying %s", url.c_str());                                // returns at once
//     VLLogInfo("started in %.1f ms", ms);
//     VLLogDebug("state %d", state);
//     VLLogVerbose("frame %lu", frame);
//
// Errors are written synchronously (the call returns once every logger has
// the line), everything else asynchronously. A macro logs only when its
// flag is in VL_LOG_LEVEL_DEF (by default VLLog::defaultLevel(), all five
// flags; a file may #define VL_LOG_LEVEL_DEF before including this header)
// and passes the context VL_LOG_CONTEXT_DEF (0 unless defined).
//
// Nothing logs until a logger is added: the shell adds the rolling file
// logger and the platform-log logger at start. Queued records are written
// out on normal exit, on exit() and on SIGTERM; call VLLog::flushBeforeExit()
// before ending the process any other way.

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "logging/VLLogMessage.h"
#include "logging/VLLogger.h"
#include "platform/dispatch/DispatchQueue.h"

// Flags: what kind of message a record is.
inline constexpr uint64_t VLLogFlagError = 1;
inline constexpr uint64_t VLLogFlagWarning = 2;
inline constexpr uint64_t VLLogFlagInfo = 4;
inline constexpr uint64_t VLLogFlagDebug = 8;
inline constexpr uint64_t VLLogFlagVerbose = 16;

// Levels: masks of flags that a logger or a call site lets through.
inline constexpr uint64_t VLLogLevelOff = 0;
inline constexpr uint64_t VLLogLevelError = VLLogFlagError;
inline constexpr uint64_t VLLogLevelWarning = VLLogLevelError | VLLogFlagWarning;
inline constexpr uint64_t VLLogLevelInfo = VLLogLevelWarning | VLLogFlagInfo;
inline constexpr uint64_t VLLogLevelDebug = VLLogLevelInfo | VLLogFlagDebug;
inline constexpr uint64_t VLLogLevelVerbose = VLLogLevelDebug | VLLogFlagVerbose;
inline constexpr uint64_t VLLogLevelAll = ~uint64_t(0);

// One registry entry.
struct VLLoggerNode {
    std::shared_ptr<VLLogger> logger;
    std::shared_ptr<DispatchQueue> loggerQueue;
    uint64_t level = 0;
};

// A snapshot handed to callers.
struct VLLoggerInformation {
    std::shared_ptr<VLLogger> logger;
    uint64_t level = 0;
};

class VLLog {
public:
    // The global logging queue "varmelund.logging".
    static std::shared_ptr<DispatchQueue> loggingQueue();
    static bool isOnLoggingQueue();

    // Registration and removal are asynchronous and ordered with records: a
    // record queued by the same thread after addLogger reaches the logger,
    // one queued after removeLogger does not. Null loggers are ignored.
    static void addLogger(std::shared_ptr<VLLogger> logger);  // level VLLogLevelAll
    static void addLogger(std::shared_ptr<VLLogger> logger, uint64_t level);
    static void removeLogger(const std::shared_ptr<VLLogger>& logger);
    static void removeAllLoggers();
    // In registry order; these wait.
    static std::vector<std::shared_ptr<VLLogger>> allLoggers();
    static std::vector<VLLoggerInformation> allLoggersWithLevel();

    // The logging call. `level` is carried in the record, not used for
    // filtering: a logger gets a record when its level shares a bit with
    // `flag`; when no logger's does (nor that of a logger being added), the
    // call returns at once without building the record. Nothing is logged
    // for a null format. The caller's thread reads the time and its own
    // facts and formats the text; the date is formatted on a logger's queue.
    static void log(bool asynchronous, uint64_t level, uint64_t flag, int64_t context, const char* file,
                    const char* function, uint64_t line, const Value& tag, const char* format, ...)
        __attribute__((format(printf, 9, 10)));
    static void logv(bool asynchronous, uint64_t level, uint64_t flag, int64_t context, const char* file,
                     const char* function, uint64_t line, const Value& tag, const char* format, va_list args)
        __attribute__((format(printf, 9, 0)));
    static void log(bool asynchronous, std::string_view message, uint64_t level, uint64_t flag, int64_t context,
                    const char* file, const char* function, uint64_t line, const Value& tag);
    static void log(bool asynchronous, VLLogMessagePtr message);
    static void queueLogMessage(VLLogMessagePtr message, bool asynchronous);

    // Waits until every record queued before has reached every logger and
    // every logger has flushed. Not from the logging queue.
    static void flushLog();
    // flushLog for the last moments of a process: callable from any thread
    // (from the logging queue or a logger's queue it waits for nothing),
    // and gives up after `timeout` so that a stuck disk cannot hold the
    // exit. True when everything was written.
    static bool flushBeforeExit(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Runs `work` on the logging queue, ordered with the records queued
    // around it. The sync form runs inline when already there.
    static void asyncOnLoggingQueue(std::function<void()> work);
    static void syncOnLoggingQueue(const std::function<void()>& work);

    // The level the call-site macros test (all five flags unless set).
    static uint64_t defaultLevel() { return defaultLevel_.load(std::memory_order_relaxed); }
    static void setDefaultLevel(uint64_t level) { defaultLevel_.store(level, std::memory_order_relaxed); }

    // Per-class levels: types with static vlLogLevel() and
    // vlSetLogLevel(uint64_t) that registered with VL_REGISTER_LOG_LEVEL_CLASS.
    struct RegisteredClass {
        std::string name;
        std::function<uint64_t()> getLevel;
        std::function<void(uint64_t)> setLevel;
    };
    static void registerClass(RegisteredClass entry);
    static bool isRegisteredClassName(const std::string& name);
    static std::vector<RegisteredClass> registeredClasses();  // in registration order
    static std::vector<std::string> registeredClassNames();
    // VLLogLevelAll for a name that is not registered.
    static uint64_t levelForClassWithName(const std::string& name);
    static void setLevelForClassWithName(uint64_t level, const std::string& name);
    template <class T>
    static constexpr bool isRegisteredClass() {
        return requires {
            { T::vlLogLevel() };
            T::vlSetLogLevel(uint64_t(0));
        };
    }
    template <class T>
    static uint64_t levelForClass() {
        if constexpr (isRegisteredClass<T>()) return T::vlLogLevel();
        else return VLLogLevelAll;
    }
    template <class T>
    static void setLevelForClass(uint64_t level) {
        if constexpr (isRegisteredClass<T>()) T::vlSetLogLevel(level);
    }

    // Tests: choose the one-processor hand-over (true) or the parallel one.
    static void setSingleProcessorForTesting(bool single);

private:
    static void queueNew(bool asynchronous, std::string_view message, uint64_t level, uint64_t flag, int64_t context,
                         const char* file, const char* function, uint64_t line, const Value& tag);
    static void queueBlock(std::shared_ptr<vl_detail::QueuedRecord> block, bool asynchronous);
    static std::atomic<uint64_t> defaultLevel_;
};

// Registers a type for per-class levels, at namespace scope in its .cpp.
#define VL_REGISTER_LOG_LEVEL_CLASS(Class)                                                             \
    namespace {                                                                                       \
    static_assert(VLLog::isRegisteredClass<Class>(), #Class " needs vlLogLevel and vlSetLogLevel");   \
    const bool vlLogLevelRegistered_##Class = (VLLog::registerClass({#Class, [] { return Class::vlLogLevel(); }, \
                                                                     [](uint64_t l) { Class::vlSetLogLevel(l); }}), \
                                               true);                                                 \
    }

#ifndef VL_LOG_LEVEL_DEF
#define VL_LOG_LEVEL_DEF (VLLog::defaultLevel())
#endif
#ifndef VL_LOG_CONTEXT_DEF
#define VL_LOG_CONTEXT_DEF 0
#endif

#define VL_LOG_MAYBE(async, flag, fmt, ...)                                                                 \
    do {                                                                                                    \
        if ((VL_LOG_LEVEL_DEF) & (flag))                                                                    \
            VLLog::log(async, VL_LOG_LEVEL_DEF, flag, VL_LOG_CONTEXT_DEF, __FILE__, __func__, __LINE__, Value(), \
                       fmt, ##__VA_ARGS__);                                                                 \
    } while (0)

#define VLLogError(fmt, ...) VL_LOG_MAYBE(false, VLLogFlagError, fmt, ##__VA_ARGS__)
#define VLLogWarn(fmt, ...) VL_LOG_MAYBE(true, VLLogFlagWarning, fmt, ##__VA_ARGS__)
#define VLLogInfo(fmt, ...) VL_LOG_MAYBE(true, VLLogFlagInfo, fmt, ##__VA_ARGS__)
#define VLLogDebug(fmt, ...) VL_LOG_MAYBE(true, VLLogFlagDebug, fmt, ##__VA_ARGS__)
#define VLLogVerbose(fmt, ...) VL_LOG_MAYBE(true, VLLogFlagVerbose, fmt, ##__VA_ARGS__)
