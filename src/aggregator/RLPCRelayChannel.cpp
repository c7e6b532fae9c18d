#include "aggregator/RLPCRelayChannel.h"

#include <sys/stat.h>

#include <exception>

#include "aggregator/ProcessInstance.h"
#include "aggregator/RLPCRelayChannelCooperater.h"
#include "aggregator/RelayChannelConfig.h"
#include "aggregator/RelayNotifications.h"
#include "aggregator/ZorviaServices.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace {

std::shared_ptr<ZorviaServices> services(const char* call) {
    auto s = ZorviaServices::current();
    if (!s) NSLog("RLLog:%s: the user-centre SDK is not installed", call);
    return s;
}

void post(const std::string& name, const Value& userInfo) {
    NSNotificationCenter::defaultCenter().postNotificationName(name, nullptr, userInfo);
}

// The channel user is gone (a logout here or in the user centre): the login
// screen may open again, and the core hears of the logout.
void loggedOut() {
    auto& h = RelayChannelHelper::sharedInstance();
    h.setHasShowLogin(false);
    h.setRzStatus("0");
    auto& state = RLPCRelayChannelCooperater::defaultCooperater();
    state.setIsLogin(false);
    state.loginStateChange(RLPCRelayChanneLoginNotifyInfo::zhuxiaoInfo());
}

// The player closed the login window: the login screen may open again, and
// the core hears a failed channel login (there is no cancelled result).
void loginCancelled() {
    RelayChannelHelper::sharedInstance().setHasShowLogin(false);
    NSNotificationCenter::defaultCenter().postNotificationName(kRlpcRCLoginNotification, nullptr,
                                                              Value::dict({{"error", -1}, {"msg", "login cancel"}}));
}

// The user-centre SDK must not take the caller down with it.
template <class F>
void guarded(const char* call, F f) {
    try {
        f();
    } catch (const std::exception& e) {
        NSLog("%s,%s", call, e.what());
    } catch (...) {
        NSLog("%s,%s", call, "unknown exception");
    }
}

}  // namespace

RLPCRelayChannel& RLPCRelayChannel::defaultChannel() { return *ProcessInstance<RLPCRelayChannel>::get(); }

void RLPCRelayChannel::replaceDefaultForTesting(std::shared_ptr<RLPCRelayChannel> channel) {
    ProcessInstance<RLPCRelayChannel>::replace(std::move(channel));
}

RLPCRelayChannel::RLPCRelayChannel() {
    RLPCRelayChannelCooperater::defaultCooperater();
    realNameInfo = [this] { return channelRealNameInfo(); };
    updatePayDict = [](const Value& dict) {
        RLPCRelayChannelCooperater::defaultCooperater().payDict() = dict.isDict() ? dict : Value::dict();
    };
    updateRoleInfoWith_isCreate = [this](const RLPCRelayRoleInfo& role, bool) { uploadRole(role); };
    updateRoleInfoWith = [this](const RLPCRelayRoleInfo& role) { uploadRole(role); };
    openURL_application = [](const NSURL& url, UIApplication& app) {
        if (auto z = services("openURL:application:"))
            guarded("-[RLPCRelayChannel openURL:application:]", [&] { z->application_handleOpenURL(app, url); });
        return false;
    };
    openURL_sourceApplication_application_annotation = [](const NSURL& url, const std::string& source,
                                                          UIApplication& app, const Value& annotation) {
        if (auto z = services("openURL:sourceApplication:application:annotation:"))
            guarded("-[RLPCRelayChannel openURL:sourceApplication:application:annotation:]",
                    [&] { z->application_openURL_sourceApplication_annotation(app, url, source, annotation); });
        return false;
    };
    openURL_application_options = [](const NSURL& url, UIApplication& app, const Value& options) {
        if (auto z = services("openURL:application:options:"))
            guarded("-[RLPCRelayChannel openURL:application:options:]",
                    [&] { z->application_openURL_options(app, url, options); });
        return false;
    };
    application_supportedInterfaceOrientationsForWindow = [](UIApplication& app,
                                                             const std::shared_ptr<UIWindow>& window) {
        auto z = services("application:supportedInterfaceOrientationsForWindow:");
        return z ? z->application_supportedInterfaceOrientationsForWindow(app, window) : 0ul;
    };
}

std::string RLPCRelayChannel::channelCode() {
    const Value& cfg = RLPCRelayChannelCooperater::defaultCooperater().channelCfgDic();
    if (cfg.isDict() && !cfg.empty() && cfg.has("channel_type")) return cfg.text("channel_type");
    Value file = findConfigDict();
    if (!file.empty()) return file.text("channel_type");
    return "977";
}

