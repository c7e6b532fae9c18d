// Login, logout and login verification: the channel's results turned into
// the game's notifications, and the facade's logout.
#include "aggregator/Extend.h"
#include "aggregator/NetworkManager.h"
#include "aggregator/PlugManager.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RMDevice.h"
#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/RelayNotifications.h"
#include "aggregator/RelayReply.h"
#include "aggregator/SDKCooperater.h"
#include "logging/VLLog.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/Redact.h"

namespace {

void post(const char* name, const Value& userInfo) {
    NSNotificationCenter::defaultCenter().postNotificationName(name, nullptr, userInfo);
}

// The channel's extra user facts go to the game as they are, last.
void mergeExtInfo(Value& result, const Value& channelInfo) {
    if (auto ext = channelInfo["extInfo"].getDict())
        for (auto& [k, v] : *ext) result.set(k, v);
}

void showToolBar() {
    auto& channel = RLPCRelayChannel::defaultChannel();
    if (channel.showToolBar) channel.showToolBar(true);
}

}  // namespace

int RUVURazuzEVE::logout() {
    NSLog("RLLog:call logout");
    if (SDKCooperater::shareCooperater().isCheckLogining()) {
        NSLog("can not call logout while under checking login");
        return -4;
    }
    return SDKCooperater::errorCode(RLPCRelayChannel::defaultChannel().logout());
}

void SDKCooperater::channelPlatformLoginResult(const NSNotification& notification) {
    NSLog("RLLog:channelloginresult");
    PlugManager::sharedInstance().loginDone(channelCfg_, notification.userInfo);
    int code = channelResultCode(notification.userInfo);
    Value result = Value::dict({{"error", errorCode(code)}, {"msg", "login success"}});
    if (code != 0) {
        VLLogWarn("RLLog:channel login failed (%d): %s", code, notification.userInfo["msg"].textValue().c_str());
        result.set("msg", "login fail");
        post(kRlpcRPLoginNotification, result);
        return;
    }
    NSLog("渠道登录成功，正在验证");
    auto& channel = RLPCRelayChannel::defaultChannel();
    Value fields = Value::dict({{"uid", channel.userId()}, {"user_name", channel.userNick()}, {"token", channel.sessionId()}});
    isCheckLogining_ = true;
    std::weak_ptr<SDKCooperater> weak = weak_from_this();
    Value channelInfo = notification.userInfo;
    NetworkManager::sharedInstance().loginVerifyInterface(
        fields, [weak, result, channelInfo](std::optional<Value> reply) {
            if (auto self = weak.lock()) self->loginVerified(reply, result, channelInfo);
        });
}

void SDKCooperater::loginVerified(const std::optional<Value>& reply, Value result, const Value& channelInfo) {
    NSLog("登录校验接口返回数据:%s", redact::json(reply).c_str());
    isCheckLogining_ = false;
    PlugManager::sharedInstance().checkLoginResult(channelCfg_, reply ? *reply : Value::dict());
    auto& channel = RLPCRelayChannel::defaultChannel();

    Value data = RelayReply::data(reply);
    std::string uid = data["uid"].textValue();
    std::string token = data["user_token"].textValue();
    // A "true" reply that names no user or token verified nothing.
    if (RelayReply::succeeded(reply) && !uid.empty() && !token.empty()) {
        if (auto flag = data["relayonly"].getBool()) relayOnlyFlag_ = *flag;
        if (auto name = data["relayOnlyPluginName"].getString()) relayOnlyName_ = *name;
        std::string name = data["user_name"].textValue();
        lastUserToken_ = token;
        const Value& stop = data["stopCreateRole"];
        if (!stop.isNull() || !data.has("stopCreateRole")) stopCreateRole_ = stop.boolValue();
        const Value& stopTime = data["stopCreateTime"];
        stopCreateTime_ = stopTime.isNull() ? "0" : stopTime.textValue();

        channel.updateUserId(uid);
        channel.updateUserNick(name);
        channel.updateUserDict(data);
        isLogout_ = false;
        result.set("uid", uid);
        result.set("user_name", name);
        result.set("user_token", token);
        showToolBar();
        mergeExtInfo(result, channelInfo);
        NSLog("RLLog:QK登陆成功通知");
        post(kRlpcRPLoginNotification, result);
        return;
    }

    auto id = RelayReply::errorId(reply);
    std::string checkKey = channelCfg_["checkkey"].textValue();
    // A refusal by the server (30001) is no failure to verify: no local token.
    if (id != 30001 && !channel.userId().empty() && !checkKey.empty()) {
        std::string local = localUserToken(checkKey);
        result.set("uid", channel.userId());
        result.set("user_name", channel.userNick());
        result.set("user_token", local);
        showToolBar();
        mergeExtInfo(result, channelInfo);
        NSLog("RLLog:QK登陆成功通知:%s", redact::secret(local).c_str());
        post(kRlpcRPLoginNotification, result);
        return;
    }

    VLLogError("登录验证失败%s:%s", RelayReply::errorMessage(reply).c_str(), redact::json(reply).c_str());
    // The game hears that this login failed rather than waiting for it.
    post(kRlpcRPLoginNotification, Value::dict({{"error", errorCode(-1)}, {"msg", "login fail"}}));
    // A refused login keeps the channel user for the refusal prompt.
    if (id && *id != 30001) channel.logout();
}

std::string SDKCooperater::localUserToken(const std::string& checkKey) {
    auto& channel = RLPCRelayChannel::defaultChannel();
    std::string userId = channel.userId();
    return strings::format("%s|||%s|||%s|||%s|||%s|||%s|||%s", platformCfg_ ? platformCfg_->productCode().c_str() : "",
                           channel.channelCode().c_str(), RMDevice::sharedInstance().deviceID().c_str(),
                           userId.c_str(), Extend::md5Stringg(userId + checkKey).c_str(), channel.userNick().c_str(),
                           channel.sessionId().c_str());
}

void SDKCooperater::channelPlatformLogoutResult(const NSNotification& notification) {
    NSLog("RLLOG:注销回调,%s", redact::json(notification.userInfo).c_str());
    isLogout_ = true;
    auto& channel = RLPCRelayChannel::defaultChannel();
    if (channel.hideToolBar) channel.hideToolBar();
    post(kRlpcRPLogoutNotification, Value::dict({{"error", 0}, {"msg", "logout"}}));
}

Value SDKCooperater::realNameFacts(const Value& channelInfo) {
    Value out = Value::dict();
    for (auto [from, to] : {std::pair{"age", "age"}, {"realName", "realName"}, {"other", "other"},
                            {"realResumeGame", "resumeGame"}})
        if (channelInfo.has(from)) out.set(to, channelInfo[from]);
    return out;
}

void SDKCooperater::channelPlatformRealAuthResult(const NSNotification& notification) {
    post(kRlpcRPRealAuthNotification, realNameFacts(notification.userInfo));
}

void SDKCooperater::channelPlatformLeavedResult(const NSNotification& notification) {
    post(kRlpcRPLeavedNotification, notification.userInfo);
}

void SDKCooperater::channelPlatformPauseOverResult(const NSNotification& notification) {
    post(kRlpcRPPauseOverNotification, notification.userInfo);
}
