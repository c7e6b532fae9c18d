#pragma once
// The aggregator's plug-ins: classes named in the bundle list
// "relayPlugins.cfg" (a property-list array of dictionaries) that receive
// the SDK's events. Every hook takes the channel configuration first and
// then the event's own values; a plug-in overrides the hooks it wants, the
// others do nothing. Hooks run on the main thread, in list order, and
// cannot stop the SDK's own flow.
//
// List entry: {"name": name for named calls, "managerName": class name}
// or, without "managerName", {"eventManager": {"manager": class name}}.
// A plug-in class derives from NSObject and RelaySDKPlugNodes and registers
// with REGISTER_RELAY_PLUGIN(Class): the manager then reaches the class's
// one instance by its name.

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "aggregator/RUVURazuzEVERecords.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/Value.h"

class UIApplication;

class RelaySDKPlugNodes {
public:
    virtual ~RelaySDKPlugNodes() = default;

    virtual void willInit(const Value& channelCfg, const RUVURazuzEVEInitConfigure& platformCfg, UIApplication& app,
                          const Value& launchOptions) {}
    // The channel's init notification's user info.
    virtual void initDone(const Value& channelCfg, const Value& userInfo) {}
    virtual void willLogin(const Value& channelCfg) {}
    virtual void loginDone(const Value& channelCfg, const Value& userInfo) {}
    // The login-check reply, or an empty dictionary without one.
    virtual void checkLoginResult(const Value& channelCfg, const Value& reply) {}
    virtual void willRecharge(const Value& channelCfg, const RUVURazuzEVEPayOrderInfo& order,
                              const RUVURazuzEVEGameRoleInfo& role) {}
    // The order reply, or an empty dictionary without one.
    virtual void relayGetOrderResult(const Value& channelCfg, const Value& reply) {}
    virtual void willRechargeOrdered(const Value& channelCfg, const RUVURazuzEVEPayOrderInfo& order,
                                     const RUVURazuzEVEGameRoleInfo& role, const std::string& orderId) {}
    virtual void rechargeOver(const Value& channelCfg, const Value& userInfo) {}
    virtual void createRoleInfo(const Value& channelCfg, const RUVURazuzEVEGameRoleInfo& role) {}
    virtual void enterGameRoleInfo(const Value& channelCfg, const RUVURazuzEVEGameRoleInfo& role) {}
    virtual void updateRoleInfo(const Value& channelCfg, const RUVURazuzEVEGameRoleInfo& role) {}
    // cutOff is {"data": {"created_at": cut-off time text}}; creationTime
    // the role's creation time text.
    virtual void comfirmAbleCreatRoleWithResult(const Value& channelCfg, const Value& cutOff,
                                                const std::string& creationTime) {}
    virtual void registeredPushToken(const Value& channelCfg, const Data& token) {}
    virtual void showPayAntiIndulge(const Value& channelCfg) {}
    // A named call: [channel configuration, the caller's values...].
    virtual void callPlugParams(const Value& params) {}
};

// Registers the plug-in class under its name, with its one instance.
#define REGISTER_RELAY_PLUGIN(Class)                                                      \
    namespace {                                                                           \
    const bool relayPluginRegistered_##Class = (ClassRegistry::registerClass(            \
                                                    #Class,                               \
                                                    [] {                                  \
                                                        static auto* one =                \
                                                            new std::shared_ptr<Class>(   \
                                                                std::make_shared<Class>()); \
                                                        return *one;                      \
                                                    }),                                   \
                                                true);                                    \
    }

class PlugManager {
public:
    // The start-up hook: the shared manager loads its list.
    static void load();
    static PlugManager& sharedInstance();
    static void replaceSharedForTesting(std::shared_ptr<PlugManager> instance);

    // Reads the bundle's list (again).
    void startManager();
    const Value& pluginsInfo() const { return pluginsInfo_; }

    using Plug = std::shared_ptr<RelaySDKPlugNodes>;
    // The plug-ins of every entry, in list order (an entry whose class is
    // unknown or no plug-in is skipped and logged once).
    std::vector<Plug> getAllConfigedPlugs();
    // The plug-ins of the entries with that "name".
    std::vector<Plug> getPlugsOfName(const std::string& name);
    int callPlug(const std::string& name, const Value& params);

    void willInit(const Value& channelCfg, const RUVURazuzEVEInitConfigure& platformCfg, UIApplication& app,
                  const Value& launchOptions);
    void initDone(const Value& channelCfg, const Value& userInfo);
    void willLogin(const Value& channelCfg);
    void loginDone(const Value& channelCfg, const Value& userInfo);
    void checkLoginResult(const Value& channelCfg, const Value& reply);
    void willRecharge(const Value& channelCfg, const RUVURazuzEVEPayOrderInfo& order,
                      const RUVURazuzEVEGameRoleInfo& role);
    void relayGetOrderResult(const Value& channelCfg, const Value& reply);
    void willRechargeOrdered(const Value& channelCfg, const RUVURazuzEVEPayOrderInfo& order,
                             const RUVURazuzEVEGameRoleInfo& role, const std::string& orderId);
    void rechargeOver(const Value& channelCfg, const Value& userInfo);
    void createRoleInfo(const Value& channelCfg, const RUVURazuzEVEGameRoleInfo& role);
    void enterGameRoleInfo(const Value& channelCfg, const RUVURazuzEVEGameRoleInfo& role);
    void updateRoleInfo(const Value& channelCfg, const RUVURazuzEVEGameRoleInfo& role);
    void comfirmAbleCreatRoleWithResult(const Value& channelCfg, const Value& cutOff, const std::string& creationTime);
    void registeredPushToken(const Value& channelCfg, const Data& token);
    void showPayAntiIndulge(const Value& channelCfg);

private:
    Plug resolve(const Value& entry);
    template <class F>
    void each(F f) {
        for (auto& plug : getAllConfigedPlugs()) f(*plug);
    }

    Value pluginsInfo_ = Value::array();
    std::set<std::string> reported_;  // class names already logged as unknown
};
