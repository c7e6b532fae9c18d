#include "logging/VLLogMessage.h"

#include <cstring>
#include <functional>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "logging/VLFormat.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Strings.h"

namespace {

// Facts that never change for a thread, read once per thread: its id, its
// name (a thread that was never named carries the process's name on Linux,
// which counts as no name), kept as one text so that a record copies them
// at once, and whether it is the main thread. A name given later is not seen.
struct ThreadFacts {
    std::string idAndName;
    size_t idLength = 0;
    bool main = isMainThread();
    ThreadFacts() {
        long tid = syscall(SYS_gettid);
        idAndName = tid > 0 ? std::to_string(tid) : "missing threadId";
        idLength = idAndName.size();
        char buf[32] = {};
        if (prctl(PR_GET_NAME, buf, 0, 0, 0) == 0) {
            buf[sizeof buf - 1] = 0;
            if (std::strncmp(program_invocation_short_name, buf, 15) != 0) idAndName += buf;
        }
    }
};

const ThreadFacts& threadFacts() {
    thread_local ThreadFacts facts;
    return facts;
}

uint64_t qosOfLabel(std::string_view label) {
    if (label == "global.user-interactive") return VLQoSUserInteractive;
    if (label == "global.user-initiated") return VLQoSUserInitiated;
    if (label == "global.default") return VLQoSDefault;
    if (label == "global.utility") return VLQoSUtility;
    if (label == "global.background") return VLQoSBackground;
    return VLQoSUnspecified;
}

}  // namespace

VLLogMessage::VLLogMessage() { store({}, {}, {}, 0, {}); }

VLLogMessage::VLLogMessage(std::string_view message, uint64_t level, uint64_t flag, int64_t context,
                           std::string_view file, std::string_view function, uint64_t line, const Value& tag,
                           int64_t options, std::optional<Date> timestamp)
    : level_(level), flag_(flag), context_(context), line_(line), options_(options) {
    if (!tag.isNull()) tag_ = std::make_shared<const Value>(tag);
    timestamp_ = timestamp ? *timestamp : Clock::current().wallNow();
    takeThreadFacts(file, function);
    storeMessage(message);
}

VLLogMessage::VLLogMessage(TextToCome, uint64_t level, uint64_t flag, int64_t context, std::string_view file,
                           std::string_view function, uint64_t line, const Value& tag)
    : level_(level), flag_(flag), context_(context), line_(line) {
    if (!tag.isNull()) tag_ = std::make_shared<const Value>(tag);
    timestamp_ = Clock::current().wallNow();
    takeThreadFacts(file, function);
}

bool VLLogMessage::formatInPlace(const char* format, va_list args) {
    size_t at = textsBeforeMessage();
    if (base_ == inline_ && at < kInline) {
        int n = vl_detail::formatPlain(inline_ + at, kInline - at, format, args);
        if (n >= 0) {
            message_ = {uint32_t(at), uint32_t(n)};
            return true;
        }
    }
    // Longer than the room left, or not a plain format.
    char buf[512];
    int n = vl_detail::formatPlain(buf, sizeof buf, format, args);
    if (n < 0) {
        va_list copy;
        va_copy(copy, args);
        n = vsnprintf(buf, sizeof buf, format, copy);
        va_end(copy);
    }
    if (n < 0) return false;
    if (size_t(n) < sizeof buf) storeMessage(std::string_view(buf, size_t(n)));
    else storeMessage(strings::vformat(format, args));
    return true;
}

VLLogMessage::VLLogMessage(const VLLogMessage& other) { *this = other; }

VLLogMessage& VLLogMessage::operator=(const VLLogMessage& o) {
    if (this == &o) return *this;
    level_ = o.level_;
    flag_ = o.flag_;
    context_ = o.context_;
    line_ = o.line_;
    tag_ = o.tag_;
    options_ = o.options_;
    timestamp_ = o.timestamp_;
    qos_ = o.qos_;
    store(o.file(), o.function(), o.idAndName(), o.threadID().size(), o.queueLabel());
    storeMessage(o.message());
    return *this;
}

