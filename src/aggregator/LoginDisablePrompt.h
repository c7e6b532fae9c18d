#pragma once
// The operator's refusals told to the player: a plug-in of the aggregator
// (listed as "LoginDisablePrompt" in relayPlugins.cfg) that watches the
// login-check and order replies and the new-role cut-off. A refused login
// (error id 30001) and a role created at or after the cut-off show an alert
// whose button ends the process with status 0; a refused order (error id
// 1000) shows an alert that only closes. Main thread only.

#include <memory>
#include <string>

#include "aggregator/PlugManager.h"
#include "platform/foundation/NSObject.h"

inline constexpr const char* kNewRoleCutOffMessage =
    "由于游戏运营调整,新角色暂时无法进行游戏,给您带来不便敬请见谅。";

class LoginDisablePrompt : public NSObject, public RelaySDKPlugNodes {
public:
    static std::shared_ptr<LoginDisablePrompt> sharedInstance();

    void checkLoginResult(const Value& channelCfg, const Value& reply) override;
    void relayGetOrderResult(const Value& channelCfg, const Value& reply) override;
    void comfirmAbleCreatRoleWithResult(const Value& channelCfg, const Value& cutOff,
                                        const std::string& creationTime) override;

    std::string className() const override { return "LoginDisablePrompt"; }

    // Registers the class under its name for the plug-in list (idempotent);
    // the start-up hooks call it, which also keeps it linked in.
    static void registerPlugin();
};
