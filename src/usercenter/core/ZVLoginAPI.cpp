#include "usercenter/core/ZVLoginAPI.h"

#include "platform/foundation/Strings.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVNetwork.h"
#include "usercenter/core/ZVRequestCodec.h"

namespace ZVLoginAPI {

void getSdkCodeWithNumber(const std::string& phone, const std::string& name, const std::string& type,
                          std::function<void(const ZVBaseResponse&)> success, Failed failed) {
    Value params = Value::dict({{"sj", phone}, {"username", name}, {"type", type}});
    CXRSdpNetTool::sharedTool().PostWithURLString(
        ZVApi::kSmsCode, params,
        [success, failed](const Value& reply) {
            if (ZVReplyStatus(reply, "a") == 1) {
                ZVBaseResponse r;
                r.code = 1;
                r.mesage = "验证码已发送";
                if (success) success(r);
                return;
            }
            if (failed) failed(ZVReplyMessage(reply, kZVServerErrorMessage));
        },
        [failed](const Error&) {
            if (failed) failed(kZVServerErrorMessage);
        });
}

void postRealNameToServerWithRealName(const std::string& realName, const std::string& userNumber,
                                      std::function<void(const rzResult&)> success, Failed failed) {
    auto& share = ShareVale::sharedInstance();
    Value params =
        Value::dict({{"id", userNumber}, {"r", realName}, {"i", share.userName()}, {"g", share.gameID()}});
    NetWorkManager::sharedInstance().PostCouponURL(
        ZVApi::kRealName, params,
        [success, failed](const Value& reply) {
            auto result = rzResult::responseWithDic(reply);
            if (result && result->isSuccess()) {
                if (success) success(*result);
                return;
            }
            if (failed) failed(ZVReplyMessage(reply, kZVServerErrorMessage));
        },
        [failed](const Error&) {
            if (failed) failed(kZVServerErrorMessage);
        });
}

void loginWithName(const std::string& name, const std::string& password,
                   std::function<void(const LoginResult&)> success,
                   std::function<void(int64_t, const std::string&)> failed) {
    loginWithDigest(name, URLEncode::md5String(password), std::move(success), std::move(failed));
}

void loginWithDigest(const std::string& name, const std::string& passwordDigest,
                     std::function<void(const LoginResult&)> success,
                     std::function<void(int64_t, const std::string&)> failed) {
    auto& share = ShareVale::sharedInstance();
    std::string t = URLEncode::getNowTimeTimestamp();
    Value params = Value::dict({{"i", name},
                                {"p", passwordDigest},
                                {"g", share.gameID()},
                                {"appid", share.appID()},
                                {"cpsId", share.chanelid()},
                                {"version", ZVApi::kSdkVersion},
                                {"t", t},
                                {"k", ZVLoginSign(name, share.gameID(), t, share.appKey())}});
    NetWorkManager::sharedInstance().PostCouponURL(
        ZVApi::kLogin, params,
        [success, failed](const Value& reply) {
            auto result = LoginResult::responseWithDic(reply);
            if (result && result->isSuccess() && !result->sign.empty()) {
                if (success) success(*result);
                return;
            }
            if (auto code = ZVReplyStatus(reply); code && *code != 1) {
                if (failed) failed(*code, ZVReplyMessage(reply, "登录失败"));
                return;
            }
            if (failed) failed(kTransportFailure, kZVServerErrorMessage);
        },
        [failed](const Error&) {
            if (failed) failed(kTransportFailure, kZVServerErrorMessage);
        });
}

void requestSdkInfo(std::function<void(std::optional<SdkInfoResult>)> completion) {
    auto& share = ShareVale::sharedInstance();
    Value params = Value::dict({{"g", share.gameID()},
                                {"appid", share.appID()},
                                {"cpsId", share.chanelid()},
                                {"version", ZVApi::kSdkVersion}});
    NetWorkManager::sharedInstance().PostCouponURL(
        ZVApi::kSdkInfo, params,
        [completion](const Value& reply) {
            auto info = zv::objectWithKeyValues<SdkInfoResult>(reply);
            if (!info || !info->isSuccess()) info.reset();
            if (completion) completion(info);
        },
        [completion](const Error&) {
            if (completion) completion(std::nullopt);
        });
}

void reportLogout(const std::string& name, const std::string& token) {
    auto& share = ShareVale::sharedInstance();
    Value params = Value::dict({{"i", name}, {"s", token}, {"g", share.gameID()}});
    NetWorkManager::sharedInstance().PostCouponURL(ZVApi::kLogout, params, {}, {});
}

void uploadRole(const Value& role, std::function<void(bool)> completion) {
    auto& share = ShareVale::sharedInstance();
    Value params = role.isDict() ? role : Value::dict();
    params.set("i", share.userName());
    params.set("g", share.gameID());
    NetWorkManager::sharedInstance().PostCouponURL(
        ZVApi::kRoleUpload, params,
        [completion](const Value& reply) {
            if (completion) completion(ZVReplyStatus(reply) == 1);
        },
        [completion](const Error&) {
            if (completion) completion(false);
        });
}

void reportOnlineTime(int64_t seconds, std::function<void(const Value&)> completion) {
    auto& share = ShareVale::sharedInstance();
    Value params =
        Value::dict({{"i", share.userName()}, {"g", share.gameID()}, {"s", share.token()}, {"d", seconds}});
    NetWorkManager::sharedInstance().PostCouponURL(
        ZVApi::kOnlineTime, params,
        [completion](const Value& reply) {
            if (completion) completion(reply);
        },
        [completion](const Error&) {
            if (completion) completion(Value());
        });
}

void bindPhone(const std::string& phone, const std::string& code, std::function<void()> success, Failed failed) {
    Value params = Value::dict({{"sj", phone}, {"yzm", code}, {"username", ShareVale::sharedInstance().userName()}});
    CXRSdpNetTool::sharedTool().PostWithURLString(
        ZVApi::kBindPhone, params,
        [success, failed](const Value& reply) {
            if (ZVReplyStatus(reply, "a") == 1) {
                if (success) success();
                return;
            }
            if (failed) failed(ZVReplyMessage(reply, kZVServerErrorMessage));
        },
        [failed](const Error&) {
            if (failed) failed(kZVServerErrorMessage);
        });
}

}  // namespace ZVLoginAPI
