#include "plugin/iOS/RAZ5Orered/RelaySDKInterface.h"

#include <array>

#include "aggregator/RUVURazuzEVE.h"
#include "aggregator/RelayNotifications.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/ui/UIApplication.h"
#include "plugin/iOS/RAZ5Orered/PageArgument.h"

namespace {

// The event callbacks, process-wide, in the order 1401, 1402, 1403.
std::array<PluginEventCallback, 3>& slots() {
    static auto* s = new std::array<PluginEventCallback, 3>();
    return *s;
}

PluginEventCallback* slotFor(int eventCode) {
    if (eventCode < RelaySDKInterface::kLoginEvent || eventCode > RelaySDKInterface::kPayEvent) return nullptr;
    return &slots()[size_t(eventCode - RelaySDKInterface::kLoginEvent)];
}

void call(int eventCode, const std::optional<std::string>& json) {
    auto* slot = slotFor(eventCode);
    if (!slot || !*slot) return;
    auto callback = *slot;  // the callback may unregister itself
    callback(json ? json->c_str() : nullptr);
}

// The page's JSON text as an object; nullopt otherwise (logged when there was a text).
std::optional<Value> pageObject(const std::optional<std::string>& json, const char* operation) {
    auto value = PageArgument::jsonObject(json);
    if (!value && json) NSLog("RelaySDKInterface: %s ignored: its argument is not a JSON object", operation);
    return value;
}

// A pass-through text: texts and numbers as they are, containers as JSON.
std::string passThrough(const Value& v) {
    return v.isArray() || v.isDict() ? v.toJSON() : v.textValue();
}

}  // namespace

RelaySDKInterface::~RelaySDKInterface() { NSNotificationCenter::defaultCenter().removeObserver(this); }

void RelaySDKInterface::observe(const char* name, void (RelaySDKInterface::*handler)(const NSNotification&)) {
    // Removed in ReleaseSDK and the destructor, so `this` outlives every call.
    NSNotificationCenter::defaultCenter().addObserver(this, name, nullptr,
                                                      [this, handler](const NSNotification& n) { (this->*handler)(n); });
}

void RelaySDKInterface::InitWithApplication(UIApplication& app, const Value& options,
                                            const std::optional<std::string>& productKey,
                                            const std::optional<std::string>& productCode) {
    InitSDK();
    application_ = &app;
    options_ = options;
    observe(kRlpcRPInitDidFinishedNotification, &RelaySDKInterface::HandleInit);
    cfg_ = std::make_shared<RUVURazuzEVEInitConfigure>();
    cfg_->setProductKey(productKey.value_or(""));
    cfg_->setProductCode(productCode.value_or(""));
    if (RUVURazuzEVE::defaultInstance().initWithConfig(cfg_, app, options_) != 0) initResult_ = 1;
}

void RelaySDKInterface::InitSDK() {
    if (hasInitSDK_) return;
    hasInitSDK_ = true;
    observe(kRlpcRPLoginNotification, &RelaySDKInterface::HandleLogin);
    observe(kRlpcRPLogoutNotification, &RelaySDKInterface::HandleLogout);
    observe(kRlpcRPNotiRecharge, &RelaySDKInterface::HandlePay);
}

void RelaySDKInterface::ReleaseSDK() {
    hasInitSDK_ = false;
    for (auto& slot : slots()) slot = nullptr;
    NSNotificationCenter::defaultCenter().removeObserver(this);
}

int RelaySDKInterface::RegCB(int eventCode, PluginEventCallback callback) {
    auto* slot = slotFor(eventCode);
    if (!slot) return 0;
    *slot = std::move(callback);
    return 1;
}

int RelaySDKInterface::UnregCB(int eventCode) {
    auto* slot = slotFor(eventCode);
    if (!slot) return 0;
    *slot = nullptr;
    return 1;
}

void RelaySDKInterface::ReInit() {
    UIApplication& app = application_ ? *application_ : UIApplication::sharedApplication();
    if (RUVURazuzEVE::defaultInstance().initWithConfig(cfg_, app, options_) != 0) initResult_ = 1;
}

void RelaySDKInterface::Login() { RUVURazuzEVE::defaultInstance().login(); }

void RelaySDKInterface::Logout() { RUVURazuzEVE::defaultInstance().logout(); }

int RelaySDKInterface::GetChannelType() { return int(RUVURazuzEVE::defaultInstance().channelType()); }

