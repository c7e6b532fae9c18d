#pragma once
// The channel adapter's state: the channel user, the last payment and the
// channel configuration (RLPCRelayChannelCooperater), and the login-screen
// and real-name state of the user-centre login (RelayChannelHelper).
// Main thread only.

#include <memory>
#include <string>

#include "aggregator/RLPCRelayChannelRecords.h"
#include "platform/foundation/Value.h"

class RLPCRelayChannelCooperater {
public:
    static RLPCRelayChannelCooperater& defaultCooperater();
    static void replaceDefaultForTesting(std::shared_ptr<RLPCRelayChannelCooperater> instance);
    RLPCRelayChannelCooperater();

    bool isLogin() const { return isLogin_; }
    void setIsLogin(bool v) { isLogin_ = v; }
    bool isOnLogin() const { return isOnLogin_; }
    void setIsOnLogin(bool v) { isOnLogin_ = v; }
    const Value& channelCfgDic() const { return channelCfgDic_; }
    void setChannelCfgDic(Value v) { channelCfgDic_ = std::move(v); }
    const std::string& orderId() const { return orderId_; }
    void setOrderId(std::string v) { orderId_ = std::move(v); }
    // Nothing sets it in this system: null.
    const Value& userExtInfo() const { return userExtInfo_; }
    void setUserExtInfo(Value v) { userExtInfo_ = std::move(v); }
    std::shared_ptr<RLPCRelayProductInfo> productInfo() const { return productInfo_; }
    void setProductInfo(std::shared_ptr<RLPCRelayProductInfo> v) { productInfo_ = std::move(v); }
    std::shared_ptr<RLPCRelayRoleInfo> roleInfo() const { return roleInfo_; }
    void setRoleInfo(std::shared_ptr<RLPCRelayRoleInfo> v) { roleInfo_ = std::move(v); }
    const std::string& userId() const { return userId_; }
    void setUserId(std::string v) { userId_ = std::move(v); }
    const std::string& userNick() const { return userNick_; }
    void setUserNick(std::string v) { userNick_ = std::move(v); }
    const std::string& sessionId() const { return sessionId_; }
    void setSessionId(std::string v) { sessionId_ = std::move(v); }
    Value& userDict() { return userDict_; }
    Value& payDict() { return payDict_; }

    // A login (state 1) or logout (state 2) payload: updates the user and
    // posts the payload's notification. Any other state is ignored.
    void loginStateChange(const RLPCRelayChanneLoginNotifyInfo& info);
    // Updates the user without posting.
    void updateLoginInfo(const RLPCRelayChanneLoginNotifyInfo& info);

    // Orientation mask from the configuration's "orientationPotrait",
    // "orientationPotraitDown", "orientationHomeLeft" and
    // "orientationHomeRight" ("1" or "0"): all four "0" give all four
    // orientations (30); otherwise the sum of the bits set.
    static unsigned long intValueToInterfaceOrientationMask(const Value& config);
    // Landscape-right (3) for a landscape bit, else portrait (1), else
    // upside-down (2), else landscape-right.
    static long interfaceOrientationMaskToInterfaceOrientation(unsigned long mask);
    static int countOfUIinterfaceOrientationMask(unsigned long mask);

private:
    bool isLogin_ = false, isOnLogin_ = false;
    Value channelCfgDic_;
    std::string orderId_;
    Value userExtInfo_;
    std::shared_ptr<RLPCRelayProductInfo> productInfo_;
    std::shared_ptr<RLPCRelayRoleInfo> roleInfo_;
    std::string userId_, userNick_, sessionId_;
    Value userDict_ = Value::dict(), payDict_ = Value::dict();
};

class RelayChannelHelper {
public:
    static RelayChannelHelper& sharedInstance();
    static void replaceSharedForTesting(std::shared_ptr<RelayChannelHelper> instance);

    // A user-centre login was asked for and has not ended with a success,
    // the code -9 or a logout.
    bool hasShowLogin() const { return hasShowLogin_; }
    void setHasShowLogin(bool v) { hasShowLogin_ = v; }
    // Real-name status of the last login ("0" after a logout).
    const std::string& rzStatus() const { return rzStatus_; }
    void setRzStatus(std::string v) { rzStatus_ = std::move(v); }

private:
    bool hasShowLogin_ = false;
    std::string rzStatus_;
};
