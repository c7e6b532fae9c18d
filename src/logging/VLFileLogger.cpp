#include "logging/VLFileLogger.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "logging/VLBufferedProxy.h"
#include "logging/VLFileWatch.h"
#include "logging/VLLog.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/PlatformLog.h"

namespace {

constexpr const char* kFile = "VLFileLogger";
constexpr const char* kLtOnQueue = "lt_ methods should be on logger queue.";
constexpr const char* kLogOnQueue = "logMessage should only be executed on internal queue.";
constexpr const char* kFlushOnQueue = "flush should only be executed on internal queue.";

std::atomic<int> gExceptionCount{0};

void reportException(const char* what) {
    int count = ++gExceptionCount;
    if (count > 10) return;
    NSLog("VLFileLogger.logMessage: %s", what);
    if (count == 10) NSLog("VLFileLogger.logMessage: Too many exceptions -- will not log any more of them.");
}

}  // namespace

VLFileLogger::VLFileLogger() : VLFileLogger(std::make_shared<VLLogFileManagerDefault>()) {}

VLFileLogger::VLFileLogger(std::shared_ptr<VLLogFileManager> logFileManager,
                           std::shared_ptr<DispatchQueue> completionQueue)
    : VLAbstractLogger("varmelund.logging.fileLogger"),
      logFileManager_(std::move(logFileManager)),
      completionQueue_(completionQueue ? std::move(completionQueue) : DispatchQueue::global()) {
    logFormatter_ = std::make_shared<VLLogFileFormatterDefault>();
}

VLFileLogger::~VLFileLogger() {
    loggerQueue_->sync([this] { lt_cleanup(); });
}

int VLFileLogger::exceptionCount() { return gExceptionCount.load(); }

std::weak_ptr<VLFileLogger> VLFileLogger::weakSelf() {
    return std::static_pointer_cast<VLFileLogger>(weak_from_this().lock());
}

void VLFileLogger::onOwnQueue(const char* what) { vl::check(isOnInternalLoggerQueue(), kFile, what); }

// ---- settings ----

uint64_t VLFileLogger::maximumFileSize() {
    return readSetting(kFile, [this] { return maximumFileSize_; });
}

void VLFileLogger::setMaximumFileSize(uint64_t bytes) {
    changeSetting(kFile, [this, bytes] {
        maximumFileSize_ = bytes;
        if (currentLogFileHandle_ >= 0 || lt_currentLogFileHandle() >= 0) lt_maybeRollLogFileDueToSize();
    });
}

double VLFileLogger::rollingFrequency() {
    return readSetting(kFile, [this] { return rollingFrequency_; });
}

void VLFileLogger::setRollingFrequency(double seconds) {
    changeSetting(kFile, [this, seconds] {
        rollingFrequency_ = seconds;
        lt_maybeRollLogFileDueToAge();
    });
}

std::shared_ptr<VLLogFileInfo> VLFileLogger::currentLogFileInfo() {
    return readSetting(kFile, [this] { return lt_currentLogFileInfo(); });
}

void VLFileLogger::rollLogFile(std::function<void()> completion) {
    auto work = [this, completion] {
        lt_rollLogFileNow();
        if (completion) completionQueue_->async(completion);
    };
    if (isOnInternalLoggerQueue()) {
        work();
        return;
    }
    vl::check(!isOnGlobalLoggingQueue(), kFile, vl::kCoreArchitectureFailure);
    hop(work, false);
}

void VLFileLogger::logData(std::string_view bytes) {
    if (isOnInternalLoggerQueue()) {
        lt_logData(bytes);
        return;
    }
    vl::check(!isOnGlobalLoggingQueue(), kFile, vl::kCoreArchitectureFailure);
    hop([this, bytes] { lt_logData(bytes); }, true);
}

void VLFileLogger::flush() {
    if (isOnInternalLoggerQueue()) {
        lt_flush();
        return;
    }
    vl::check(!isOnGlobalLoggingQueue(), kFile, vl::kCoreArchitectureFailure);
    hop([this] { lt_flush(); }, true);
}

void VLFileLogger::willRemoveLogger() { lt_rollLogFileNow(); }

std::shared_ptr<VLBufferedProxy> VLFileLogger::wrapWithBuffer() {
    return std::make_shared<VLBufferedProxy>(std::static_pointer_cast<VLFileLogger>(shared_from_this()));
}