Value RLPCRelayChannel::findConfigDict() {
    auto file = RelayChannelConfig::path();
    if (!file) return Value::dict();
    struct stat st {};
    ::stat(file->c_str(), &st);
    std::string stamp = strings::format("%s %lld %lld.%09ld", file->c_str(), (long long)st.st_size,
                                        (long long)st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    std::lock_guard lock(fileMutex_);
    if (stamp != fileStamp_) {
        fileConfig_ = RelayChannelConfig::read(*file);
        fileStamp_ = stamp;
    }
    return fileConfig_;
}

std::optional<Data> RLPCRelayChannel::DES128DecryptData(const Data& bytes, const std::string& key) {
    return RelayChannelConfig::decrypt(bytes, key);
}

bool RLPCRelayChannel::initWithDictionary(const Value& config, UIApplication&, const Value&) {
    RLPCRelayChannelCooperater::defaultCooperater().setChannelCfgDic(config);
    if (auto z = services("didFinishLaunching")) z->didFinishLaunching();
    auto info = RLPCRelaychannelInitNotifyInfo::successInfo();
    post(info.getNotifyName(), info.getNotifyDic());
    return initWithDictionary(config);
}

int RLPCRelayChannel::login() {
    auto& helper = RelayChannelHelper::sharedInstance();
    if (helper.hasShowLogin()) return 0;
    auto z = services("loadLoginViewResultSuccess:failed:");
    if (!z) return 0;
    helper.setHasShowLogin(true);
    z->loadLoginViewResultSuccess(
        [](const std::string&, const std::string& userName, const std::string& sign, const std::string& realStatus) {
            auto& h = RelayChannelHelper::sharedInstance();
            h.setHasShowLogin(false);
            h.setRzStatus(realStatus);
            auto info = RLPCRelayChanneLoginNotifyInfo::info();
            info.uid = userName;
            info.userNick = userName;
            info.sessionId = sign;
            RLPCRelayChannelCooperater::defaultCooperater().loginStateChange(info);
        },
        [](int code, const std::string&) {
            // Failed attempts leave the login screen up; a logout from the
            // user centre or a closed login window ends it.
            if (code == ZorviaServices::kLoginCancelled) return loginCancelled();
            if (code != -9) return;
            loggedOut();
        });
    return 0;
}

int RLPCRelayChannel::logout() {
    if (auto z = services("LoginOut")) z->LoginOut();
    loggedOut();
    return 0;
}

void RLPCRelayChannel::isLogined(const std::function<void(bool)>& block) {
    if (block) block(RLPCRelayChannelCooperater::defaultCooperater().isLogin());
}

std::string RLPCRelayChannel::userId() { return RLPCRelayChannelCooperater::defaultCooperater().userId(); }
std::string RLPCRelayChannel::userNick() { return RLPCRelayChannelCooperater::defaultCooperater().userNick(); }
std::string RLPCRelayChannel::sessionId() { return RLPCRelayChannelCooperater::defaultCooperater().sessionId(); }

void RLPCRelayChannel::updateUserId(const Value& v) {
    if (auto s = v.getString(); s && !s->empty()) RLPCRelayChannelCooperater::defaultCooperater().setUserId(*s);
}

void RLPCRelayChannel::updateUserNick(const Value& v) {
    if (auto s = v.getString(); s && !s->empty()) RLPCRelayChannelCooperater::defaultCooperater().setUserNick(*s);
}

void RLPCRelayChannel::updateUserDict(const Value& dict) {
    RLPCRelayChannelCooperater::defaultCooperater().userDict() = dict.isDict() ? dict : Value::dict();
}

Value RLPCRelayChannel::channelRealNameInfo() const {
    int64_t status = Value(RelayChannelHelper::sharedInstance().rzStatus()).intValue();
    return Value::dict({{"realName", status != 0},
                        {"age", status == 0 ? -1 : status == 2 ? 10 : 20},
                        {"realResumeGame", true},
                        {"other", ""}});
}

void RLPCRelayChannel::uploadRole(const RLPCRelayRoleInfo& role) {
    auto z = services("SetUserInfoDataWithRoleId");
    if (!z) return;
    z->SetUserInfoDataWithRoleId(role.gameRoleID(), role.gameRoleName(), role.gameUserLevel(), role.serverId(),
                                 role.serverName(), "", [](int status) {
                                     std::string text = status == 1   ? "提交成功"
                                                        : status == 2 ? "信息不全"
                                                        : status == 0 ? "服务连接失败"
                                                                      : std::to_string(status);
                                     NSLog("RLLog:渠道上传角色信息：%s", text.c_str());
                                 });
}

void RLPCRelayChannel::buyOrderId(const std::string& orderId, const std::shared_ptr<RLPCRelayProductInfo>& product,
                                  const std::shared_ptr<RLPCRelayRoleInfo>& role) {
    auto& state = RLPCRelayChannelCooperater::defaultCooperater();
    state.setOrderId(orderId);
    state.setProductInfo(product);
    state.setRoleInfo(role);
    auto z = services("loadToPayVCWithroleid");
    if (!z || !product || !role) return;
    auto result = [orderId, cpOrderId = product->productOrderID](long stateCode) {
        auto info = RLPCRelayChannelRechargeNotiInfo::info();
        info.state = stateCode;
        info.relaySDKOrderID = orderId;
        info.cpOrderID = cpOrderId;
        post(info.getNotifyName(), info.getNotifyDic());
    };
    z->loadToPayVCWithroleid(
        role->gameRoleID(), strings::format("%.2f", double(product->amount)), role->serverId(), product->productName,
        product->productDesc, orderId, [result](const Value&, const Value&) { result(1); },
        [result](const Value&, int, const Value&) { result(3); });
}

void RLPCRelayChannel::showMessage(const std::string& message) {
    if (auto z = services("showMessage")) guarded("showMessage", [&] { z->showMessage(message); });
}

Value RLPCRelayChannel::praramsDicFromAtEqualStr(const std::string& text) {
    Value out = Value::dict();
    for (auto& piece : strings::split(text, "&")) {
        auto parts = strings::split(piece, "=");
        out.set(parts.front(), parts.back());
    }
    return out;
}
