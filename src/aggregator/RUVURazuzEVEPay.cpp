// Pay and role reports: the order with the aggregator's server before every
// channel payment, the payment result, and the role flow with the new-role
// cut-off.
#include "aggregator/NetworkManager.h"
#include "aggregator/PlugManager.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/RelayNotifications.h"
#include "aggregator/RelayReply.h"
#include "aggregator/SDKCooperater.h"
#include "logging/VLLog.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/Redact.h"

namespace {

void postRecharge(const Value& userInfo) {
    NSNotificationCenter::defaultCenter().postNotificationName(kRlpcRPNotiRecharge, nullptr, userInfo);
}

template <class Record>
std::string describe(const std::shared_ptr<Record>& record) {
    return record ? record->description() : "(none)";
}

// The cut-off in force since the last verified login goes to the plug-ins
// with the role's creation time on every role call.
void applyNewRoleCutOff(const RUVURazuzEVEGameRoleInfo& role) {
    auto& co = SDKCooperater::shareCooperater();
    if (!co.stopCreateRole()) return;
    std::string created = role.creatTime();
    if (created.empty()) created = "0";
    PlugManager::sharedInstance().comfirmAbleCreatRoleWithResult(
        co.channelCfg(), Value::dict({{"data", Value::dict({{"created_at", co.stopCreateTime()}})}}), created);
}

// The role report to the gateway; its answer is not needed.
void reportRole(RUVURazuzEVE& facade, const RUVURazuzEVEGameRoleInfo& role) {
    NetworkManager::sharedInstance().updateRoleWithUid(facade.userId(), facade.userNick(), role, nullptr);
}

}  // namespace

// ---- Pay

int RUVURazuzEVE::payOrderInfo(std::shared_ptr<RUVURazuzEVEPayOrderInfo> order,
                               std::shared_ptr<RUVURazuzEVEGameRoleInfo> role) {
    NSLog("RLLog:开始充值");
    NSLog("原始orderInfo%s\nroleInfo:%s", describe(order).c_str(), describe(role).c_str());
    if (!order) {
        // Nothing to order: the game hears of it instead of waiting.
        postRecharge(Value::dict({{"error", -400}, {"msg", "Pay params error"}}));
        return 0;
    }
    if (!role) role = std::make_shared<RUVURazuzEVEGameRoleInfo>();
    if (order->price() == 0) {
        if (order->count() == 0) order->setCount(uint64_t(1));
        order->setPrice(order->amount() / double(order->count()));
    }
    if (order->productDesc().empty())
        order->setProductDesc(order->count() == 1 ? order->productName()
                                                  : strings::format("%llu%s", (unsigned long long)order->count(),
                                                                    order->productName().c_str()));

    auto& co = SDKCooperater::shareCooperater();
    PlugManager::sharedInstance().willRecharge(co.channelCfg(), *order, *role);
    auto product = getProductInfoWithInfo(*order);
    auto channelRole = getChannelRoleInfoWith(*role);
    NetworkManager::sharedInstance().orderInterface(
        *order, *role, [order, role, product, channelRole](std::optional<Value> reply) {
            NSLog("payOrderInfo 订单接口返回数据:%s", redact::json(reply).c_str());
            const Value& cfg = SDKCooperater::shareCooperater().channelCfg();
            auto& plugs = PlugManager::sharedInstance();
            plugs.relayGetOrderResult(cfg, reply ? *reply : Value::dict());
            Value data = RelayReply::data(reply);
            std::string orderId = data["order_id"].textValue();
            // A "true" reply without an order id placed no order.
            if (RelayReply::succeeded(reply) && !orderId.empty()) {
                auto& channel = RLPCRelayChannel::defaultChannel();
                if (channel.updatePayDict) channel.updatePayDict(data);
                plugs.willRechargeOrdered(cfg, *order, *role, orderId);
                channel.buyOrderId(orderId, product, channelRole);
                return;
            }
            // The player sees why nothing opens; the game hears nothing of an
            // order that was never placed.
            std::string message = RelayReply::errorMessage(reply);
            if (message.empty()) message = "网络故障";
            VLLogError("RLLog:下单失败，%s", message.c_str());
            RLPCRelayChannel::defaultChannel().showMessage("下单失败，" + message);
        });
    return 0;
}

void SDKCooperater::channelPlatformPayResult(const NSNotification& notification) {
    const Value& info = notification.userInfo;
    int code = channelResultCode(info);
    Value result = Value::dict();
    switch (code) {
    case 0: result = Value::dict({{"error", 0}, {"msg", "Pay success"}}); break;
    case -30: result = Value::dict({{"error", -400}, {"msg", "Pay params error"}}); break;
    case -32: result = Value::dict({{"error", -401}, {"msg", "Pay cancel"}}); break;
    default: result = Value::dict({{"error", -400}, {"msg", "Pay failed"}}); break;
    }
    for (auto key : {"orderId", "cpOrderId", "sdkOrderId", "extraParams"})
        if (info.has(key)) result.set(key, info[key]);
    if (code == 0) PlugManager::sharedInstance().rechargeOver(channelCfg_, info);
    postRecharge(result);
}

