#include "usercenter/core/ZVResponses.h"

std::optional<int64_t> ZVReplyStatus(const Value& reply, const char* key) {
    int64_t status = 0;
    if (!zv::convert::read(reply[key], status)) return std::nullopt;
    return status;
}

bool ZVReplySucceeded(const Value& reply, const char* key) { return ZVReplyStatus(reply, key) == 1; }

std::string ZVReplyMessage(const Value& reply, const std::string& fallback) {
    std::string message;
    zv::convert::read(reply["b"], message);
    return message.empty() ? fallback : message;
}

const zv::ModelTable<ZVBaseResponse>& ZVBaseResponse::zvTable() {
    static const auto table = zv::ModelTable<ZVBaseResponse>()
                                  .field("code", &ZVBaseResponse::code)
                                  .field("mesage", &ZVBaseResponse::mesage)
                                  .replacedKeys({{"code", "z"}, {"mesage", "b"}});
    return table;
}

const zv::ModelTable<LoginResult>& LoginResult::zvTable() {
    static const auto table = zv::ModelTable<LoginResult>()
                                  .inherit(ZVBaseResponse::zvTable())
                                  .field("userName", &LoginResult::userName)
                                  .field("nickName", &LoginResult::nickName)
                                  .field("loginTime", &LoginResult::loginTime)
                                  .field("sign", &LoginResult::sign)
                                  .field("rzStatus", &LoginResult::rzStatus)
                                  .field("isMustRZ", &LoginResult::isMustRZ)
                                  .field("lmitTime", &LoginResult::lmitTime)
                                  .field("iosWapBoxUrl", &LoginResult::iosWapBoxUrl)
                                  .field("isBindPhone", &LoginResult::isBindPhone)
                                  .replacedKeys({{"userName", "u"},
                                                 {"nickName", "n"},
                                                 {"loginTime", "t"},
                                                 {"sign", "s"},
                                                 {"rzStatus", "nrz"},
                                                 {"isMustRZ", "frz"},
                                                 {"lmitTime", "lmit"},
                                                 {"iosWapBoxUrl", "box"},
                                                 {"isBindPhone", "bd"}});
    return table;
}

const zv::ModelTable<rzResult>& rzResult::zvTable() {
    static const auto table = zv::ModelTable<rzResult>()
                                  .inherit(ZVBaseResponse::zvTable())
                                  .field("isMustRZ", &rzResult::isMustRZ)
                                  .field("rzStatus", &rzResult::rzStatus)
                                  .field("lmitTime", &rzResult::lmitTime)
                                  .replacedKeys({{"isMustRZ", "frz"}, {"rzStatus", "nrz"}, {"lmitTime", "lmit"}});
    return table;
}

const zv::ModelTable<SdkInfoResult>& SdkInfoResult::zvTable() {
    static const auto table = zv::ModelTable<SdkInfoResult>()
                                  .inherit(ZVBaseResponse::zvTable())
                                  .field("needsUpdate", &SdkInfoResult::needsUpdate)
                                  .field("updateURL", &SdkInfoResult::updateURL)
                                  .field("updateMessage", &SdkInfoResult::updateMessage)
                                  .replacedKeys({{"needsUpdate", "up"}, {"updateURL", "url"}, {"updateMessage", "msg"}});
    return table;
}

const zv::ModelTable<PayWay>& PayWay::zvTable() {
    static const auto table = zv::ModelTable<PayWay>()
                                  .field("wayId", &PayWay::wayId)
                                  .field("name", &PayWay::name)
                                  .field("balance", &PayWay::balance)
                                  .replacedKeys({{"wayId", "id"}});
    return table;
}

const zv::ModelTable<PayWayResult>& PayWayResult::zvTable() {
    static const auto table = zv::ModelTable<PayWayResult>()
                                  .inherit(ZVBaseResponse::zvTable())
                                  .field("ways", &PayWayResult::ways)
                                  .replacedKeys({{"ways", "c"}});
    return table;
}

const zv::ModelTable<PayOrderResult>& PayOrderResult::zvTable() {
    static const auto table = zv::ModelTable<PayOrderResult>()
                                  .inherit(ZVBaseResponse::zvTable())
                                  .field("orderId", &PayOrderResult::orderId)
                                  .field("money", &PayOrderResult::money)
                                  .replacedKeys({{"orderId", "o"}, {"money", "m"}});
    return table;
}
