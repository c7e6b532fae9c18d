#pragma once
// One line per record with its local time, the queue or thread that made
// it, its quality of service and its text:
//
//     2026-03-05 07:08:09:250 [main (QOS:UI)] text
//
// Queue labels can be shortened through a replacement table and fitted to
// a minimum and maximum width (counted in UTF-16 units; a cut never splits
// a character). Safe to share between loggers on several queues.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "logging/VLLogger.h"
#include "platform/foundation/NSDateFormatter.h"

class VLDispatchQueueLogFormatter : public VLLogFormatter {
public:
    enum class Mode { Shareable, NonShareable };  // kept for callers; both behave alike

    VLDispatchQueueLogFormatter();
    explicit VLDispatchQueueLogFormatter(Mode) : VLDispatchQueueLogFormatter() {}

    uint64_t minQueueLength() const { return minQueueLength_.load(); }
    void setMinQueueLength(uint64_t n) { minQueueLength_.store(n); }
    uint64_t maxQueueLength() const { return maxQueueLength_.load(); }  // 0: no limit
    void setMaxQueueLength(uint64_t n) { maxQueueLength_.store(n); }

    std::optional<std::string> replacementStringForQueueLabel(const std::string& label) const;
    // nullopt removes the label's entry.
    void setReplacementString(std::optional<std::string> replacement, const std::string& label);

    // "yyyy-MM-dd HH:mm:ss:SSS" in the device's zone. Called once, on the
    // first date formatted; a subclass may answer another formatter.
    virtual std::shared_ptr<NSDateFormatter> createDateFormatter() const;
    std::string stringFromDate(NSDateFormatter::Date date) const;
    std::string queueThreadLabelForLogMessage(const VLLogMessage& message) const;
    static const char* qosName(uint64_t qos);

    std::optional<std::string> formatLogMessage(const VLLogMessage& message) override;

private:
    mutable std::once_flag dateFormatterOnce_;
    mutable std::shared_ptr<NSDateFormatter> dateFormatter_;
    mutable std::mutex mutex_;
    std::atomic<uint64_t> minQueueLength_{0};
    std::atomic<uint64_t> maxQueueLength_{0};
    std::map<std::string, std::string> replacements_;
};

// A counter changed atomically by one; the steps order nothing but itself.
class VLAtomicCounter {
public:
    explicit VLAtomicCounter(int32_t defaultValue = 0) : value_(defaultValue) {}
    int32_t value() const { return value_.load(std::memory_order_relaxed); }
    int32_t increment() { return value_.fetch_add(1, std::memory_order_relaxed) + 1; }
    int32_t decrement() { return value_.fetch_sub(1, std::memory_order_relaxed) - 1; }

private:
    std::atomic<int32_t> value_;
};
