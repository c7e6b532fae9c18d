#pragma once
// The contracts of loggers and formatters, and the base class of every
// logger of the framework.
//
// A logger is always called on its own serial queue, so it never sees two
// records at once. Code on that queue reads the logger's fields directly;
// public accessors of a logger's settings reach the queue through the
// global logging queue (the "two-queue hop"), so a change is ordered after
// every record already queued and before every record queued later by the
// same thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "logging/VLAssert.h"
#include "logging/VLLogMessage.h"
#include "platform/dispatch/DispatchQueue.h"

class VLLogger;

class VLLogFormatter {
public:
    virtual ~VLLogFormatter() = default;
    // The text to write for one record, or nullopt to have the logger drop it.
    virtual std::optional<std::string> formatLogMessage(const VLLogMessage& message) = 0;
    // Told when a logger takes the formatter; the queue form is the one
    // loggers call, and by default passes on to the short form.
    virtual void didAddToLogger(VLLogger& logger) {}
    virtual void didAddToLogger(VLLogger& logger, const std::shared_ptr<DispatchQueue>& queue) {
        didAddToLogger(logger);
    }
    virtual void willRemoveFromLogger(VLLogger& logger) {}
};

class VLLogger {
public:
    virtual ~VLLogger() = default;

    // One record; always called on the logger's own queue.
    virtual void logMessage(const VLLogMessagePtr& message) = 0;
    // A run of records the core hands over at once, in order, on the
    // logger's queue. By default one logMessage per record; loggers that
    // can write a batch in one go override it.
    virtual void logMessages(const std::vector<VLLogMessagePtr>& messages) {
        for (const auto& m : messages) logMessage(m);
    }

    virtual std::shared_ptr<VLLogFormatter> logFormatter() = 0;
    virtual void setLogFormatter(std::shared_ptr<VLLogFormatter> formatter) = 0;

    // Optional hooks, run on the logger's queue. The queue form is the one
    // the core calls; by default it passes on to didAddLogger().
    virtual void didAddLogger() {}
    virtual void didAddLogger(const std::shared_ptr<DispatchQueue>& queue) { didAddLogger(); }
    virtual void willRemoveLogger() {}
    // Writes out anything held back; called by VLLog::flushLog.
    virtual void flush() {}

    // The serial queue the logger wants to be called on; nullptr lets the
    // core make one, labelled with loggerName().
    virtual std::shared_ptr<DispatchQueue> loggerQueue() { return nullptr; }
    virtual std::string loggerName() { return ""; }
};

class VLAbstractLogger : public VLLogger, public std::enable_shared_from_this<VLAbstractLogger> {
public:
    // Makes the logger's serial queue, labelled with `name`, and marks it so
    // that isOnInternalLoggerQueue() can tell.
    explicit VLAbstractLogger(std::string name = "VLAbstractLogger");
    ~VLAbstractLogger() override;

    void logMessage(const VLLogMessagePtr& message) override {}

    // Through the two-queue hop: the read waits, the change does not.
    std::shared_ptr<VLLogFormatter> logFormatter() override;
    void setLogFormatter(std::shared_ptr<VLLogFormatter> formatter) override;

    std::shared_ptr<DispatchQueue> loggerQueue() override { return loggerQueue_; }
    void setLoggerQueue(std::shared_ptr<DispatchQueue> queue);
    std::string loggerName() override { return name_; }

    bool isOnGlobalLoggingQueue() const;
    bool isOnInternalLoggerQueue() const;

protected:
    // The two-queue hop for a subclass's own settings. `file` names the
    // class in assertion reports. readSetting waits for the value;
    // changeSetting runs at once on the logger's queue, else posts through
    // the global logging queue and returns.
    template <class F>
    auto readSetting(const char* file, F read) -> decltype(read());
    void changeSetting(const char* file, std::function<void()> change, bool allowOnLoggerQueue = true);
    // Runs `work` on the logger's queue after everything already queued on
    // the global logging queue; waits when `wait`.
    void hop(std::function<void()> work, bool wait);

    // On the logger's queue: the text to write for a record, the formatter's
    // or else the record's own; nullopt when the formatter drops it.
    // `formatted` tells whether the formatter changed the text.
    std::optional<std::string> lt_textFor(const VLLogMessage& message, bool* formatted = nullptr);
    // Records the capture read from the system log: never written back there.
    static bool isCapturedRecord(const VLLogMessage& message) { return message.fileName() == "VLASLLogCapture"; }

    // Read and written on the logger's queue only.
    std::shared_ptr<VLLogFormatter> logFormatter_;
    std::shared_ptr<DispatchQueue> loggerQueue_;

private:
    void lt_setLogFormatter(std::shared_ptr<VLLogFormatter> formatter);
    std::string name_;
};

// Assertion texts shared by the loggers.
namespace vl {
inline constexpr const char* kCoreArchitectureFailure = "Core architecture requirement failure";
inline constexpr const char* kMustAccessIvarDirectly = "MUST access ivar directly, NOT via self.* syntax.";
}  // namespace vl

template <class F>
auto VLAbstractLogger::readSetting(const char* file, F read) -> decltype(read()) {
    using T = decltype(read());
    // Reading from either queue would wait on itself; the value is read
    // directly there instead, after the report.
    if (isOnInternalLoggerQueue()) {
        vl::check(false, file, vl::kMustAccessIvarDirectly);
        return read();
    }
    vl::check(!isOnGlobalLoggingQueue(), file, vl::kCoreArchitectureFailure);
    std::optional<T> result;
    hop([&] { result.emplace(read()); }, true);
    return std::move(*result);
}
