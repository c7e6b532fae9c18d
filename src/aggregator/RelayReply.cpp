#include "aggregator/RelayReply.h"

#include <cerrno>
#include <cstdlib>

namespace RelayReply {

bool succeeded(const std::optional<Value>& reply) {
    return reply && reply->isDict() && (*reply)["result"].getBool().value_or(false);
}

std::optional<int64_t> errorId(const std::optional<Value>& reply) {
    if (!reply) return std::nullopt;
    const Value& id = (*reply)["error"]["id"];
    if (auto n = id.getInteger(); n && !id.isBool()) return n;
    if (auto s = id.getString(); s && !s->empty()) {
        const char* begin = s->c_str();
        char* end = nullptr;
        errno = 0;
        long long n = std::strtoll(begin, &end, 10);
        if (errno == 0 && end && *end == '\0' && end != begin) return n;
    }
    return std::nullopt;
}

std::string errorMessage(const std::optional<Value>& reply) {
    return reply ? (*reply)["error"]["message"].stringOr() : "";
}

Value data(const std::optional<Value>& reply) {
    if (reply && (*reply)["data"].isDict()) return (*reply)["data"];
    return Value::dict();
}

}  // namespace RelayReply
