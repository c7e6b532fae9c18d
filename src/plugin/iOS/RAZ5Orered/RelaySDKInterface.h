#pragma once
// The aggregator plug-in's interface object, registered with the bridge as
// "RelaySDK": it starts the aggregator SDK, hands the page's operations to
// the facade (RUVURazuzEVE) and turns the facade's result notifications
// into JSON texts for the event callbacks 1401 (login), 1402 (logout) and
// 1403 (pay). Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "aggregator/RUVURazuzEVERecords.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Value.h"
#include "plugin/iOS/RAZ5Orered/PluginProtocol.h"

class UIApplication;

class RelaySDKInterface : public PluginInterface {
public:
    static constexpr int kLoginEvent = 1401;
    static constexpr int kLogoutEvent = 1402;
    static constexpr int kPayEvent = 1403;

    RelaySDKInterface() = default;
    ~RelaySDKInterface() override;
    std::string className() const override { return "RelaySDKInterface"; }

    // Start-up: listens for the results and for the end of init, then
    // starts the aggregator with the product key and code (a missing one
    // is passed on as empty: the channel file may supply it).
    void InitWithApplication(UIApplication& app, const Value& options, const std::optional<std::string>& productKey,
                             const std::optional<std::string>& productCode);

    void InitSDK() override;     // once: the login, logout and pay observers
    void ReleaseSDK() override;  // stops every observer and clears the callbacks
    // The callback slots are shared by all instances (one per event code).
    int RegCB(int eventCode, PluginEventCallback callback) override;
    int UnregCB(int eventCode) override;

    // -1 until the aggregator reports the end of init, then 0 (whatever its
    // result); 1 when the facade refused to start.
    virtual int GetInitResult() { return initResult_; }
    virtual void ReInit();
    virtual void Login();
    virtual void Logout();
    // The page's JSON texts; a missing text, one that does not parse or is
    // not an object is dropped.
    virtual void SetGameRoleInfo(const std::optional<std::string>& json);
    virtual void Pay(const std::optional<std::string>& json);
    virtual int GetChannelType();

    // The facade's notifications.
    void HandleInit(const NSNotification& notification);
    void HandleLogin(const NSNotification& notification);
    void HandleLogout(const NSNotification& notification);
    void HandlePay(const NSNotification& notification);
    // Calls the slot of 1401, 1402 or 1403 with the text (null without one).
    void OnLogin(const std::optional<std::string>& json);
    void OnLogout(const std::optional<std::string>& json);
    void OnPay(const std::optional<std::string>& json);

    // The records the facade takes, from the page's keys.
    static std::shared_ptr<RUVURazuzEVEGameRoleInfo> roleInfoFromPage(const Value& role);
    static std::shared_ptr<RUVURazuzEVEPayOrderInfo> orderInfoFromPage(const Value& order);

private:
    void observe(const char* name, void (RelaySDKInterface::*handler)(const NSNotification&));

    bool hasInitSDK_ = false;
    int initResult_ = -1;
    UIApplication* application_ = nullptr;
    Value options_;
    std::shared_ptr<RUVURazuzEVEInitConfigure> cfg_;
};
