#include "aggregator/RLPCRelayChannelRecords.h"

#include "aggregator/RelayNotifications.h"

std::string RLPCRelaychannelInitNotifyInfo::getNotifyName() const { return kRlpcRCInitDidFinishedNotification; }

Value RLPCRelaychannelInitNotifyInfo::getNotifyDic() const {
    if (state == 1) return Value::dict({{"error", 0}, {"msg", "channel init success"}});
    return Value::dict({{"error", -1}, {"msg", "channel init fail"}});
}

std::string RLPCRelayChanneLoginNotifyInfo::getNotifyName() const {
    return state == 1 ? kRlpcRCLoginNotification : kRlpcRCLogoutNotification;
}

Value RLPCRelayChanneLoginNotifyInfo::getNotifyDic() const {
    if (state != 1) return Value::dict({{"error", 0}, {"msg", "logout"}});
    Value d = Value::dict({{"error", 0}, {"msg", "login success"}});
    if (!uid.empty()) d.set("userId", uid);
    if (!sessionId.empty()) d.set("sessionId", sessionId);
    return d;
}

std::string RLPCRelayChannelRechargeNotiInfo::getNotifyName() const { return kRlpcRCRechargeResultNotification; }

Value RLPCRelayChannelRechargeNotiInfo::getNotifyDic() const {
    long error = state == 1 ? 0 : state == 2 ? -32 : -31;
    return Value::dict({{"msg", message},
                        {"orderId", relaySDKOrderID},
                        {"cpOrderId", cpOrderID},
                        {"sdkOrderId", channelSDKOrderID},
                        {"error", error}});
}
