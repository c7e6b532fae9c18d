#pragma once
// What the channel adapter takes from the aggregator core (the role and the
// product of a payment) and the payloads it reports back with: each payload
// names its notification and builds its user info.

#include <cstdint>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

// The role as the channel sees it. Every setter stores the value's text
// ("" for nothing or JSON null), so a number becomes its decimal text.
class RLPCRelayRoleInfo : public NSObject {
public:
#define RLPC_ROLE_FIELD(getter, setter)                               \
    const std::string& getter() const { return getter##_; }          \
    void setter(const Value& v) { getter##_ = v.textValue(); }
    RLPC_ROLE_FIELD(serverId, setServerId)
    RLPC_ROLE_FIELD(serverName, setServerName)
    RLPC_ROLE_FIELD(gameRoleName, setGameRoleName)
    RLPC_ROLE_FIELD(gameRoleID, setGameRoleID)
    RLPC_ROLE_FIELD(gameUserBalance, setGameUserBalance)
    RLPC_ROLE_FIELD(roleCreatTime, setRoleCreatTime)
    RLPC_ROLE_FIELD(vipLevel, setVipLevel)
    RLPC_ROLE_FIELD(gameUserLevel, setGameUserLevel)
    RLPC_ROLE_FIELD(partyName, setPartyName)
    RLPC_ROLE_FIELD(partyId, setPartyId)
    RLPC_ROLE_FIELD(fightPower, setFightPower)
    RLPC_ROLE_FIELD(professionId, setProfessionId)
    RLPC_ROLE_FIELD(profession, setProfession)
    RLPC_ROLE_FIELD(roleGender, setRoleGender)
    RLPC_ROLE_FIELD(partyRoleId, setPartyRoleId)
    RLPC_ROLE_FIELD(partyRoleName, setPartyRoleName)
#undef RLPC_ROLE_FIELD
    std::string className() const override { return "RLPCRelayRoleInfo"; }

private:
    std::string serverId_, serverName_, gameRoleName_, gameRoleID_, gameUserBalance_, roleCreatTime_, vipLevel_,
        gameUserLevel_, partyName_, partyId_, fightPower_, professionId_, profession_, roleGender_, partyRoleId_,
        partyRoleName_;
};

// The product of a payment.
class RLPCRelayProductInfo : public NSObject {
public:
    std::string goodsID;
    std::string productName;
    std::string productOrderID;  // the game's own order id
    uint64_t count = 0;
    float amount = 0;  // the total to pay
    std::string callbackUrl;
    std::string extrasParams;
    float price = 0;
    std::string quantifier;
    std::string productDesc;
    std::string className() const override { return "RLPCRelayProductInfo"; }
};

// Channel init finished: state 1 success.
struct RLPCRelaychannelInitNotifyInfo {
    long state = 1;
    std::string message = "init message";

    static RLPCRelaychannelInitNotifyInfo info() { return {}; }
    static RLPCRelaychannelInitNotifyInfo successInfo() { return {}; }
    std::string getNotifyName() const;
    Value getNotifyDic() const;
};

// Login (state 1) or logout (state 2) of the channel user.
struct RLPCRelayChanneLoginNotifyInfo {
    long state = 1;
    std::string uid, userNick, sessionId, message;

    static RLPCRelayChanneLoginNotifyInfo info() { return {}; }
    static RLPCRelayChanneLoginNotifyInfo zhuxiaoInfo() {
        RLPCRelayChanneLoginNotifyInfo i;
        i.state = 2;
        return i;
    }
    std::string getNotifyName() const;
    Value getNotifyDic() const;
};

// End of a payment: state 1 paid, 2 cancelled, 3 (or anything else) failed.
struct RLPCRelayChannelRechargeNotiInfo {
    long state = 1;
    std::string message = "recharge message";
    std::string relaySDKOrderID, cpOrderID, channelSDKOrderID;

    static RLPCRelayChannelRechargeNotiInfo info() { return {}; }
    std::string getNotifyName() const;
    Value getNotifyDic() const;
};
