#pragma once
// The rolling file logger: every record becomes one line of UTF-8 text in
// the current log file of its file manager's folder. The file is closed
// ("rolled"), marked archived, and a new one started when it reaches
// maximumFileSize(), when it is rollingFrequency() seconds old, or when it
// is deleted, moved or revoked under the logger.
//
// The shell's set-up:
//
//     auto fileLogger = std::make_shared<VLFileLogger>();
//     fileLogger->setRollingFrequency(3600);
//     fileLogger->logFileManager()->setMaximumNumberOfLogFiles(48);
//     VLLog::addLogger(fileLogger);
//     VLLog::addLogger(VLOSLogger::sharedInstance());
//
// Make file loggers with std::make_shared: timers and settings hold them
// weakly or keep them alive through the queues.
//
// Writes go to a descriptor opened with O_APPEND. A run of records handed
// over at once is written with one write, split where the file reaches its
// size limit. On a full disk the file is cut back to its last whole line,
// the failure is reported once a minute, and logging goes on when there is
// room again.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "logging/VLLogFileFormatterDefault.h"
#include "logging/VLLogFileInfo.h"
#include "logging/VLLogFileManager.h"
#include "logging/VLReportThrottle.h"
#include "logging/VLLogger.h"
#include "platform/dispatch/DispatchSync.h"

class VLBufferedProxy;
class VLFileWatch;

class VLFileLogger : public VLAbstractLogger {
public:
    // With a new VLLogFileManagerDefault.
    VLFileLogger();
    // `completionQueue` nullptr: the global default queue.
    explicit VLFileLogger(std::shared_ptr<VLLogFileManager> logFileManager,
                          std::shared_ptr<DispatchQueue> completionQueue = nullptr);
    ~VLFileLogger() override;

    const std::shared_ptr<VLLogFileManager>& logFileManager() const { return logFileManager_; }

    // Settings, through the two-queue hop: reads wait, changes do not.
    uint64_t maximumFileSize();             // bytes; 0: never by size; default 1 MiB
    void setMaximumFileSize(uint64_t bytes);
    double rollingFrequency();              // seconds; <= 0: never by age; default 86400
    void setRollingFrequency(double seconds);
    bool doNotReuseLogFiles() const { return doNotReuseLogFiles_.load(); }
    void setDoNotReuseLogFiles(bool v) { doNotReuseLogFiles_.store(v); }
    bool automaticallyAppendNewlineForCustomFormatters() const { return appendNewline_.load(); }
    void setAutomaticallyAppendNewlineForCustomFormatters(bool v) { appendNewline_.store(v); }
    const std::shared_ptr<DispatchQueue>& completionQueue() const { return completionQueue_; }

    // The current file's record, choosing or creating the file if none.
    std::shared_ptr<VLLogFileInfo> currentLogFileInfo();
    // Rolls now; `completion` then runs on the completion queue.
    void rollLogFile(std::function<void()> completion = nullptr);
    // Writes bytes as they are.
    void logData(std::string_view bytes);

    void logMessage(const VLLogMessagePtr& message) override;
    void logMessages(const std::vector<VLLogMessagePtr>& messages) override;
    void flush() override;
    void willRemoveLogger() override;

    std::shared_ptr<VLBufferedProxy> wrapWithBuffer();
    std::shared_ptr<VLFileLogger> unwrapFromBuffer();

    // Errors caught while writing, for the whole process.
    static int exceptionCount();

protected:
    // Hooks, on the logger's queue, around each write with the current
    // file's record (nullptr before the first file is chosen).
    virtual void willLogMessage(const std::shared_ptr<VLLogFileInfo>& info) {}
    // Runs the size check.
    virtual void didLogMessage(const std::shared_ptr<VLLogFileInfo>& info);
    // A subclass may archive the newest file at start for its own reasons.
    virtual bool shouldArchiveRecentLogFileInfo(const std::shared_ptr<VLLogFileInfo>& info) { return false; }

private:
    friend class VLBufferedProxy;

    // All lt_ steps run on the logger's queue.
    bool lt_appendBytes(std::string& out, const VLLogMessage& message, const VLLogFileFormatterDefault* fast);
    const VLLogFileFormatterDefault* lt_defaultFormatter() const;
    void lt_logData(std::string_view bytes);
    void lt_writeToFile(int fd, std::string_view bytes);
    void lt_dropped(std::string_view lost, const std::string& why);
    void lt_reportDropped(const std::string& why);
    std::shared_ptr<VLLogFileInfo> lt_currentLogFileInfo();
    bool lt_shouldUseLogFile(const std::shared_ptr<VLLogFileInfo>& info, bool resuming);
    bool lt_shouldArchiveRecentLogFileInfo(const std::shared_ptr<VLLogFileInfo>& info);
    int lt_currentLogFileHandle();
    void lt_scheduleTimerToRollLogFileDueToAge();
    void lt_maybeRollLogFileDueToAge();
    void lt_maybeRollLogFileDueToSize();
    void lt_monitorCurrentLogFileForExternalChanges();
    void lt_rollLogFileNow();
    void lt_flush();
    void lt_closeHandle(bool report);
    void lt_cleanup();
    void lt_stopWatching();  // the file watch and the age timer
    void onOwnQueue(const char* what);
    std::weak_ptr<VLFileLogger> weakSelf();

    std::shared_ptr<VLLogFileManager> logFileManager_;
    std::shared_ptr<VLLogFileInfo> currentLogFileInfo_;
    int currentLogFileHandle_ = -1;
    std::shared_ptr<VLFileWatch> currentLogFileVnode_;
    double rollingFrequency_ = 86400;
    std::shared_ptr<DispatchTimer> rollingTimer_;
    uint64_t maximumFileSize_ = 1024 * 1024;
    std::shared_ptr<DispatchQueue> completionQueue_;
    std::atomic<bool> doNotReuseLogFiles_{false};
    std::atomic<bool> appendNewline_{true};

    // Lines that could not be written (no file could be made or opened, a
    // full disk) are counted: reported when the failure starts, once a
    // minute while it lasts, at each flush that has more to tell (so the
    // total is out before the process ends) and when writing works again.
    VLReportThrottle dropReports_;
    bool writeFailing_ = false;
    uint64_t droppedLines_ = 0;
    uint64_t droppedReported_ = 0;
    std::string noFileReason_ = "No log file";
    std::string chunk_;
};
