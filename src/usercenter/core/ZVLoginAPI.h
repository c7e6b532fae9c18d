#pragma once
// The account requests of the user-centre SDK (the category
// NSObject(ZVLoginAPI)). Every block runs on the main queue. A request that
// fails in transport, or whose reply cannot be read, reports "服务器错误".

#include <functional>
#include <string>

#include "platform/foundation/Value.h"
#include "usercenter/core/ZVResponses.h"

inline constexpr const char* kZVServerErrorMessage = "服务器错误";

namespace ZVLoginAPI {

// The failure code of a login that got no usable reply.
inline constexpr int64_t kTransportFailure = -8;

using Failed = std::function<void(const std::string& message)>;

// SMS code ("Sdkhome/yzm", form body: "sj", "username", "type"). "a" = 1
// runs success with the message "验证码已发送"; another "a" runs failed with "b".
void getSdkCodeWithNumber(const std::string& phone, const std::string& name, const std::string& type,
                          std::function<void(const ZVBaseResponse&)> success, Failed failed);

// Real-name check ("login/idcheck", coded body: "id", "r", "i", "g"). "z" = 1
// runs success with the reply's rzResult; another "z" runs failed with "b".
void postRealNameToServerWithRealName(const std::string& realName, const std::string& userNumber,
                                      std::function<void(const rzResult&)> success, Failed failed);

// Login ("login/dologin", coded body: "i" name, "p" MD5 of the password,
// "g", "appid", "cpsId", "version", "t" and the sign "k"). A reply with
// "z" = 1 and a non-empty sign runs success; a refusal runs failed with
// the server's code and "b"; a transport failure or a reply without a sign
// runs failed with -8 and "服务器错误".
void loginWithName(const std::string& name, const std::string& password,
                   std::function<void(const LoginResult&)> success,
                   std::function<void(int64_t code, const std::string& message)> failed);
// The same with the password's MD5 digest in place of the password (the
// automatic login, which keeps no password).
void loginWithDigest(const std::string& name, const std::string& passwordDigest,
                     std::function<void(const LoginResult&)> success,
                     std::function<void(int64_t code, const std::string& message)> failed);

// The SDK information ("Sdkhome/sdkinfo"); nullopt when it could not be had.
void requestSdkInfo(std::function<void(std::optional<SdkInfoResult>)> completion);

// Logout report ("login/logout"); the answer does not matter.
void reportLogout(const std::string& name, const std::string& token);

// Role upload ("Sdkhome/uprole", coded body: "roleId", "roleName",
// "roleLevel", "zoneId", "zoneName", "ext", with "i" and "g"); the
// completion gets true when "z" = 1.
void uploadRole(const Value& role, std::function<void(bool)> completion);

// Online-time report ("Sdkhome/online", coded body: "i", "g", "s" token,
// "d" seconds played since the last report). The completion gets the
// reply (null on failure).
void reportOnlineTime(int64_t seconds, std::function<void(const Value& reply)> completion);

// Phone binding ("Sdkhome/bdtel", form body: "sj", "yzm", "username").
void bindPhone(const std::string& phone, const std::string& code, std::function<void()> success, Failed failed);

}  // namespace ZVLoginAPI
