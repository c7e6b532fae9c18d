#include "logging/VLBufferedProxy.h"

#include <algorithm>
#include <sys/statvfs.h>

#include "logging/VLLog.h"

namespace {
constexpr const char* kFile = "VLBufferedProxy";
}

uint64_t VLBufferedProxy::defaultBufferSize() {
    static const uint64_t size = [] {
        struct statvfs st {};
        if (statvfs("/", &st) == 0 && st.f_frsize > 0) return uint64_t(st.f_frsize);
        return uint64_t(4096);
    }();
    return size;
}

uint64_t VLBufferedProxy::maximumBufferSize() { return 1024 * 1024; }

VLBufferedProxy::VLBufferedProxy(std::shared_ptr<VLFileLogger> fileLogger)
    : fileLogger_(std::move(fileLogger)), maxBufferSizeBytes_(defaultBufferSize()) {}

VLBufferedProxy::~VLBufferedProxy() {
    fileLogger_->loggerQueue()->sync([this] { lt_sendBufferedDataToFileLogger(); });
}

void VLBufferedProxy::setMaxBufferSizeBytes(uint64_t bytes) {
    maxBufferSizeBytes_.store(std::min(bytes, maximumBufferSize()));
}

void VLBufferedProxy::lt_sendBufferedDataToFileLogger() {
    if (buffer_.empty()) return;
    fileLogger_->lt_logData(buffer_);
    buffer_.clear();
}

void VLBufferedProxy::logMessage(const VLLogMessagePtr& message) {
    if (message) logMessages({message});
}

void VLBufferedProxy::logMessages(const std::vector<VLLogMessagePtr>& messages) {
    const VLLogFileFormatterDefault* fast = fileLogger_->lt_defaultFormatter();
    uint64_t limit = maxBufferSizeBytes_.load();
    for (const auto& m : messages) {
        if (!fileLogger_->lt_appendBytes(buffer_, *m, fast)) continue;
        if (buffer_.size() >= limit) lt_sendBufferedDataToFileLogger();
    }
}

void VLBufferedProxy::flush() {
    auto work = [this] {
        lt_sendBufferedDataToFileLogger();
        fileLogger_->lt_flush();
    };
    if (fileLogger_->isOnInternalLoggerQueue()) {
        work();
        return;
    }
    if (!vl::check(!VLLog::isOnLoggingQueue(), kFile, vl::kCoreArchitectureFailure)) return;
    auto queue = fileLogger_->loggerQueue();
    VLLog::syncOnLoggingQueue([&] { queue->sync(work); });
}

void VLBufferedProxy::willRemoveLogger() {
    lt_sendBufferedDataToFileLogger();
    fileLogger_->willRemoveLogger();
}
