// The facade's extras: application callbacks, channel facts and screens,
// configuration values and function-support questions.
#include "aggregator/PlugManager.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RMDevice.h"
#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/RelayChannelConfig.h"
#include "aggregator/SDKCooperater.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/Redact.h"

namespace {

RLPCRelayChannel& channel() { return RLPCRelayChannel::defaultChannel(); }

// -100 when the channel does not offer the call, else -1 for true and 0 for false.
template <class F, class... Args>
int rule(const F& op, Args&&... args) {
    if (!op) return -100;
    return op(std::forward<Args>(args)...) ? -1 : 0;
}

const Value& channelCfg() { return SDKCooperater::shareCooperater().channelCfg(); }

}  // namespace

// ---- Application callbacks

int RUVURazuzEVE::openURL_application(const NSURL& url, UIApplication& app) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) openURL:application:]");
    return rule(channel().openURL_application, url, app);
}

int RUVURazuzEVE::openURL_sourceApplication_application_annotation(const NSURL& url, const std::string& source,
                                                                  UIApplication& app, const Value& annotation) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) openURL:sourceApplication:application:annotation:]");
    NSLog("RLLog:回调openURL sourceApplication app anonotation");
    return rule(channel().openURL_sourceApplication_application_annotation, url, source, app, annotation);
}

int RUVURazuzEVE::openURL_application_options(const NSURL& url, UIApplication& app, const Value& options) {
    NSLog("RLLog:回调OpenURL application options");
    return rule(channel().openURL_application_options, url, app, options);
}

int RUVURazuzEVE::application_didRegisterForRemoteNotificationsWithDeviceToken(UIApplication& app,
                                                                               const Data& token) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) application:didRegisterForRemoteNotificationsWithDeviceToken:]");
    RMDevice::sharedInstance().savePushToken(strings::base64Encode(token));
    PlugManager::sharedInstance().registeredPushToken(channelCfg(), token);
    return rule(channel().application_didRegisterForRemoteNotificationsWithDeviceToken, app, token);
}

int RUVURazuzEVE::application_didFailToRegisterForRemoteNotificationsWithError(UIApplication& app,
                                                                               const Error& error) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) application:didFailToRegisterForRemoteNotificationsWithError:]");
    return rule(channel().application_didFailToRegisterForRemoteNotificationsWithError, app, error);
}

int RUVURazuzEVE::application_didReceiveRemoteNotification(UIApplication& app, const Value& userInfo) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) application:didReceiveRemoteNotification:]");
    return rule(channel().application_didReceiveRemoteNotification, app, userInfo);
}

int RUVURazuzEVE::applicationWillResignActive(UIApplication& app) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) applicationWillResignActive:]");
    return rule(channel().applicationWillResignActive, app);
}

int RUVURazuzEVE::applicationDidEnterBackground(UIApplication& app) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) applicationDidEnterBackground:]");
    return rule(channel().applicationDidEnterBackground, app);
}

int RUVURazuzEVE::applicationWillEnterForeground(UIApplication& app) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) applicationWillEnterForeground:]");
    return rule(channel().applicationWillEnterForeground, app);
}

int RUVURazuzEVE::applicationDidBecomeActive(UIApplication& app) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) applicationDidBecomeActive:]");
    return rule(channel().applicationDidBecomeActive, app);
}

int RUVURazuzEVE::applicationWillTerminate(UIApplication& app) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) applicationWillTerminate:]");
    return rule(channel().applicationWillTerminate, app);
}

long RUVURazuzEVE::application_supportedInterfaceOrientationsForWindow(UIApplication& app,
                                                                      const std::shared_ptr<UIWindow>& window) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) application:supportedInterfaceOrientationsForWindow:]");
    auto& op = channel().application_supportedInterfaceOrientationsForWindow;
    return op ? long(op(app, window)) : -100;
}

int RUVURazuzEVE::application_continueUserActivity_restorationHandler(UIApplication& app, const Value& activity) {
    auto& op = channel().application_continueUserActivity_restorationHandler;
    if (op) op(app, activity);
    return 1;
}

// ---- Channel facts

std::string RUVURazuzEVE::channelName() { return channel().channelName(); }
std::string RUVURazuzEVE::channelVersion() { return channel().channelVersion(); }

long RUVURazuzEVE::channelType() {
    NSLog("RLLog:调用channelType");
    return long(Value(channel().channelCode()).intValue());
}

std::string RUVURazuzEVE::cpsChannelId() {
    auto& op = channel().cpsChannelId;
    return op ? op() : "UNKNOWN";
}