void VLLogMessage::takeThreadFacts(std::string_view file, std::string_view function) {
    const ThreadFacts& facts = threadFacts();
    std::string_view label = DispatchQueue::currentLabelView();
    qos_ = facts.main ? VLQoSUserInteractive : qosOfLabel(label);
    store(file, function, facts.idAndName, facts.idLength, label);
}

void VLLogMessage::store(std::string_view file, std::string_view function, std::string_view idAndName,
                         size_t idLength, std::string_view queueLabel) {
    size_t total = file.size() + function.size() + idAndName.size() + queueLabel.size();
    char* block = inline_;
    std::unique_ptr<char[]> heap;
    if (total > kInline) {
        heap.reset(new char[total]);
        block = heap.get();
    }
    size_t at = 0;
    auto put = [&](std::string_view s) {
        Span span{uint32_t(at), uint32_t(s.size())};
        if (!s.empty()) std::memcpy(block + at, s.data(), s.size());
        at += s.size();
        return span;
    };
    file_ = put(file);
    function_ = put(function);
    Span facts = put(idAndName);
    threadID_ = {facts.offset, uint32_t(idLength)};
    threadName_ = {uint32_t(facts.offset + idLength), uint32_t(facts.length - idLength)};
    queueLabel_ = put(queueLabel);
    message_ = {uint32_t(at), 0};
    heap_ = std::move(heap);
    base_ = block;
}

void VLLogMessage::storeMessage(std::string_view message) {
    size_t at = textsBeforeMessage();
    if (base_ == inline_ && message.size() <= kInline - at) {
        if (!message.empty()) std::memcpy(inline_ + at, message.data(), message.size());
    } else {
        std::unique_ptr<char[]> heap(new char[at + message.size()]);
        std::memcpy(heap.get(), base_, at);
        if (!message.empty()) std::memcpy(heap.get() + at, message.data(), message.size());
        heap_ = std::move(heap);
        base_ = heap_.get();
    }
    message_ = {uint32_t(at), uint32_t(message.size())};
}

std::string_view VLLogMessage::fileName() const {
    std::string_view path = file();
    size_t slash = path.rfind('/');
    std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return last.substr(0, last.rfind('.'));
}

const Value& VLLogMessage::noTag() {
    static const Value* none = new Value();
    return *none;
}

VLLogMessage VLLogMessage::withMessage(std::string_view message) const {
    VLLogMessage copy(*this);
    copy.storeMessage(message);
    return copy;
}

bool VLLogMessage::operator==(const VLLogMessage& o) const {
    if (this == &o) return true;
    return message() == o.message() && level_ == o.level_ && flag_ == o.flag_ && context_ == o.context_ &&
           file() == o.file() && fileName() == o.fileName() && function() == o.function() && line_ == o.line_ &&
           tag() == o.tag() && options_ == o.options_ && timestamp_ == o.timestamp_ && threadID() == o.threadID() &&
           queueLabel() == o.queueLabel() && qos_ == o.qos_;
}

size_t VLLogMessage::hash() const {
    std::hash<std::string_view> h;
    size_t v = h(message()) ^ h(file()) ^ h(fileName()) ^ h(function()) ^
               std::hash<int64_t>()(timestamp_.time_since_epoch().count()) ^ h(threadID()) ^ h(queueLabel());
    if (tag_) v ^= h(tag_->toJSON());
    return v ^ size_t(level_) ^ size_t(flag_) ^ size_t(context_) ^ size_t(line_) ^ size_t(options_) ^ size_t(qos_);
}

void VLLogMessage::setThreadFactsForTesting(std::string_view threadID, std::string_view threadName,
                                            std::string_view queueLabel, uint64_t qos) {
    // The views may point into this record's own block: copy them first.
    std::string m(message()), f(file()), fn(function()), facts = std::string(threadID) + std::string(threadName),
        label(queueLabel);
    store(f, fn, facts, threadID.size(), label);
    storeMessage(m);
    qos_ = qos;
}