std::shared_ptr<RLPCRelayProductInfo> RUVURazuzEVE::getProductInfoWithInfo(const RUVURazuzEVEPayOrderInfo& order) {
    auto p = std::make_shared<RLPCRelayProductInfo>();
    p->goodsID = order.goodsID();
    p->productDesc = order.productDesc();
    p->count = order.count();
    p->amount = float(order.amount());
    p->callbackUrl = order.callbackUrl();
    p->extrasParams = order.extrasParams();
    p->productOrderID = order.cpOrderID();
    p->productName = order.productName();
    p->quantifier = order.quantifier();
    p->price = float(order.price());
    return p;
}

std::shared_ptr<RLPCRelayRoleInfo> RUVURazuzEVE::getChannelRoleInfoWith(const RUVURazuzEVEGameRoleInfo& role) {
    auto r = std::make_shared<RLPCRelayRoleInfo>();
    r->setServerId(role.serverId());
    r->setServerName(role.serverName());
    r->setVipLevel(role.vipLevel());
    r->setGameUserLevel(role.gameUserLevel());
    r->setPartyName(role.partyName());
    r->setGameRoleName(role.gameRoleName());
    r->setGameRoleID(role.gameRoleID());
    r->setGameUserBalance(role.gameUserBalance());
    r->setFightPower(role.fightPower());
    r->setRoleCreatTime(role.creatTime());
    r->setProfession(role.profession());
    return r;
}

// ---- Roles

void RUVURazuzEVE::updateRoleInfoWith(const std::shared_ptr<RUVURazuzEVEGameRoleInfo>& role, bool isCreate) {
    NSLog("RLLog:call updateRoleInfoWith:isCreate: %s", describe(role).c_str());
    if (!role) return;
    auto& co = SDKCooperater::shareCooperater();
    auto& plugs = PlugManager::sharedInstance();
    applyNewRoleCutOff(*role);
    if (isCreate) plugs.createRoleInfo(co.channelCfg(), *role);
    auto last = co.lastEnteredRole();
    if (!last || last->gameRoleID() != role->gameRoleID()) {
        co.setLastEnteredRole(role);
        plugs.enterGameRoleInfo(co.channelCfg(), *role);
    }
    plugs.updateRoleInfo(co.channelCfg(), *role);
    reportRole(*this, *role);
    auto record = getChannelRoleInfoWith(*role);
    auto& channel = RLPCRelayChannel::defaultChannel();
    if (channel.updateRoleInfoWith_isCreate) channel.updateRoleInfoWith_isCreate(*record, isCreate);
    else if (channel.updateRoleInfoWith) channel.updateRoleInfoWith(*record);
}

void RUVURazuzEVE::updateRoleInfoWith(const std::shared_ptr<RUVURazuzEVEGameRoleInfo>& role) {
    NSLog("RLLog:call updateroleInfoWith: %s", describe(role).c_str());
    if (!role) return;
    applyNewRoleCutOff(*role);
    reportRole(*this, *role);
    auto& channel = RLPCRelayChannel::defaultChannel();
    if (channel.updateRoleInfoWith) channel.updateRoleInfoWith(*getChannelRoleInfoWith(*role));
    PlugManager::sharedInstance().updateRoleInfo(SDKCooperater::shareCooperater().channelCfg(), *role);
}

// ---- Minors' payment limit

bool RUVURazuzEVE::payLimitRefuses(long age, double amount, long long paid) {
    if (age == -1 || age >= 18) return false;
    if (age >= 8 && age <= 15) return amount > 50.0 || paid > 200;
    if (age >= 16) return amount > 100.0 || paid >= 401;
    return true;  // 0 to 7, or below -1
}

void RUVURazuzEVE::payAntiIndulge(const std::string& orderId, const std::shared_ptr<RLPCRelayProductInfo>& product,
                                  const std::shared_ptr<RLPCRelayRoleInfo>& role, const RUVURazuzEVEPayOrderInfo& order) {
    Value config = NSUserDefaults::standardUserDefaults().objectForKey(kAntiIndulgeDefaultsKey);
    NSLog("防沉迷信息：%s", config.toJSON().c_str());
    auto pay = [orderId, product, role] { RLPCRelayChannel::defaultChannel().buyOrderId(orderId, product, role); };
    if (config["realname"]["checkPayTime"].textValue() != "1") return pay();
    long age = long(realNameInfo()["age"].intValue());
    double amount = order.amount();
    NetworkManager::sharedInstance().getPayData([pay, age, amount](std::optional<Value> reply) {
        long long paid = Value(RelayReply::data(reply)["amount"].textValue()).intValue();
        if (!payLimitRefuses(age, amount, paid)) {
            NSLog("RLLog:main has call channel pay");
            return pay();
        }
        const Value& cfg = SDKCooperater::shareCooperater().channelCfg();
        if (cfg["relayplugin_antiIndulge_iOS_default"].stringOr().empty()) return pay();
        NSLog("RLLog:channel pay not can be call because real name");
        PlugManager::sharedInstance().showPayAntiIndulge(cfg);
    });
}