std::shared_ptr<VLFileLogger> VLFileLogger::unwrapFromBuffer() {
    return std::static_pointer_cast<VLFileLogger>(shared_from_this());
}

// ---- records to bytes ----

const VLLogFileFormatterDefault* VLFileLogger::lt_defaultFormatter() const {
    auto* f = logFormatter_.get();
    if (f && typeid(*f) == typeid(VLLogFileFormatterDefault)) return static_cast<const VLLogFileFormatterDefault*>(f);
    return nullptr;
}

bool VLFileLogger::lt_appendBytes(std::string& out, const VLLogMessage& message,
                                  const VLLogFileFormatterDefault* fast) {
    if (fast) {
        // The default line always gets its line end.
        fast->appendLine(out, message);
        if (out.back() != '\n') out += '\n';
        return true;
    }
    bool formatted = false;
    std::optional<std::string> formattedText = lt_textFor(message, &formatted);
    if (!formattedText) return false;
    const std::string& text = *formattedText;
    if (text.empty()) return false;
    out += text;
    if ((!formatted || appendNewline_.load(std::memory_order_relaxed)) && text.back() != '\n') out += '\n';
    return true;
}

void VLFileLogger::logMessage(const VLLogMessagePtr& message) {
    if (message) logMessages({message});
}

void VLFileLogger::logMessages(const std::vector<VLLogMessagePtr>& messages) {
    onOwnQueue(kLogOnQueue);
    const VLLogFileFormatterDefault* fast = lt_defaultFormatter();
    size_t i = 0;
    while (i < messages.size()) {
        // Room left before the size limit, so that the line reaching it is
        // the last one of its file, as with one write per line.
        uint64_t room = UINT64_MAX;
        if (maximumFileSize_ > 0) {
            int fd = lt_currentLogFileHandle();
            if (fd >= 0) {
                off_t end = lseek(fd, 0, SEEK_END);
                if (end >= 0) room = uint64_t(end) >= maximumFileSize_ ? 0 : maximumFileSize_ - uint64_t(end);
            }
        }
        chunk_.clear();
        while (i < messages.size()) {
            try {
                lt_appendBytes(chunk_, *messages[i], fast);
            } catch (const std::exception& e) {
                reportException(e.what());
            }
            ++i;
            if (chunk_.size() >= room) break;
        }
        if (!chunk_.empty()) lt_logData(chunk_);
    }
    if (chunk_.capacity() > (1 << 20)) std::string().swap(chunk_);
}

// ---- writing ----

void VLFileLogger::lt_logData(std::string_view bytes) {
    onOwnQueue(kLogOnQueue);
    if (bytes.empty()) return;
    try {
        willLogMessage(currentLogFileInfo_);
        int fd = lt_currentLogFileHandle();
        if (fd >= 0) {
            // Deleted under us (the watch may not have told us yet): nothing
            // written there could ever be read, so start a new file first.
            struct stat st {};
            if (fstat(fd, &st) == 0 && st.st_nlink == 0) {
                lt_rollLogFileNow();
                fd = lt_currentLogFileHandle();
            }
        }
        if (fd >= 0) lt_writeToFile(fd, bytes);
        else lt_dropped(bytes, noFileReason_);
        didLogMessage(currentLogFileInfo_);
    } catch (const std::exception& e) {
        reportException(e.what());
    }
}

void VLFileLogger::lt_writeToFile(int fd, std::string_view bytes) {
    off_t start = lseek(fd, 0, SEEK_END);
    if (start < 0) NSLog("VLFileLogger: Failed to seek to end of file: %s", strerror(errno));
    size_t written = 0;
    int err = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        written += size_t(n);
    }
    if (err == 0) {
        if (writeFailing_) {
            NSLog("VLFileLogger: Writing again; %llu lines were dropped", (unsigned long long)droppedLines_);
            writeFailing_ = false;
            droppedLines_ = droppedReported_ = 0;
            dropReports_.reset();
        }
        return;
    }
    // Keep whole lines only: a torn line would run into the next one.
    std::string_view done = bytes.substr(0, written);
    size_t lastEnd = done.rfind('\n');
    size_t keep = lastEnd == std::string_view::npos ? 0 : lastEnd + 1;
    if (keep < written && start >= 0) {
        if (ftruncate(fd, start + off_t(keep)) != 0)
            NSLog("VLFileLogger: Failed to write data: %s", strerror(errno));
    }
    lt_dropped(bytes.substr(keep), std::string("Failed to write data: ") + strerror(err));
}

