#include "aggregator/SDKCooperater.h"

#include "aggregator/AlertTool.h"
#include "aggregator/NetworkManager.h"
#include "aggregator/PlugManager.h"
#include "aggregator/ProcessInstance.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RMNetWorkUtil.h"
#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/RelayNotifications.h"
#include "aggregator/RelayReply.h"
#include "logging/VLLog.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"

void SDKCooperater::load() {
    shareCooperater().addPlatformNotifications();
    // Asked for whenever the gate first sees a network; it starts nothing
    // before the facade has been started.
    RMNetWorkUtil::setInitHook([] { SDKCooperater::shareCooperater().beginRelaySDKInit(); });
}

SDKCooperater& SDKCooperater::shareCooperater() { return *shared(); }

std::shared_ptr<SDKCooperater> SDKCooperater::shared() { return ProcessInstance<SDKCooperater>::get(); }

void SDKCooperater::replaceSharedForTesting(std::shared_ptr<SDKCooperater> instance) {
    ProcessInstance<SDKCooperater>::replace(std::move(instance));
}

SDKCooperater::SDKCooperater() = default;

SDKCooperater::~SDKCooperater() { NSNotificationCenter::defaultCenter().removeObserver(this); }

std::vector<SDKCooperater::ChannelHandler> SDKCooperater::channelHandlers() {
    return {{kRlpcRCInitDidFinishedNotification, &SDKCooperater::channelPlatformInitResult},
            {kRlpcRCLoginNotification, &SDKCooperater::channelPlatformLoginResult},
            {kRlpcRCLogoutNotification, &SDKCooperater::channelPlatformLogoutResult},
            {kRlpcRCRealAuthNotification, &SDKCooperater::channelPlatformRealAuthResult},
            {kRlpcRCLeavedNotification, &SDKCooperater::channelPlatformLeavedResult},
            {kRlpcRCPauseDidExitNotification, &SDKCooperater::channelPlatformPauseOverResult},
            {kRlpcRCRechargeResultNotification, &SDKCooperater::channelPlatformPayResult}};
}

void SDKCooperater::addPlatformNotifications() {
    NSLog("RLLog:addchannelnotify");
    if (hasAddNotify_) return;
    NSLog("RLLog:addchannelnotifyresult");
    hasAddNotify_ = true;
    auto& center = NSNotificationCenter::defaultCenter();
    // Removed in the destructor, so `this` outlives every call.
    for (auto& h : channelHandlers()) {
        Handler handler = h.handler;
        center.addObserver(this, h.name, nullptr, [this, handler](const NSNotification& n) { (this->*handler)(n); });
    }
}

RMNetWorkUtil& SDKCooperater::gate() { return gate_ ? *gate_ : RMNetWorkUtil::sharedInstance(); }

void SDKCooperater::beginRelaySDKInit() {
    if (!gate().networkAvialable() || !hasCallInit_ || initing_) return;
    initing_ = true;
    NSLog("RLLog:nethasworkbegininit");

    auto net = NetworkManager::shared();
    std::weak_ptr<SDKCooperater> weak = weak_from_this();
    net->updateServerListWithChannelParams(paramsDic_, [net, weak] {
        net->initInterface([weak](std::optional<Value> reply) {
            if (auto self = weak.lock()) self->initReply(reply);
        });
    });

    auto& app = UIApplication::sharedApplication();
    auto platform = platformCfg_ ? platformCfg_ : std::make_shared<RUVURazuzEVEInitConfigure>();
    PlugManager::sharedInstance().willInit(channelCfg_, *platform, app, launchOptions_);

    net->getAntiIndulgeMessage([](std::optional<Value> reply) {
        auto& defaults = NSUserDefaults::standardUserDefaults();
        // A failed fetch clears what an earlier run stored.
        defaults.setObject(kAntiIndulgeDefaultsKey, reply ? *reply : Value());
        defaults.synchronize();
    });

    auto& channel = RLPCRelayChannel::defaultChannel();
    NSLog("渠道SDK版本%s", channel.channelVersion().c_str());
    channel.initWithDictionary(paramsDic_, app, launchOptions_);
}

void SDKCooperater::initReply(const std::optional<Value>& reply) {
    std::string message = RelayReply::errorMessage(reply);
    // Only a server refusal of logins matters here; the channel decides init.
    if (RelayReply::errorId(reply) != 30001) return;
    isloginDisabled_ = true;
    VLLogError("RLLog:the server disabled logins: %s", message.c_str());
    presentAlert("提示", message);
}

void SDKCooperater::channelPlatformInitResult(const NSNotification& notification) {
    PlugManager::sharedInstance().initDone(channelCfg_, notification.userInfo);
    bool ok = channelResultCode(notification.userInfo) == 0;
    NSNotificationCenter::defaultCenter().postNotificationName(
        kRlpcRPInitDidFinishedNotification, nullptr, Value::dict({{"error", ok ? 0 : -21}, {"msg", "init finish"}}));
    if (!ok) {
        VLLogError("RLLog:初始化失败");
        return;
    }
    NSLog("RLLog:初始化成功");
    isInitSuccess_ = true;
    if (isCallLogin_) {
        RUVURazuzEVE::defaultInstance().login();
        isCallLogin_ = false;
    }
}

int SDKCooperater::errorCode(int channelCode) {
    switch (channelCode) {
    case 0: return 0;
    case -3: return -2;
    case -4: return -10;
    case -20: return -20;
    case -21: return -301;
    case -22: return -302;
    default: return -1;
    }
}

int SDKCooperater::channelResultCode(const Value& userInfo) {
    auto code = userInfo["error"].getInteger();
    return code && !userInfo["error"].isBool() ? int(*code) : -1;
}

std::string SDKCooperater::getPaayParams() {
    auto& channel = RLPCRelayChannel::defaultChannel();
    return channel.getPaayParams ? channel.getPaayParams() : "";
}

std::shared_ptr<UIWindow> SDKCooperater::baseGetCurrentShowWindow() {
    auto& app = UIApplication::sharedApplication();
    if (auto key = app.keyWindow()) return key;
    if (auto delegate = app.delegate())
        if (auto main = delegate->window()) return main;
    std::shared_ptr<UIWindow> found;
    for (auto& w : app.windows())
        if (w->windowLevel() == UIWindowLevelNormal) found = w;
    // This platform has no window scenes: with no window at all there is none.
    return found;
}

void SDKCooperater::presentAlert(const std::string& title, const std::string& message) {
    auto window = baseGetCurrentShowWindow();
    auto root = window ? window->rootViewController() : nullptr;
    if (root && !window->isHidden() && root->viewWindow() == window && !root->presentedViewController()) {
        auto alert = UIAlertController::alertControllerWithTitle(title, message, UIAlertControllerStyle::Alert);
        alert->addAction(UIAlertAction::actionWithTitle("确定", UIAlertActionStyle::Default));
        root->presentViewController(alert, true);
        return;
    }
    // The root cannot present it (no window or controller, or it already
    // presents something): rather than let the refusal go unseen, AlertTool
    // puts it over what is shown, or in a window of its own.
    NSLog("RLLog:the alert window cannot present \"%s\"; shown where it can be seen", message.c_str());
    AlertTool::showAlertArrayWith(root, title, message, nullptr, {"确定"});
}