std::shared_ptr<RUVURazuzEVEGameRoleInfo> RelaySDKInterface::roleInfoFromPage(const Value& page) {
    auto role = std::make_shared<RUVURazuzEVEGameRoleInfo>();
    using Setter = void (RUVURazuzEVEGameRoleInfo::*)(const Value&);
    static const std::pair<const char*, Setter> keys[] = {
        {"serverID", &RUVURazuzEVEGameRoleInfo::setServerId},
        {"serverName", &RUVURazuzEVEGameRoleInfo::setServerName},
        {"gameRoleName", &RUVURazuzEVEGameRoleInfo::setGameRoleName},
        {"gameRoleID", &RUVURazuzEVEGameRoleInfo::setGameRoleID},
        {"gameBalance", &RUVURazuzEVEGameRoleInfo::setGameUserBalance},
        {"vipLevel", &RUVURazuzEVEGameRoleInfo::setVipLevel},
        {"gameRoleLevel", &RUVURazuzEVEGameRoleInfo::setGameUserLevel},
        {"partyName", &RUVURazuzEVEGameRoleInfo::setPartyName},
    };
    // A missing key leaves the field unset (and its default).
    for (auto& [key, setter] : keys)
        if (page.has(key)) (role.get()->*setter)(page[key]);
    return role;
}

std::shared_ptr<RUVURazuzEVEPayOrderInfo> RelaySDKInterface::orderInfoFromPage(const Value& page) {
    auto order = RUVURazuzEVEPayOrderInfo::info();
    if (page.has("goodsID")) order->setGoodsID(page["goodsID"]);
    if (page.has("goodsName")) order->setProductName(page["goodsName"]);
    if (page.has("cpOrderID")) order->setCpOrderID(page["cpOrderID"]);
    if (page.has("count") && !order->setCount(page["count"]))
        NSLog("RelaySDKInterface: the order's count %s is no whole number; 0 is used", page["count"].toJSON().c_str());
    order->setAmount(page["amount"].doubleValue());
    if (page.has("extrasParams")) order->setExtrasParams(passThrough(page["extrasParams"]));
    if (page.has("callbackUrl")) order->setCallbackUrl(passThrough(page["callbackUrl"]));
    return order;
}

void RelaySDKInterface::SetGameRoleInfo(const std::optional<std::string>& json) {
    auto page = pageObject(json, "SetGameRoleInfo");
    if (!page) return;
    RUVURazuzEVE::defaultInstance().updateRoleInfoWith(roleInfoFromPage(*page), (*page)["isCreate"].boolValue());
}

void RelaySDKInterface::Pay(const std::optional<std::string>& json) {
    auto page = pageObject(json, "Pay");
    if (!page) return;
    const Value& order = (*page)["orderInfo"];
    const Value& role = (*page)["roleInfo"];
    RUVURazuzEVE::defaultInstance().payOrderInfo(order.isDict() ? orderInfoFromPage(order) : nullptr,
                                                 role.isDict() ? roleInfoFromPage(role) : nullptr);
}

void RelaySDKInterface::HandleInit(const NSNotification&) { initResult_ = 0; }

void RelaySDKInterface::HandleLogin(const NSNotification& n) {
    if (n.userInfo["error"].intValue() != 0) return OnLogin(Value::dict({{"result", 1}}).toJSON());
    auto& facade = RUVURazuzEVE::defaultInstance();
    Value result = Value::dict({{"result", 0}, {"userId", facade.userId()}, {"userNick", facade.userNick()}});
    // The token of this login (a server token or one made on the device),
    // never one kept from an earlier login.
    if (n.userInfo.has("user_token")) result.set("userToken", n.userInfo["user_token"].textValue());
    OnLogin(result.toJSON());
}

void RelaySDKInterface::HandleLogout(const NSNotification& n) {
    OnLogout(Value::dict({{"result", n.userInfo["error"].intValue() != 0 ? 1 : 0}}).toJSON());
}

void RelaySDKInterface::HandlePay(const NSNotification& n) {
    if (!*slotFor(kPayEvent)) return;
    if (n.userInfo["error"].intValue() != 0) return OnPay(Value::dict({{"result", 1}}).toJSON());
    Value result = Value::dict({{"result", 0}});
    for (auto key : {"orderId", "cpOrderId"})
        if (n.userInfo.has(key)) result.set(key, n.userInfo[key]);
    OnPay(result.toJSON());
}

void RelaySDKInterface::OnLogin(const std::optional<std::string>& json) { call(kLoginEvent, json); }
void RelaySDKInterface::OnLogout(const std::optional<std::string>& json) { call(kLogoutEvent, json); }
void RelaySDKInterface::OnPay(const std::optional<std::string>& json) { call(kPayEvent, json); }