void VLFileLogger::lt_dropped(std::string_view lost, const std::string& why) {
    droppedLines_ += std::max<size_t>(1, std::count(lost.begin(), lost.end(), '\n'));
    writeFailing_ = true;
    if (dropReports_.allow()) lt_reportDropped(why);
}

void VLFileLogger::lt_reportDropped(const std::string& why) {
    NSLog("VLFileLogger: %s (%llu lines dropped)", why.c_str(), (unsigned long long)droppedLines_);
    droppedReported_ = droppedLines_;
}

void VLFileLogger::didLogMessage(const std::shared_ptr<VLLogFileInfo>&) { lt_maybeRollLogFileDueToSize(); }

// ---- choosing the file ----

std::shared_ptr<VLLogFileInfo> VLFileLogger::lt_currentLogFileInfo() {
    onOwnQueue(kLtOnQueue);
    auto candidate = currentLogFileInfo_;
    bool resuming = false;
    if (!candidate) {
        auto sorted = logFileManager_->sortedLogFileInfos();
        if (!sorted.empty()) candidate = sorted.front();
        resuming = true;
    }
    if (candidate && lt_shouldUseLogFile(candidate, resuming)) {
        currentLogFileInfo_ = candidate;
        return candidate;
    }
    Error error;
    auto createdAt = Clock::current().wallNow();
    auto created = logFileManager_->createNewLogFile(&error);
    // Reported with the lines this costs, where they are dropped.
    if (!created) noFileReason_ = "Failed to create new log file: " + error.localizedDescription();
    currentLogFileInfo_ = VLLogFileInfo::logFileWithPath(created.value_or(std::filesystem::path()));
    if (currentLogFileInfo_) currentLogFileInfo_->setCreationDate(createdAt);
    return currentLogFileInfo_;
}

bool VLFileLogger::lt_shouldUseLogFile(const std::shared_ptr<VLLogFileInfo>& info, bool resuming) {
    if (!vl::check(info != nullptr, kFile, "Invalid parameter not satisfying: logFileInfo")) return false;
    if (info->isArchived()) return false;
    if (!resuming) return true;
    // A name whose date cannot be read is no file this logger made.
    bool unreadableName = VLLogFileInfo::dateInFileName(info->fileName()) == VLLogFileInfo::Date::min();
    if (!unreadableName && !doNotReuseLogFiles_.load() && !lt_shouldArchiveRecentLogFileInfo(info)) return true;
    info->setIsArchived(true);
    auto manager = logFileManager_;
    auto path = info->filePath();
    completionQueue_->async([manager, path] { manager->didArchiveLogFile_wasRolled(path, false); });
    return false;
}

bool VLFileLogger::lt_shouldArchiveRecentLogFileInfo(const std::shared_ptr<VLLogFileInfo>& info) {
    if (shouldArchiveRecentLogFileInfo(info)) return true;
    if (maximumFileSize_ > 0 && info->fileSize() >= maximumFileSize_) return true;
    if (rollingFrequency_ > 0 && info->age() >= rollingFrequency_) return true;
    // Linux keeps no data-protection classes, so none bars writing.
    return false;
}

int VLFileLogger::lt_currentLogFileHandle() {
    if (currentLogFileHandle_ >= 0) return currentLogFileHandle_;
    auto info = lt_currentLogFileInfo();
    if (!info) return -1;
    int fd = ::open(info->filePath().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        noFileReason_ = "Failed to open log file: " + std::string(strerror(errno));
        // Gone before we could open it, or not writable: choose again on the next write.
        currentLogFileInfo_.reset();
        return -1;
    }
    currentLogFileHandle_ = fd;
    VLLogFileInfo::setFileInUse(info->filePath(), true);
    if (lseek(fd, 0, SEEK_END) < 0) NSLog("VLFileLogger: Failed to seek to end of file: %s", strerror(errno));
    lt_scheduleTimerToRollLogFileDueToAge();
    lt_monitorCurrentLogFileForExternalChanges();
    return fd;
}

// ---- rolling ----