std::string RUVURazuzEVE::getDeviceID() { return RMDevice::updateDeviceID(); }

void RUVURazuzEVE::resetDeviceID() { RMDevice::removeDataWithIdentifier(RMDevice::kDeviceIdItem); }

// ---- Channel screens and calls

int RUVURazuzEVE::enterUserCenter() {
    NSLog("RLLog:进入个人中心");
    return rule(channel().enterUserCenter);
}

int RUVURazuzEVE::callChannelSpecifyFunction(long type, const Value& parameters) {
    NSLog("RLLog:调用渠道指定方法=%ld参数=%s", type, redact::json(parameters).c_str());
    return rule(channel().callSpecifyFunction, type, parameters);
}

int RUVURazuzEVE::showToolBar(long position) {
    NSLog("RLLog:调用显示浮动工具栏");
    return rule(channel().showToolBar, position);
}

int RUVURazuzEVE::hideToolBar() {
    NSLog("RLLog:调用隐藏工具栏");
    return rule(channel().hideToolBar);
}

int RUVURazuzEVE::callSDKShare(const RUVURazuzEVEShareInfo& info) {
    if (auto& op = channel().callSDKShare) op(info);
    return 0;
}

int RUVURazuzEVE::enterYunKeFuCenter(const Value& object) {
    NSLog("RLLog:Enter YunKefu");
    callPlug("CustomerServiceIOS", Value::array({"1", object}));
    return 0;
}

int RUVURazuzEVE::callPlug(const std::string& name, const Value& params) {
    Value all = Value::array({channelCfg()});
    if (auto a = params.getArray())
        for (auto& e : *a) all.push(e);
    return PlugManager::sharedInstance().callPlug(name, all);
}

void RUVURazuzEVE::setAutoRotation(bool on) {
    if (auto& op = channel().setAutoRotation) op(on);
}

void RUVURazuzEVE::Getlocalized(const Value& object) {
    if (auto& op = channel().Getlocalized) op(object);
}

Value RUVURazuzEVE::callFunction(long type, const Value& args) {
    auto& op = channel().callFunction_args;
    if (!op) {
        NSLog("RLLog:the channel offers no function %ld", type);
        return Value();
    }
    return op(type, args);
}

// ---- Configuration and function support

Value RUVURazuzEVE::getConfigValue(const std::string& key) {
    NSLog("RLLog:getConfigValue:%s", key.c_str());
    auto& co = SDKCooperater::shareCooperater();
    if (co.channelCfg().isNull()) {
        auto file = RelayChannelConfig::path();
        co.setChannelCfg(file ? RelayChannelConfig::read(*file, RelayChannelConfig::PlainForm::MarkedByBundleOrVersion)
                              : Value::dict());
    }
    return co.channelCfg()[key];
}

bool RUVURazuzEVE::isFunctionSupported(const std::string& selector) {
    static const char* always[] = {"channelName", "channelVersion", "channelType",  "initWithConfig:",
                                   "channelAppId", "channelAppKey",  "appName",      "login",
                                   "logout",       "isLogined:",     "userId",       "userNick",
                                   "updateRoleInfoWith:", "payOrderInfo:roleInfo:", "setChannelOrientation:"};
    for (auto s : always)
        if (selector == s) return true;
    auto& ch = channel();
    if (selector == "pausedGame") return bool(ch.pause);
    if (selector == "enterUserCenter") return bool(ch.enterUserCenter);
    if (selector == "enterBBS") return bool(ch.enterBBS);
    if (selector == "openURL:sourceApplication:application:annotation:")
        return bool(ch.openURL_sourceApplication_application_annotation);
    if (selector == "openURL:sourceApplication:") return bool(ch.openURL_sourceApplication);
    if (selector == "showToolBar:") return bool(ch.showToolBar);
    if (selector == "hideToolBar") return bool(ch.hideToolBar);
    if (selector == "cpsChannelId") return bool(ch.cpsChannelId);
    return false;
}

bool RUVURazuzEVE::isFunctionTypeSupported(long type) {
    NSLog("RLLog:%s", "-[RUVURazuzEVE(Extend) isFunctionTypeSupported:]");
    auto& ch = channel();
    switch (type) {
    case 0: return bool(ch.cpsChannelId);
    case 1: return bool(ch.pause);
    case 2: return bool(ch.enterUserCenter);
    case 3: return bool(ch.enterBBS);
    case 5: return bool(ch.showToolBar);
    case 6: return bool(ch.hideToolBar);
    case 7: return bool(ch.enterCustomerServiceCenter);
    default: return false;
    }
}
