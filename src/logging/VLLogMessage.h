#pragma once
// The record that travels from a call site through the logging queue to
// every logger: the text with everything known about where and when it was
// made. Built on the caller's thread (its thread facts are read there) and
// never changed afterwards, so loggers on several queues read it at once
// without a lock. Loggers that need another text work on a copy
// (withMessage).

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

// Option bits of a record. Records always own their texts here; the bits
// are kept and compared so that records round-trip unchanged.
inline constexpr int64_t VLLogMessageCopyFile = 1;
inline constexpr int64_t VLLogMessageCopyFunction = 2;
inline constexpr int64_t VLLogMessageDontCopyMessage = 4;

class VLLogMessage;
using VLLogMessagePtr = std::shared_ptr<const VLLogMessage>;

namespace vl_detail {
struct QueuedRecord;
}

class VLLogMessage {
public:
    using Date = std::chrono::system_clock::time_point;

    // An empty record.
    VLLogMessage();
    // `timestamp` nullopt: the current time of the installed clock.
    VLLogMessage(std::string_view message, uint64_t level, uint64_t flag, int64_t context, std::string_view file,
                 std::string_view function, uint64_t line, const Value& tag = {}, int64_t options = 0,
                 std::optional<Date> timestamp = std::nullopt);

    VLLogMessage(const VLLogMessage& other);
    VLLogMessage& operator=(const VLLogMessage& other);

    std::string_view message() const { return text(message_); }
    uint64_t level() const { return level_; }
    uint64_t flag() const { return flag_; }
    int64_t context() const { return context_; }
    std::string_view file() const { return text(file_); }
    // The last path component of file() before its last ".":
    // "MainViewController.m" gives "MainViewController".
    // Worked out when asked, so that building a record does not search its path.
    std::string_view fileName() const;
    std::string_view function() const { return text(function_); }
    uint64_t line() const { return line_; }
    const Value& tag() const { return tag_ ? *tag_ : noTag(); }
    const Value& representedObject() const { return tag(); }
    int64_t options() const { return options_; }
    Date timestamp() const { return timestamp_; }
    // The caller's system thread id in decimal ("missing threadId" when it
    // could not be had), its name ("" for none), the label of the queue it
    // ran on ("" off any queue) and its quality of service (33, 25, 21, 17,
    // 9, or 0 for unspecified).
    std::string_view threadID() const { return text(threadID_); }
    std::string_view threadName() const { return text(threadName_); }
    std::string_view queueLabel() const { return text(queueLabel_); }
    uint64_t qos() const { return qos_; }

    // A copy whose text is `message`; every other field, thread facts and
    // time included, stays.
    VLLogMessage withMessage(std::string_view message) const;

    // Equal when every field but threadName agrees.
    bool operator==(const VLLogMessage& other) const;
    bool operator!=(const VLLogMessage& other) const { return !(*this == other); }
    size_t hash() const;

    // Thread facts as a test wants them (the record's own are the caller's).
    void setThreadFactsForTesting(std::string_view threadID, std::string_view threadName, std::string_view queueLabel,
                                  uint64_t qos);

private:
    friend class VLLog;
    friend struct vl_detail::QueuedRecord;

    // The record of a logging call, made before its text: formatInPlace
    // writes the text straight into the record's block.
    struct TextToCome {};
    VLLogMessage(TextToCome, uint64_t level, uint64_t flag, int64_t context, std::string_view file,
                 std::string_view function, uint64_t line, const Value& tag);
    // Once, before the record is shared. False when the C library cannot
    // format the text (the record is then not to be logged).
    bool formatInPlace(const char* format, va_list args);

    // All texts of a record live in one block: inside the record when they
    // are short (one allocation per record), else on the heap. The message
    // comes last, so that a logging call can format it in place.
    struct Span {
        uint32_t offset = 0;
        uint32_t length = 0;
    };
    static constexpr size_t kInline = 288;
    std::string_view text(Span s) const { return std::string_view(base_ + s.offset, s.length); }
    // Reads the calling thread's facts and stores them with the texts before the message.
    void takeThreadFacts(std::string_view file, std::string_view function);
    // The thread's id and name are one text: `idLength` bytes of id, then the name.
    void store(std::string_view file, std::string_view function, std::string_view idAndName, size_t idLength,
               std::string_view queueLabel);
    void storeMessage(std::string_view message);
    size_t textsBeforeMessage() const { return queueLabel_.offset + queueLabel_.length; }
    // store() keeps the two side by side.
    std::string_view idAndName() const { return {base_ + threadID_.offset, threadID_.length + threadName_.length}; }
    static const Value& noTag();

    Span file_, function_, threadID_, threadName_, queueLabel_, message_;
    uint64_t level_ = 0;
    uint64_t flag_ = 0;
    int64_t context_ = 0;
    uint64_t line_ = 0;
    int64_t options_ = 0;
    Date timestamp_{};
    uint64_t qos_ = 0;
    std::shared_ptr<const Value> tag_;  // none for a null tag, as most records; copies share it
    const char* base_ = inline_;
    std::unique_ptr<char[]> heap_;
    char inline_[kInline];
};

// The quality-of-service numbers of the platform.
inline constexpr uint64_t VLQoSUserInteractive = 33;
inline constexpr uint64_t VLQoSUserInitiated = 25;
inline constexpr uint64_t VLQoSDefault = 21;
inline constexpr uint64_t VLQoSUtility = 17;
inline constexpr uint64_t VLQoSBackground = 9;
inline constexpr uint64_t VLQoSUnspecified = 0;
