#include "logging/VLDispatchQueueLogFormatter.h"

#include <array>

#include "platform/foundation/Strings.h"

namespace {

// Shared pools of threads: their label says nothing about the caller, so
// the thread is named instead. The platform's root queues, and ours.
bool isSharedRootQueue(std::string_view label) {
    static const std::array<std::string_view, 12> roots = {
        "com.apple.root.low-priority",       "com.apple.root.default-priority",
        "com.apple.root.high-priority",      "com.apple.root.low-overcommit-priority",
        "com.apple.root.default-overcommit-priority", "com.apple.root.high-overcommit-priority",
        "com.apple.root.default-qos.overcommit",      "global.background",
        "global.utility",                    "global.default",
        "global.user-initiated",             "global.user-interactive"};
    for (auto r : roots)
        if (label == r) return true;
    return false;
}

}  // namespace

VLDispatchQueueLogFormatter::VLDispatchQueueLogFormatter() {
    replacements_["com.apple.main-thread"] = "main";
}

std::shared_ptr<NSDateFormatter> VLDispatchQueueLogFormatter::createDateFormatter() const {
    return std::make_shared<NSDateFormatter>("yyyy-MM-dd HH:mm:ss:SSS", NSDateFormatter::TimeZone::local());
}

std::optional<std::string> VLDispatchQueueLogFormatter::replacementStringForQueueLabel(const std::string& label) const {
    std::lock_guard lock(mutex_);
    auto it = replacements_.find(label);
    if (it == replacements_.end()) return std::nullopt;
    return it->second;
}

void VLDispatchQueueLogFormatter::setReplacementString(std::optional<std::string> replacement,
                                                       const std::string& label) {
    std::lock_guard lock(mutex_);
    if (replacement) replacements_[label] = std::move(*replacement);
    else replacements_.erase(label);
}

std::string VLDispatchQueueLogFormatter::stringFromDate(NSDateFormatter::Date date) const {
    // Made on first use, not in the constructor, where a subclass's
    // createDateFormatter would not be called yet.
    std::call_once(dateFormatterOnce_, [this] { dateFormatter_ = createDateFormatter(); });
    return dateFormatter_->stringFromDate(date);
}

std::string VLDispatchQueueLogFormatter::queueThreadLabelForLogMessage(const VLLogMessage& message) const {
    std::string label;
    bool replaceable = true;
    std::string_view queue = message.queueLabel();
    if (!queue.empty() && !isSharedRootQueue(queue)) {
        label = queue;
    } else if (!message.threadName().empty()) {
        label = message.threadName();
    } else {
        label = message.threadID();
        replaceable = false;  // a thread id is never replaced
    }
    if (replaceable) {
        if (auto short_ = replacementStringForQueueLabel(label)) label = *short_;
    }
    uint64_t maxLength = maxQueueLength_.load();
    uint64_t minLength = minQueueLength_.load();
    size_t length = strings::utf16Length(label);
    if (maxLength > 0 && length > maxLength) return label.substr(0, strings::utf16IndexToByteOffset(label, maxLength));
    if (length < minLength) label.append(minLength - length, ' ');
    return label;
}

const char* VLDispatchQueueLogFormatter::qosName(uint64_t qos) {
    switch (qos) {
    case 33: return "UI";
    case 25: return "IN";
    case 21: return "DF";
    case 17: return "UT";
    case 9: return "BG";
    default: return "UN";
    }
}

std::optional<std::string> VLDispatchQueueLogFormatter::formatLogMessage(const VLLogMessage& message) {
    std::string line = stringFromDate(message.timestamp());
    line += " [";
    line += queueThreadLabelForLogMessage(message);
    line += " (QOS:";
    line += qosName(message.qos());
    line += ")] ";
    line += message.message();
    return line;
}
