#include "aggregator/PlugManager.h"

#include "aggregator/ProcessInstance.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"

void PlugManager::load() { sharedInstance().startManager(); }

PlugManager& PlugManager::sharedInstance() { return *ProcessInstance<PlugManager>::get(); }

void PlugManager::replaceSharedForTesting(std::shared_ptr<PlugManager> instance) {
    ProcessInstance<PlugManager>::replace(std::move(instance));
}

void PlugManager::startManager() {
    pluginsInfo_ = Value::array();
    reported_.clear();
    auto file = NSBundle::mainBundle().pathForResource("relayPlugins", "cfg");
    if (!file) return;
    auto bytes = files::readData(*file);
    auto list = bytes ? Value::fromPlist(*bytes) : std::nullopt;
    if (!list || !list->isArray()) {
        NSLog("RLLog:relayPlugins.cfg is not a list of plug-ins");
        return;
    }
    for (auto& entry : *list->getArray()) {
        if (!entry.isDict()) {
            NSLog("RLLog:relayPlugins.cfg: an entry that is not a dictionary is skipped");
            continue;
        }
        pluginsInfo_.push(entry);
    }
}

PlugManager::Plug PlugManager::resolve(const Value& entry) {
    std::string name = entry.str("managerName");
    if (name.empty()) name = entry["eventManager"].str("manager");
    auto object = name.empty() ? nullptr : ClassRegistry::create(name);
    auto plug = std::dynamic_pointer_cast<RelaySDKPlugNodes>(object);
    if (!plug && reported_.insert(name).second)
        NSLog("RLLog:relayPlugins.cfg: no plug-in class \"%s\"; the entry is skipped", name.c_str());
    return plug;
}

std::vector<PlugManager::Plug> PlugManager::getAllConfigedPlugs() {
    std::vector<Plug> out;
    for (auto& entry : *pluginsInfo_.getArray())
        if (auto plug = resolve(entry)) out.push_back(plug);
    return out;
}

std::vector<PlugManager::Plug> PlugManager::getPlugsOfName(const std::string& name) {
    std::vector<Plug> out;
    for (auto& entry : *pluginsInfo_.getArray())
        if (entry.str("name") == name)
            if (auto plug = resolve(entry)) out.push_back(plug);
    if (!out.empty()) NSLog("%s,%s", name.c_str(), pluginsInfo_.toJSON().c_str());
    return out;
}

int PlugManager::callPlug(const std::string& name, const Value& params) {
    for (auto& plug : getPlugsOfName(name)) plug->callPlugParams(params);
    return 0;
}

void PlugManager::willInit(const Value& cfg, const RUVURazuzEVEInitConfigure& platformCfg, UIApplication& app,
                           const Value& launchOptions) {
    each([&](RelaySDKPlugNodes& p) { p.willInit(cfg, platformCfg, app, launchOptions); });
}
void PlugManager::initDone(const Value& cfg, const Value& userInfo) {
    each([&](RelaySDKPlugNodes& p) { p.initDone(cfg, userInfo); });
}
void PlugManager::willLogin(const Value& cfg) {
    each([&](RelaySDKPlugNodes& p) { p.willLogin(cfg); });
}
void PlugManager::loginDone(const Value& cfg, const Value& userInfo) {
    each([&](RelaySDKPlugNodes& p) { p.loginDone(cfg, userInfo); });
}
void PlugManager::checkLoginResult(const Value& cfg, const Value& reply) {
    each([&](RelaySDKPlugNodes& p) { p.checkLoginResult(cfg, reply); });
}
void PlugManager::willRecharge(const Value& cfg, const RUVURazuzEVEPayOrderInfo& order,
                               const RUVURazuzEVEGameRoleInfo& role) {
    each([&](RelaySDKPlugNodes& p) { p.willRecharge(cfg, order, role); });
}
void PlugManager::relayGetOrderResult(const Value& cfg, const Value& reply) {
    each([&](RelaySDKPlugNodes& p) { p.relayGetOrderResult(cfg, reply); });
}
void PlugManager::willRechargeOrdered(const Value& cfg, const RUVURazuzEVEPayOrderInfo& order,
                                      const RUVURazuzEVEGameRoleInfo& role, const std::string& orderId) {
    each([&](RelaySDKPlugNodes& p) { p.willRechargeOrdered(cfg, order, role, orderId); });
}
void PlugManager::rechargeOver(const Value& cfg, const Value& userInfo) {
    each([&](RelaySDKPlugNodes& p) { p.rechargeOver(cfg, userInfo); });
}
void PlugManager::createRoleInfo(const Value& cfg, const RUVURazuzEVEGameRoleInfo& role) {
    each([&](RelaySDKPlugNodes& p) { p.createRoleInfo(cfg, role); });
}
void PlugManager::enterGameRoleInfo(const Value& cfg, const RUVURazuzEVEGameRoleInfo& role) {
    each([&](RelaySDKPlugNodes& p) { p.enterGameRoleInfo(cfg, role); });
}
void PlugManager::updateRoleInfo(const Value& cfg, const RUVURazuzEVEGameRoleInfo& role) {
    each([&](RelaySDKPlugNodes& p) { p.updateRoleInfo(cfg, role); });
}
void PlugManager::comfirmAbleCreatRoleWithResult(const Value& cfg, const Value& cutOff,
                                                 const std::string& creationTime) {
    each([&](RelaySDKPlugNodes& p) { p.comfirmAbleCreatRoleWithResult(cfg, cutOff, creationTime); });
}
void PlugManager::registeredPushToken(const Value& cfg, const Data& token) {
    each([&](RelaySDKPlugNodes& p) { p.registeredPushToken(cfg, token); });
}
void PlugManager::showPayAntiIndulge(const Value& cfg) {
    each([&](RelaySDKPlugNodes& p) { p.showPayAntiIndulge(cfg); });
}
