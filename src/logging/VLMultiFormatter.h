#pragma once
// Formatters any logger can take: a chain that runs formatters one after
// another, and filters that let records through or drop them by their
// context number.

#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_set>
#include <vector>

#include "logging/VLLogger.h"

// Runs its formatters in the order they were added: each sees the record
// with the text the one before made; one that answers nothing drops the
// record. Loggers on several queues may share one chain: formatting and
// listing run side by side, changes alone (a change is seen by the next
// read on the same thread).
class VLMultiFormatter : public VLLogFormatter {
public:
    std::optional<std::string> formatLogMessage(const VLLogMessage& message) override;
    // A copy of `original` whose text is `line`.
    static VLLogMessage logMessageForLine(std::string_view line, const VLLogMessage& original);

    std::vector<std::shared_ptr<VLLogFormatter>> formatters() const;
    void addFormatter(std::shared_ptr<VLLogFormatter> formatter);  // null is ignored; duplicates allowed
    void removeFormatter(const std::shared_ptr<VLLogFormatter>& formatter);  // every entry of it
    void removeAllFormatters();
    bool isFormattingWithFormatter(const std::shared_ptr<VLLogFormatter>& formatter) const;

private:
    mutable std::shared_mutex mutex_;
    std::vector<std::shared_ptr<VLLogFormatter>> formatters_;
};

// A set of context numbers, safe to use from any thread.
class VLLoggingContextSet {
public:
    void addToSet(int64_t context);
    void removeFromSet(int64_t context);
    bool isInSet(int64_t context) const;
    std::vector<int64_t> currentSet() const;  // in no fixed order

private:
    mutable std::mutex mutex_;
    std::unordered_set<int64_t> set_;
};

// Lets through only records whose context is on the list (an empty list
// drops everything). The text is not changed.
class VLContextAllowlistFilterLogFormatter : public VLLogFormatter {
public:
    void addToAllowlist(int64_t context) { set_.addToSet(context); }
    void removeFromAllowlist(int64_t context) { set_.removeFromSet(context); }
    std::vector<int64_t> allowlist() const { return set_.currentSet(); }
    bool isOnAllowlist(int64_t context) const { return set_.isInSet(context); }
    // The older names.
    void addToWhitelist(int64_t context) { addToAllowlist(context); }
    void removeFromWhitelist(int64_t context) { removeFromAllowlist(context); }
    std::vector<int64_t> whitelist() const { return allowlist(); }
    bool isOnWhitelist(int64_t context) const { return isOnAllowlist(context); }

    std::optional<std::string> formatLogMessage(const VLLogMessage& message) override;

private:
    VLLoggingContextSet set_;
};

// Drops records whose context is on the list (an empty list lets
// everything through). The text is not changed.
class VLContextDenylistFilterLogFormatter : public VLLogFormatter {
public:
    void addToDenylist(int64_t context) { set_.addToSet(context); }
    void removeFromDenylist(int64_t context) { set_.removeFromSet(context); }
    std::vector<int64_t> denylist() const { return set_.currentSet(); }
    bool isOnDenylist(int64_t context) const { return set_.isInSet(context); }
    // The older names.
    void addToBlacklist(int64_t context) { addToDenylist(context); }
    void removeFromBlacklist(int64_t context) { removeFromDenylist(context); }
    std::vector<int64_t> blacklist() const { return denylist(); }
    bool isOnBlacklist(int64_t context) const { return isOnDenylist(context); }

    std::optional<std::string> formatLogMessage(const VLLogMessage& message) override;

private:
    VLLoggingContextSet set_;
};
