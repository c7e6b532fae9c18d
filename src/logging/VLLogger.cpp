#include "logging/VLLogger.h"

#include "logging/VLLog.h"

namespace {
constexpr const char* kLogFile = "VLLog";
}

VLAbstractLogger::VLAbstractLogger(std::string name) : name_(std::move(name)) {
    loggerQueue_ = DispatchQueue::serial(name_);
    loggerQueue_->setSpecific(this, this);
}

VLAbstractLogger::~VLAbstractLogger() {
    if (loggerQueue_) loggerQueue_->setSpecific(this, nullptr);
}

void VLAbstractLogger::setLoggerQueue(std::shared_ptr<DispatchQueue> queue) {
    if (!queue) return;
    if (loggerQueue_) loggerQueue_->setSpecific(this, nullptr);
    loggerQueue_ = std::move(queue);
    loggerQueue_->setSpecific(this, this);
}

bool VLAbstractLogger::isOnGlobalLoggingQueue() const { return VLLog::isOnLoggingQueue(); }

bool VLAbstractLogger::isOnInternalLoggerQueue() const {
    return DispatchQueue::currentSpecific(this) == this;
}

void VLAbstractLogger::hop(std::function<void()> work, bool wait) {
    auto queue = loggerQueue_;
    if (wait) {
        VLLog::syncOnLoggingQueue([&] { queue->sync(work); });
        return;
    }
    // Keeps the logger alive until the change has run on its own queue, when
    // it is shared (the change captures the logger itself).
    auto self = weak_from_this().lock();
    VLLog::asyncOnLoggingQueue([queue, self, work = std::move(work)] { queue->async([self, work] { work(); }); });
}

void VLAbstractLogger::changeSetting(const char* file, std::function<void()> change, bool allowOnLoggerQueue) {
    if (isOnInternalLoggerQueue()) {
        if (!allowOnLoggerQueue) vl::check(false, file, vl::kMustAccessIvarDirectly);
        change();
        return;
    }
    vl::check(!isOnGlobalLoggingQueue(), file, vl::kCoreArchitectureFailure);
    hop(std::move(change), false);
}

std::shared_ptr<VLLogFormatter> VLAbstractLogger::logFormatter() {
    return readSetting(kLogFile, [this] { return logFormatter_; });
}

void VLAbstractLogger::setLogFormatter(std::shared_ptr<VLLogFormatter> formatter) {
    changeSetting(kLogFile, [this, formatter] { lt_setLogFormatter(formatter); }, false);
}

void VLAbstractLogger::lt_setLogFormatter(std::shared_ptr<VLLogFormatter> formatter) {
    if (formatter == logFormatter_) return;
    if (logFormatter_) logFormatter_->willRemoveFromLogger(*this);
    logFormatter_ = std::move(formatter);
    if (logFormatter_) logFormatter_->didAddToLogger(*this, loggerQueue_);
}

std::optional<std::string> VLAbstractLogger::lt_textFor(const VLLogMessage& message, bool* formatted) {
    if (formatted) *formatted = false;
    if (!logFormatter_) return std::string(message.message());
    std::optional<std::string> text = logFormatter_->formatLogMessage(message);
    if (text && formatted) *formatted = *text != message.message();
    return text;
}
