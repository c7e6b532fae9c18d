#include "logging/VLMultiFormatter.h"

#include <algorithm>

std::optional<std::string> VLMultiFormatter::formatLogMessage(const VLLogMessage& message) {
    std::shared_lock lock(mutex_);
    std::string line(message.message());
    for (const auto& formatter : formatters_) {
        VLLogMessage step = logMessageForLine(line, message);
        std::optional<std::string> text = formatter->formatLogMessage(step);
        if (!text) return std::nullopt;
        line = std::move(*text);
    }
    return line;
}

VLLogMessage VLMultiFormatter::logMessageForLine(std::string_view line, const VLLogMessage& original) {
    return original.withMessage(line);
}

std::vector<std::shared_ptr<VLLogFormatter>> VLMultiFormatter::formatters() const {
    std::shared_lock lock(mutex_);
    return formatters_;
}

void VLMultiFormatter::addFormatter(std::shared_ptr<VLLogFormatter> formatter) {
    if (!formatter) return;
    std::unique_lock lock(mutex_);
    formatters_.push_back(std::move(formatter));
}

void VLMultiFormatter::removeFormatter(const std::shared_ptr<VLLogFormatter>& formatter) {
    std::unique_lock lock(mutex_);
    formatters_.erase(std::remove(formatters_.begin(), formatters_.end(), formatter), formatters_.end());
}

void VLMultiFormatter::removeAllFormatters() {
    std::unique_lock lock(mutex_);
    formatters_.clear();
}

bool VLMultiFormatter::isFormattingWithFormatter(const std::shared_ptr<VLLogFormatter>& formatter) const {
    std::shared_lock lock(mutex_);
    return std::find(formatters_.begin(), formatters_.end(), formatter) != formatters_.end();
}

void VLLoggingContextSet::addToSet(int64_t context) {
    std::lock_guard lock(mutex_);
    set_.insert(context);
}

void VLLoggingContextSet::removeFromSet(int64_t context) {
    std::lock_guard lock(mutex_);
    set_.erase(context);
}

bool VLLoggingContextSet::isInSet(int64_t context) const {
    std::lock_guard lock(mutex_);
    return set_.count(context) > 0;
}

std::vector<int64_t> VLLoggingContextSet::currentSet() const {
    std::lock_guard lock(mutex_);
    return {set_.begin(), set_.end()};
}

std::optional<std::string> VLContextAllowlistFilterLogFormatter::formatLogMessage(const VLLogMessage& message) {
    if (!set_.isInSet(message.context())) return std::nullopt;
    return std::string(message.message());
}

std::optional<std::string> VLContextDenylistFilterLogFormatter::formatLogMessage(const VLLogMessage& message) {
    if (set_.isInSet(message.context())) return std::nullopt;
    return std::string(message.message());
}
