#include "logging/VLLogMessage.h"

#include <cstring>
#include <functional>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"

namespace {

// Facts that never change for a thread, read once per thread: its id, and
// its name (a thread that was never named carries the process's name on
// Linux, which counts as no name). A name given later is not seen.
struct ThreadFacts {
    std::string id;
    std::string name;
    ThreadFacts() {
        long tid = syscall(SYS_gettid);
        id = tid > 0 ? std::to_string(tid) : "missing threadId";
        char buf[32] = {};
        if (prctl(PR_GET_NAME, buf, 0, 0, 0) == 0) {
            buf[sizeof buf - 1] = 0;
            if (std::strncmp(program_invocation_short_name, buf, 15) == 0) buf[0] = 0;
            name = buf;
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

VLLogMessage::VLLogMessage() { store({}, {}, {}, {}, {}, {}); }

VLLogMessage::VLLogMessage(std::string_view message, uint64_t level, uint64_t flag, int64_t context,
                           std::string_view file, std::string_view function, uint64_t line, Value tag, int64_t options,
                           std::optional<Date> timestamp)
    : level_(level), flag_(flag), context_(context), line_(line), tag_(std::move(tag)), options_(options) {
    timestamp_ = timestamp ? *timestamp : Clock::current().wallNow();
    const ThreadFacts& facts = threadFacts();
    std::string_view label = DispatchQueue::currentLabelView();
    qos_ = isMainThread() ? VLQoSUserInteractive : qosOfLabel(label);
    store(message, file, function, facts.id, facts.name, label);
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
    store(o.message(), o.file(), o.function(), o.threadID(), o.threadName(), o.queueLabel());
    return *this;
}

void VLLogMessage::store(std::string_view message, std::string_view file, std::string_view function,
                         std::string_view threadID, std::string_view threadName, std::string_view queueLabel) {
    size_t total = message.size() + file.size() + function.size() + threadID.size() + threadName.size() +
                   queueLabel.size();
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
    message_ = put(message);
    file_ = put(file);
    function_ = put(function);
    threadID_ = put(threadID);
    threadName_ = put(threadName);
    queueLabel_ = put(queueLabel);
    heap_ = std::move(heap);
    base_ = block;

    size_t slash = file.rfind('/');
    size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    std::string_view last = file.substr(start);
    size_t dot = last.rfind('.');
    fileName_ = {uint32_t(file_.offset + start), uint32_t(dot == std::string_view::npos ? last.size() : dot)};
}

VLLogMessage VLLogMessage::withMessage(std::string_view message) const {
    VLLogMessage copy(*this);
    copy.store(message, file(), function(), threadID(), threadName(), queueLabel());
    return copy;
}

bool VLLogMessage::operator==(const VLLogMessage& o) const {
    if (this == &o) return true;
    return message() == o.message() && level_ == o.level_ && flag_ == o.flag_ && context_ == o.context_ &&
           file() == o.file() && fileName() == o.fileName() && function() == o.function() && line_ == o.line_ &&
           tag_ == o.tag_ && options_ == o.options_ && timestamp_ == o.timestamp_ && threadID() == o.threadID() &&
           queueLabel() == o.queueLabel() && qos_ == o.qos_;
}

size_t VLLogMessage::hash() const {
    std::hash<std::string_view> h;
    size_t v = h(message()) ^ h(file()) ^ h(fileName()) ^ h(function()) ^
               std::hash<int64_t>()(timestamp_.time_since_epoch().count()) ^ h(threadID()) ^ h(queueLabel());
    if (!tag_.isNull()) v ^= h(tag_.toJSON());
    return v ^ size_t(level_) ^ size_t(flag_) ^ size_t(context_) ^ size_t(line_) ^ size_t(options_) ^ size_t(qos_);
}

void VLLogMessage::setThreadFactsForTesting(std::string_view threadID, std::string_view threadName,
                                            std::string_view queueLabel, uint64_t qos) {
    // The views may point into this record's own block: copy them first.
    std::string m(message()), f(file()), fn(function()), id(threadID), name(threadName), label(queueLabel);
    store(m, f, fn, id, name, label);
    qos_ = qos;
}