void VLFileLogger::lt_scheduleTimerToRollLogFileDueToAge() {
    if (rollingTimer_) {
        rollingTimer_->cancel();
        rollingTimer_.reset();
    }
    if (!currentLogFileInfo_ || rollingFrequency_ <= 0) return;
    auto now = Clock::current().wallNow();
    auto created = currentLogFileInfo_->creationDate().value_or(now);
    // Seconds from now to the roll time, capped so that nothing overflows.
    double delay = std::chrono::duration<double>(created - now).count() + rollingFrequency_;
    delay = std::clamp(delay, 0.0, 9223372036.0);
    auto timer = DispatchTimer::create(loggerQueue_);
    auto weak = weakSelf();
    timer->setEventHandler([weak] {
        if (auto self = weak.lock()) self->lt_maybeRollLogFileDueToAge();
    });
    timer->schedule(std::chrono::nanoseconds(int64_t(delay * 1e9)));
    timer->resume();
    rollingTimer_ = timer;
}

void VLFileLogger::lt_maybeRollLogFileDueToAge() {
    double age = currentLogFileInfo_ ? currentLogFileInfo_->age() : 0;
    // A timer that fires up to a second early still rolls.
    if (rollingFrequency_ > 0 && age + 1 >= rollingFrequency_) lt_rollLogFileNow();
    else lt_scheduleTimerToRollLogFileDueToAge();
}

void VLFileLogger::lt_maybeRollLogFileDueToSize() {
    if (currentLogFileHandle_ < 0 || maximumFileSize_ == 0) return;
    off_t offset = lseek(currentLogFileHandle_, 0, SEEK_CUR);
    if (offset < 0) {
        NSLog("VLFileLogger: Failed to get offset: %s", strerror(errno));
        return;
    }
    if (uint64_t(offset) >= maximumFileSize_) lt_rollLogFileNow();
}

void VLFileLogger::lt_monitorCurrentLogFileForExternalChanges() {
    if (!vl::check(currentLogFileHandle_ >= 0, kFile, "Can not monitor without handle.")) return;
    auto weak = weakSelf();
    auto info = currentLogFileInfo_;
    currentLogFileVnode_ = VLFileWatch::start(currentLogFileHandle_, loggerQueue_, [weak, info] {
        auto self = weak.lock();
        // Only for the file it was made for: a later file has its own watch.
        if (self && self->currentLogFileInfo_ == info) self->lt_rollLogFileNow();
    });
}

void VLFileLogger::lt_closeHandle(bool report) {
    if (currentLogFileHandle_ < 0) return;
    if (fdatasync(currentLogFileHandle_) != 0 && report)
        NSLog("VLFileLogger: Failed to synchronize file: %s", strerror(errno));
    if (::close(currentLogFileHandle_) != 0 && report) NSLog("VLFileLogger: Failed to close file: %s", strerror(errno));
    currentLogFileHandle_ = -1;
    if (currentLogFileInfo_) VLLogFileInfo::setFileInUse(currentLogFileInfo_->filePath(), false);
}

void VLFileLogger::lt_rollLogFileNow() {
    if (currentLogFileHandle_ < 0) return;
    lt_closeHandle(true);
    if (currentLogFileInfo_) {
        currentLogFileInfo_->setIsArchived(true);
        auto manager = logFileManager_;
        auto path = currentLogFileInfo_->filePath();
        completionQueue_->async([manager, path] { manager->didArchiveLogFile_wasRolled(path, true); });
    }
    currentLogFileInfo_.reset();
    lt_stopWatching();
}

void VLFileLogger::lt_stopWatching() {
    if (currentLogFileVnode_) {
        currentLogFileVnode_->cancel();
        currentLogFileVnode_.reset();
    }
    if (rollingTimer_) {
        rollingTimer_->cancel();
        rollingTimer_.reset();
    }
}

void VLFileLogger::lt_flush() {
    onOwnQueue(kFlushOnQueue);
    if (writeFailing_ && droppedLines_ != droppedReported_) lt_reportDropped("Lines are still being dropped");
    if (currentLogFileHandle_ >= 0 && fdatasync(currentLogFileHandle_) != 0)
        NSLog("VLFileLogger: Failed to synchronize file: %s", strerror(errno));
}

void VLFileLogger::lt_cleanup() {
    lt_closeHandle(true);
    lt_stopWatching();
}
