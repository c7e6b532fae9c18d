#include "usercenter/core/ZVRequestCodec.h"

#include <mutex>

#include "platform/foundation/JSONReading.h"
#include "platform/foundation/Strings.h"
#include "platform/security/Digest.h"
#include "usercenter/core/ZVNetwork.h"

namespace {
std::mutex codecMutex;
std::shared_ptr<const ZVRequestCodec>& slot() {
    static std::shared_ptr<const ZVRequestCodec> codec = std::make_shared<ZVPlainCodec>();
    return codec;
}
}  // namespace

std::shared_ptr<const ZVRequestCodec> ZVRequestCodec::current() {
    std::lock_guard lock(codecMutex);
    return slot();
}

void ZVRequestCodec::install(std::shared_ptr<const ZVRequestCodec> codec) {
    std::lock_guard lock(codecMutex);
    slot() = codec ? std::move(codec) : std::make_shared<ZVPlainCodec>();
}

std::string ZVPlainCodec::encode(const Value& dictionary) const {
    return dictionary.isDict() ? dictionary.toJSON() : Value::dict().toJSON();
}

std::optional<Value> ZVPlainCodec::decode(std::string_view body) const {
    auto v = readJSON(body, {zvnet::kMaxReplyValues});
    if (!v || !v->isDict()) return std::nullopt;
    return v;
}

std::string ZVLoginSign(const std::string& name, const std::string& gameID, const std::string& time,
                        const std::string& appKey) {
    return digest::md5Hex(
        strings::format("i=%s&g=%s&t=%s&key=%s", name.c_str(), gameID.c_str(), time.c_str(), appKey.c_str()));
}

std::string ZVTasksSign(const std::string& userName, const std::string& loginTime) {
    return digest::md5Hex(strings::format("username=%s&appkey=%s&logintime=%s", userName.c_str(), kZVTasksAppKey,
                                          loginTime.c_str()));
}
