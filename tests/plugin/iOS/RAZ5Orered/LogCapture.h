#pragma once
// Catches what reaches the logging framework while a test runs.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "logging/VLLog.h"
#include "logging/VLLogger.h"

namespace shelltest {

struct LoggedLine {
    uint64_t flag;
    std::string message, file, function;
};

class CapturingLogger : public VLAbstractLogger {
public:
    CapturingLogger() : VLAbstractLogger("test.shell.capture") {}
    void logMessage(const VLLogMessagePtr& m) override {
        std::lock_guard lock(mutex_);
        lines_.push_back({m->flag(), std::string(m->message()), std::string(m->file()), std::string(m->function())});
    }
    // What has reached the logger so far (without waiting for queued records).
    std::vector<LoggedLine> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // Everything queued before, delivered.
    std::vector<LoggedLine> flushed() {
        VLLog::flushLog();
        return lines();
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<LoggedLine> lines_;
};

// Adds a capturing logger for the object's life.
struct LogCapture {
    std::shared_ptr<CapturingLogger> logger = std::make_shared<CapturingLogger>();
    LogCapture() { VLLog::addLogger(logger); }
    ~LogCapture() { VLLog::removeLogger(logger); }
    CapturingLogger* operator->() { return logger.get(); }
};

}  // namespace shelltest
