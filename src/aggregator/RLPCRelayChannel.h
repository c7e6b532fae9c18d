#pragma once
// The channel adapter: the one channel the aggregator core talks to. It
// names the channel, reads the channel configuration, and turns the core's
// init, login, logout, pay, role, real-name and open-URL calls into calls of
// the user-centre SDK (ZorviaServices). Results go back to the core only as
// "kRlpcRC..." notifications, posted on the main thread. Main thread only.
//
// Operations that a channel may or may not offer are members holding a
// function, empty when the channel does not offer it; the core tests them
// before calling and falls back otherwise. This channel offers exactly the
// ones set by its constructor. Tests put in channels with other sets.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "aggregator/RLPCRelayChannelRecords.h"
#include "aggregator/RUVURazuzEVERecords.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class UIApplication;
class UIWindow;

class RLPCRelayChannel {
public:
    static RLPCRelayChannel& defaultChannel();
    static void replaceDefaultForTesting(std::shared_ptr<RLPCRelayChannel> channel);

    RLPCRelayChannel();
    virtual ~RLPCRelayChannel() = default;
    RLPCRelayChannel(const RLPCRelayChannel&) = delete;
    RLPCRelayChannel& operator=(const RLPCRelayChannel&) = delete;

    // ---- Fixed facts
    virtual std::string channelName() const { return "Varnu_iOS"; }
    virtual std::string channelVersion() const { return "3.4"; }
    std::string frameworkVersion() const { return "v1"; }
    std::string appId() const { return ""; }
    std::string appKey() const { return ""; }
    std::string appName() const { return ""; }
    int loginCheckLevel() const { return 1; }

    // ---- Configuration
    // "channel_type" of the configuration handed over at init, else of the
    // configuration file; "977" without a file. A file without
    // "channel_type" gives "" (not "977").
    virtual std::string channelCode();
    // The configuration file's dictionary (empty when absent or unreadable).
    // Read once, and again only when the file changes: channelCode() asks
    // for it on every request when the configuration handed over at init
    // lacks "channel_type".
    Value findConfigDict();
    static std::optional<Data> DES128DecryptData(const Data& bytes, const std::string& key);

    // ---- Calls of the core
    // Stores the configuration, launches the user-centre SDK and reports
    // init success at once. Returns false, as initWithDictionary does.
    virtual bool initWithDictionary(const Value& config, UIApplication& app, const Value& launchOptions);
    bool initWithDictionary(const Value& config) { return false; }
    virtual int login();
    virtual int logout();
    void isLogined(const std::function<void(bool)>& block);
    virtual std::string userId();
    virtual std::string userNick();
    virtual std::string sessionId();
    // Store a non-empty text; anything else changes nothing.
    void updateUserId(const Value& v);
    void updateUserNick(const Value& v);
    void updateUserDict(const Value& dict);
    virtual void buyOrderId(const std::string& orderId, const std::shared_ptr<RLPCRelayProductInfo>& product,
                            const std::shared_ptr<RLPCRelayRoleInfo>& role);
    // A short message for the player, as the channel's SDK shows its own.
    virtual void showMessage(const std::string& message);
    // "a=1&b=2" → {"a": "1", "b": "2"}; a piece without "=" maps to itself.
    static Value praramsDicFromAtEqualStr(const std::string& text);

    // ---- Operations a channel may offer (empty: not offered)
    std::function<std::string()> getPaayParams;
    std::function<Value()> realNameInfo;
    std::function<bool()> realAuth;
    std::function<long()> userType;
    std::function<Value()> userExtInfo;
    std::function<void(const Value&)> updatePayDict;
    std::function<void(const RLPCRelayRoleInfo&, bool isCreate)> updateRoleInfoWith_isCreate;
    std::function<void(const RLPCRelayRoleInfo&)> updateRoleInfoWith;
    std::function<std::string()> cpsChannelId;
    std::function<bool()> pause, enterUserCenter, enterBBS, enterCustomerServiceCenter, hideToolBar;
    std::function<bool(long position)> showToolBar;
    std::function<bool(long type, const Value& parameters)> callSpecifyFunction;
    std::function<bool(const RUVURazuzEVEShareInfo&)> callSDKShare;
    std::function<void(bool)> setAutoRotation;
    std::function<void(const Value&)> Getlocalized;
    std::function<Value(long type, const Value& args)> callFunction_args;

    std::function<bool(const NSURL&, UIApplication&)> openURL_application;
    std::function<bool(const NSURL&, const std::string& sourceApplication, UIApplication&, const Value& annotation)>
        openURL_sourceApplication_application_annotation;
    std::function<bool(const NSURL&, const std::string& sourceApplication)> openURL_sourceApplication;
    std::function<bool(const NSURL&, UIApplication&, const Value& options)> openURL_application_options;
    std::function<bool(UIApplication&, const Data& token)> application_didRegisterForRemoteNotificationsWithDeviceToken;
    std::function<bool(UIApplication&, const Error&)> application_didFailToRegisterForRemoteNotificationsWithError;
    std::function<bool(UIApplication&, const Value& userInfo)> application_didReceiveRemoteNotification;
    std::function<bool(UIApplication&)> applicationWillResignActive, applicationDidEnterBackground,
        applicationWillEnterForeground, applicationDidBecomeActive, applicationWillTerminate;
    std::function<unsigned long(UIApplication&, const std::shared_ptr<UIWindow>&)>
        application_supportedInterfaceOrientationsForWindow;
    std::function<bool(UIApplication&, const Value& activity)> application_continueUserActivity_restorationHandler;

private:
    std::mutex fileMutex_;
    std::string fileStamp_;  // the file (path, size, time) fileConfig_ was read from; guarded by fileMutex_
    Value fileConfig_;       // guarded by fileMutex_

    // What this channel offers.
    Value channelRealNameInfo() const;
    void uploadRole(const RLPCRelayRoleInfo& role);
};
