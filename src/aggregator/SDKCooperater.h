#pragma once
// The aggregator SDK's lifecycle controller: its state flags and
// configuration, the init sequence against the servers and the channel
// adapter, and the translation of the channel adapter's notifications into
// the ones the game observes. Main thread only.

#include <functional>
#include <optional>
#include <vector>
#include <memory>
#include <string>

#include "aggregator/RUVURazuzEVERecords.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Value.h"

class RMNetWorkUtil;
class UIWindow;

// Where the init sequence stores the anti-addiction configuration.
inline constexpr const char* kAntiIndulgeDefaultsKey = "KEY_AntiIndulge_KEY";

class SDKCooperater : public std::enable_shared_from_this<SDKCooperater> {
public:
    // The start-up hook: subscribes the shared controller to the channel
    // notifications and makes it the network gate's init hook.
    static void load();
    static SDKCooperater& shareCooperater();
    static std::shared_ptr<SDKCooperater> shared();
    static void replaceSharedForTesting(std::shared_ptr<SDKCooperater> instance);

    SDKCooperater();
    ~SDKCooperater();
    SDKCooperater(const SDKCooperater&) = delete;
    SDKCooperater& operator=(const SDKCooperater&) = delete;

    // ---- State
    bool isCheckLogining() const { return isCheckLogining_; }
    void setIsCheckLogining(bool v) { isCheckLogining_ = v; }
    bool isLogout() const { return isLogout_; }
    void setIsLogout(bool v) { isLogout_ = v; }
    bool relayOnlyFlag() const { return relayOnlyFlag_; }
    void setRelayOnlyFlag(bool v) { relayOnlyFlag_ = v; }
    bool isCallLogin() const { return isCallLogin_; }
    void setIsCallLogin(bool v) { isCallLogin_ = v; }
    bool isInitSuccess() const { return isInitSuccess_; }
    void setIsInitSuccess(bool v) { isInitSuccess_ = v; }
    bool hasCallInit() const { return hasCallInit_; }
    void setHasCallInit(bool v) { hasCallInit_ = v; }
    bool stopCreateRole() const { return stopCreateRole_; }
    void setStopCreateRole(bool v) { stopCreateRole_ = v; }
    bool isloginDisabled() const { return isloginDisabled_; }
    void setIsloginDisabled(bool v) { isloginDisabled_ = v; }
    bool initing() const { return initing_; }
    bool hasAddNotify() const { return hasAddNotify_; }

    std::shared_ptr<RUVURazuzEVEInitConfigure> platformCfg() const { return platformCfg_; }
    void setPlatformCfg(std::shared_ptr<RUVURazuzEVEInitConfigure> v) { platformCfg_ = std::move(v); }
    const Value& channelCfg() const { return channelCfg_; }
    void setChannelCfg(Value v) { channelCfg_ = std::move(v); }
    const std::string& lastUserToken() const { return lastUserToken_; }
    void setLastUserToken(std::string v) { lastUserToken_ = std::move(v); }
    const std::string& relayOnlyName() const { return relayOnlyName_; }
    void setRelayOnlyName(std::string v) { relayOnlyName_ = std::move(v); }
    const Value& launchOptions() const { return launchOptions_; }
    void setLaunchOptions(Value v) { launchOptions_ = std::move(v); }
    const Value& paramsDic() const { return paramsDic_; }
    void setParamsDic(Value v) { paramsDic_ = std::move(v); }
    const std::string& stopCreateTime() const { return stopCreateTime_; }
    void setStopCreateTime(std::string v) { stopCreateTime_ = std::move(v); }

    // The gate asked whether there is a network (the shared one unless set).
    void setNetworkGate(RMNetWorkUtil* gate) { gate_ = gate; }

    // ---- Behaviour
    void addPlatformNotifications();
    // Runs once, when the facade has been started and the gate has seen a
    // network, whichever comes last.
    void beginRelaySDKInit();
    void channelPlatformInitResult(const NSNotification& notification);
    // The channel's login: verified with the aggregator's server, then told
    // to the game as kRlpcRPLoginNotification.
    void channelPlatformLoginResult(const NSNotification& notification);
    void channelPlatformLogoutResult(const NSNotification& notification);
    void channelPlatformRealAuthResult(const NSNotification& notification);
    void channelPlatformLeavedResult(const NSNotification& notification);
    void channelPlatformPauseOverResult(const NSNotification& notification);
    // The channel's payment result, as kRlpcRPNotiRecharge.
    void channelPlatformPayResult(const NSNotification& notification);
    // The token made on the device when the server cannot verify a login and
    // the channel configuration holds a check key: product code, channel
    // code, device id, user id, md5(user id + check key), nick and session
    // id, joined by "|||".
    std::string localUserToken(const std::string& checkKey);
    // The channel's real-name facts as the game reads them: "age",
    // "realName", "other", and "realResumeGame" as "resumeGame" (absent
    // ones left out).
    static Value realNameFacts(const Value& channelInfo);

    // The role the game last entered (none at start).
    std::shared_ptr<RUVURazuzEVEGameRoleInfo> lastEnteredRole() const { return lastEnteredRole_; }
    void setLastEnteredRole(std::shared_ptr<RUVURazuzEVEGameRoleInfo> r) { lastEnteredRole_ = std::move(r); }
    // Channel result codes to game codes: 0→0, -3→-2, -4→-10, -20→-20,
    // -21→-301, -22→-302, anything else -1.
    static int errorCode(int channelCode);
    // The channel's code in a notification's user info; a missing or
    // malformed "error" is a failure (-1), never a success.
    static int channelResultCode(const Value& userInfo);
    // The channel's pay parameters, "" when it offers none.
    std::string getPaayParams();
    // The window the SDK presents its alerts on: the key window, else the
    // application delegate's window, else the last visible window of the
    // normal level; nullptr without one.
    static std::shared_ptr<UIWindow> baseGetCurrentShowWindow();
    // An alert "提示"-style: a title, a message and one "确定" button that
    // only closes it, presented by the alert window's root controller. Where
    // that controller cannot present it (no window, a hidden one, or the root
    // already presents something), AlertTool places it over what is shown or
    // in a window of its own, so the refusal is always seen.
    static void presentAlert(const std::string& title, const std::string& message);

    // The channel notifications this controller handles, with their
    // handlers; addPlatformNotifications subscribes to each. The login,
    // logout, real-name, leave, pause and recharge flows add theirs here.
    using Handler = void (SDKCooperater::*)(const NSNotification&);
    struct ChannelHandler {
        const char* name;
        Handler handler;
    };
    static std::vector<ChannelHandler> channelHandlers();

private:
    void initReply(const std::optional<Value>& reply);
    void loginVerified(const std::optional<Value>& reply, Value result, const Value& channelInfo);
    RMNetWorkUtil& gate();

    bool isCheckLogining_ = false, isLogout_ = false, relayOnlyFlag_ = false, isCallLogin_ = false,
         isInitSuccess_ = false, hasCallInit_ = false, stopCreateRole_ = false, isloginDisabled_ = false,
         initing_ = false, hasAddNotify_ = false;
    std::shared_ptr<RUVURazuzEVEInitConfigure> platformCfg_;
    Value channelCfg_;
    std::string lastUserToken_, relayOnlyName_;
    Value launchOptions_, paramsDic_;
    std::string stopCreateTime_;
    RMNetWorkUtil* gate_ = nullptr;
    std::shared_ptr<RUVURazuzEVEGameRoleInfo> lastEnteredRole_;
};
