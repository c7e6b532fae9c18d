#pragma once
// Reply models of the user-centre server. Coded replies carry their status
// under "z" (1 = success) and their message under "b"; every other field
// has a short key of its own. Fields missing from a reply, or of a type
// they cannot take, keep their defaults ("" and 0).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/ZVKeyValue.h"

// Reads of a reply's status and message with the model fields' conversions.
// The status under `key` ("z" in coded replies, "a" in form replies), when
// it reads as an integer.
std::optional<int64_t> ZVReplyStatus(const Value& reply, const char* key = "z");
// The status under `key` reads as 1, success; one rule for every reader of
// a reply: "1wallet" or "1:" is no status, so no success.
bool ZVReplySucceeded(const Value& reply, const char* key = "z");
// The message "b", or `fallback` when the reply has none.
std::string ZVReplyMessage(const Value& reply, const std::string& fallback);

class ZVBaseResponse {
public:
    virtual ~ZVBaseResponse() = default;
    int64_t code = 0;     // "z"
    std::string mesage;   // "b"
    bool isSuccess() const { return code == 1; }
    static const zv::ModelTable<ZVBaseResponse>& zvTable();
    static std::optional<ZVBaseResponse> responseWithDic(const Value& dic) { return zv::objectWithKeyValues<ZVBaseResponse>(dic); }
};

// The login reply.
class LoginResult : public ZVBaseResponse {
public:
    std::string userName;     // "u"
    std::string nickName;     // "n"
    std::string loginTime;    // "t"
    std::string sign;         // "s": the login token
    std::string rzStatus;     // "nrz": real-name state text
    bool isMustRZ = false;    // "frz": verification is mandatory
    std::string lmitTime;     // "lmit"
    std::string iosWapBoxUrl; // "box"
    bool isBindPhone = false; // "bd"
    static const zv::ModelTable<LoginResult>& zvTable();
    static std::optional<LoginResult> responseWithDic(const Value& dic) { return zv::objectWithKeyValues<LoginResult>(dic); }
};

// The real-name check's reply.
class rzResult : public ZVBaseResponse {
public:
    bool isMustRZ = false;  // "frz"
    std::string rzStatus;   // "nrz"
    std::string lmitTime;   // "lmit"
    static const zv::ModelTable<rzResult>& zvTable();
    static std::optional<rzResult> responseWithDic(const Value& dic) { return zv::objectWithKeyValues<rzResult>(dic); }
};

// The SDK information asked for at launch.
class SdkInfoResult : public ZVBaseResponse {
public:
    bool needsUpdate = false;  // "up"
    std::string updateURL;     // "url"
    std::string updateMessage; // "msg"
    static const zv::ModelTable<SdkInfoResult>& zvTable();
};

// One way of paying, as the payment screen lists them.
class PayWay {
public:
    std::string wayId;    // "id"
    std::string name;     // "name"
    std::string balance;  // "balance": what the player holds of it, as text ("" when it does not apply)
    static const zv::ModelTable<PayWay>& zvTable();
};

// The payment ways reply.
class PayWayResult : public ZVBaseResponse {
public:
    std::vector<PayWay> ways;  // "c"
    static const zv::ModelTable<PayWayResult>& zvTable();
};

// The order reply.
class PayOrderResult : public ZVBaseResponse {
public:
    std::string orderId;  // "o"
    std::string money;    // "m"
    static const zv::ModelTable<PayOrderResult>& zvTable();
};
