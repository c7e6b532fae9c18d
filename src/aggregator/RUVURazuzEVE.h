#pragma once
// The aggregator SDK's facade, through which the game starts the SDK, logs
// in and reaches the channel. All state lives in the lifecycle controller
// (SDKCooperater). Main thread only.
//
// The forwarding operations answer by one rule: -100 when the channel
// adapter does not offer the operation, else -1 when it answered true and
// 0 when it answered false.

#include <memory>
#include <optional>
#include <string>

#include "aggregator/RLPCRelayChannelRecords.h"
#include "aggregator/RUVURazuzEVERecords.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class UIApplication;
class UIWindow;

inline constexpr const char* kRelaySDKVersion = "2.5.4";

class RUVURazuzEVE {
public:
    static RUVURazuzEVE& defaultInstance();

    // ---- Start
    // The one-time start: reads the channel file (which may replace the
    // product code and key), stores the configuration and starts the init
    // sequence, which waits for the network. Later calls change nothing.
    // Always 0. A null configuration stands for an empty one.
    int initWithConfig(std::shared_ptr<RUVURazuzEVEInitConfigure> config, UIApplication& app,
                       const Value& launchOptions);
    static std::optional<Data> DES128DecryptData(const Data& bytes, const std::string& key);
    std::string SDKVersion() const { return kRelaySDKVersion; }

    // ---- Login and the channel user
    // -5 when the server disabled logins (with the "渠道禁止登录" alert), -4
    // while a login is being verified, else 0; before init has succeeded
    // the login is kept and runs when it does.
    int login();
    // -4 while a login is being verified (the channel is not asked), else
    // the game code of the channel's answer.
    int logout();
    std::string userId();
    // The nick, or the user id when the nick is empty.
    std::string userNick();
    std::string userToken();
    // {"realName", "age", "resumeGame", "other"} from the channel, or
    // {"realName": false, "age": -1, "resumeGame": true, "other": ""}.
    Value realNameInfo();
    int realAuth();
    long userType();
    long getChannelUserLoginType();
    Value getChannelUserExtInfo();

    // ---- Pay and roles
    // Places an order with the aggregator's server and, once it is placed,
    // opens the channel's payment; the result arrives as kRlpcRPNotiRecharge
    // (also when the order is refused or unanswered). Always 0. Without an
    // order nothing is sent and the game gets the failure at once; without
    // a role an empty one is sent.
    int payOrderInfo(std::shared_ptr<RUVURazuzEVEPayOrderInfo> order, std::shared_ptr<RUVURazuzEVEGameRoleInfo> role);
    // A role created, entered or updated: the new-role cut-off, the
    // plug-ins, the report gateway and the channel.
    void updateRoleInfoWith(const std::shared_ptr<RUVURazuzEVEGameRoleInfo>& role, bool isCreate);
    // The older role flow: no create or enter hooks, no last-role tracking.
    void updateRoleInfoWith(const std::shared_ptr<RUVURazuzEVEGameRoleInfo>& role);
    void createRole(const std::shared_ptr<RUVURazuzEVEGameRoleInfo>& role) { updateRoleInfoWith(role); }
    void enterGame(const std::shared_ptr<RUVURazuzEVEGameRoleInfo>& role) { updateRoleInfoWith(role); }
    void updateRole(const std::shared_ptr<RUVURazuzEVEGameRoleInfo>& role) { updateRoleInfoWith(role); }
    // The channel's records of an order and a role.
    static std::shared_ptr<RLPCRelayProductInfo> getProductInfoWithInfo(const RUVURazuzEVEPayOrderInfo& order);
    static std::shared_ptr<RLPCRelayRoleInfo> getChannelRoleInfoWith(const RUVURazuzEVEGameRoleInfo& role);
    // The minors' payment limit before a channel payment (no caller in this
    // system): pays at once unless the anti-addiction configuration asks
    // for the check, then asks the gateway what was paid already.
    void payAntiIndulge(const std::string& orderId, const std::shared_ptr<RLPCRelayProductInfo>& product,
                        const std::shared_ptr<RLPCRelayRoleInfo>& role, const RUVURazuzEVEPayOrderInfo& order);
    // Whether the limit refuses an order of `amount` for a player of `age`
    // (-1 unknown) who has paid `paid` in the period.
    static bool payLimitRefuses(long age, double amount, long long paid);

    // ---- Application callbacks, forwarded to the channel
    int openURL_application(const NSURL& url, UIApplication& app);
    int openURL_sourceApplication_application_annotation(const NSURL& url, const std::string& sourceApplication,
                                                         UIApplication& app, const Value& annotation);
    int openURL_application_options(const NSURL& url, UIApplication& app, const Value& options);
    // Keeps the push token (Base64) for the device facts and tells the plug-ins first.
    int application_didRegisterForRemoteNotificationsWithDeviceToken(UIApplication& app, const Data& token);
    int application_didFailToRegisterForRemoteNotificationsWithError(UIApplication& app, const Error& error);
    int application_didReceiveRemoteNotification(UIApplication& app, const Value& userInfo);
    int applicationWillResignActive(UIApplication& app);
    int applicationDidEnterBackground(UIApplication& app);
    int applicationWillEnterForeground(UIApplication& app);
    int applicationDidBecomeActive(UIApplication& app);
    int applicationWillTerminate(UIApplication& app);
    // The channel's orientation mask unchanged; -100 when it offers none.
    long application_supportedInterfaceOrientationsForWindow(UIApplication& app,
                                                             const std::shared_ptr<UIWindow>& window);
    // Always 1.
    int application_continueUserActivity_restorationHandler(UIApplication& app, const Value& activity);

    // ---- Channel facts
    std::string channelName();
    std::string channelVersion();
    // The channel code as an integer (9999 marks a test build).
    long channelType();
    std::string cpsChannelId();  // "UNKNOWN" when the channel has none
    std::string getDeviceID();
    void resetDeviceID();

    // ---- Channel screens and calls
    int enterUserCenter();
    int callChannelSpecifyFunction(long type, const Value& parameters);
    int showToolBar(long position);
    int hideToolBar();
    int callSDKShare(const RUVURazuzEVEShareInfo& info);  // 0
    int enterYunKeFuCenter(const Value& object);          // 0
    // A named plug-in call with [channel configuration, the values...]; 0.
    int callPlug(const std::string& name, const Value& params);
    void setAutoRotation(bool on);
    void setChannelOrientation(long orientation) {}
    void Getlocalized(const Value& object);
    // The channel's answer; null when it offers no such call.
    Value callFunction(long type, const Value& args);

    // A value of the channel configuration; before the start it reads the
    // channel file and keeps what it read.
    Value getConfigValue(const std::string& key);
    bool isFunctionSupported(const std::string& selector);
    bool isFunctionTypeSupported(long type);
};
