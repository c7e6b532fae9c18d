#pragma once
// Stands in for a file logger and gathers its formatted lines in memory,
// handing them to the file in blocks of about one file-system block
// instead of one write per record. Register the proxy where the file
// logger would be; it runs on the file logger's queue and carries its
// name, formatter and hooks. Nothing buffered is lost when the proxy is
// flushed, removed from the core or destroyed.

#include <cstdint>
#include <memory>
#include <string>

#include "logging/VLFileLogger.h"

class VLBufferedProxy : public VLLogger, public std::enable_shared_from_this<VLBufferedProxy> {
public:
    explicit VLBufferedProxy(std::shared_ptr<VLFileLogger> fileLogger);
    ~VLBufferedProxy() override;

    // The block size of the file system mounted at "/" (4096 when unknown),
    // and the largest buffer allowed (1 MiB: Linux reports no optimal
    // transfer size of its own).
    static uint64_t defaultBufferSize();
    static uint64_t maximumBufferSize();

    std::shared_ptr<VLBufferedProxy> wrapWithBuffer() { return shared_from_this(); }
    std::shared_ptr<VLFileLogger> unwrapFromBuffer() { return fileLogger_; }
    const std::shared_ptr<VLFileLogger>& fileLogger() const { return fileLogger_; }

    uint64_t maxBufferSizeBytes() const { return maxBufferSizeBytes_; }
    // Stores the smaller of `bytes` and maximumBufferSize().
    void setMaxBufferSizeBytes(uint64_t bytes);
    // Bytes gathered since the last hand-over (read it on the logger's queue).
    uint64_t currentBufferSizeBytes() const { return buffer_.size(); }

    void logMessage(const VLLogMessagePtr& message) override;
    void logMessages(const std::vector<VLLogMessagePtr>& messages) override;
    // Hands the buffer over, then makes the file durable.
    void flush() override;

    // Passed on to the file logger.
    std::shared_ptr<VLLogFormatter> logFormatter() override { return fileLogger_->logFormatter(); }
    void setLogFormatter(std::shared_ptr<VLLogFormatter> f) override { fileLogger_->setLogFormatter(std::move(f)); }
    void didAddLogger(const std::shared_ptr<DispatchQueue>& queue) override { fileLogger_->didAddLogger(queue); }
    // Buffered lines go to the file before it is rolled.
    void willRemoveLogger() override;
    std::shared_ptr<DispatchQueue> loggerQueue() override { return fileLogger_->loggerQueue(); }
    std::string loggerName() override { return fileLogger_->loggerName(); }

private:
    void lt_sendBufferedDataToFileLogger();

    std::shared_ptr<VLFileLogger> fileLogger_;
    std::string buffer_;
    std::atomic<uint64_t> maxBufferSizeBytes_;
};
