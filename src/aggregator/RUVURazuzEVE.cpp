#include "aggregator/RUVURazuzEVE.h"

#include "aggregator/PlugManager.h"
#include "aggregator/RLPCRelayChannel.h"
#include "aggregator/RelayChannelConfig.h"
#include "aggregator/SDKCooperater.h"
#include "platform/foundation/PlatformLog.h"

RUVURazuzEVE& RUVURazuzEVE::defaultInstance() {
    NSLog("RLLog:defaultInstance");
    static RUVURazuzEVE* instance = new RUVURazuzEVE();
    return *instance;
}

int RUVURazuzEVE::initWithConfig(std::shared_ptr<RUVURazuzEVEInitConfigure> config, UIApplication&,
                                 const Value& launchOptions) {
    NSLog("RLLog:开始初始化");
    auto& co = SDKCooperater::shareCooperater();
    if (co.hasCallInit()) return 0;
    co.setHasCallInit(true);

    Value cfg = Value::dict();
    if (auto file = RelayChannelConfig::path()) {
        cfg = RelayChannelConfig::read(*file);
    } else if (channelType() == 9999) {
        NSLog("RLLog:测试母包");
    } else {
        NSLog("RLLog:没有找到渠道配置文件relayChannel.cfg");
    }

    if (!config) config = std::make_shared<RUVURazuzEVEInitConfigure>();
    auto product = RelayChannelConfig::productOf(cfg, {config->productCode(), config->productKey()});
    config->setProductCode(product.code);
    config->setProductKey(product.key);
    co.setPlatformCfg(config);
    co.setLaunchOptions(launchOptions);
    co.setParamsDic(cfg);
    co.setChannelCfg(cfg);
    co.beginRelaySDKInit();
    return 0;
}

std::optional<Data> RUVURazuzEVE::DES128DecryptData(const Data& bytes, const std::string& key) {
    return RelayChannelConfig::decrypt(bytes, key);
}

int RUVURazuzEVE::login() {
    NSLog("RLLog:call login");
    auto& co = SDKCooperater::shareCooperater();
    if (co.isloginDisabled()) {
        SDKCooperater::presentAlert("提示", "渠道禁止登录");
        return -5;
    }
    PlugManager::sharedInstance().willLogin(co.channelCfg());
    co.setIsCallLogin(true);
    if (!co.isInitSuccess()) return 0;  // runs when init succeeds
    if (co.isCheckLogining()) return -4;
    RLPCRelayChannel::defaultChannel().login();
    return 0;
}

std::string RUVURazuzEVE::userId() {
    NSLog("RLLog:call userId");
    return RLPCRelayChannel::defaultChannel().userId();
}

std::string RUVURazuzEVE::userNick() {
    NSLog("RLLog:call userNick");
    auto& channel = RLPCRelayChannel::defaultChannel();
    std::string nick = channel.userNick();
    return nick.empty() ? channel.userId() : nick;
}

std::string RUVURazuzEVE::userToken() { return SDKCooperater::shareCooperater().lastUserToken(); }

Value RUVURazuzEVE::realNameInfo() {
    auto& channel = RLPCRelayChannel::defaultChannel();
    if (!channel.realNameInfo)
        return Value::dict({{"realName", false}, {"age", -1}, {"resumeGame", true}, {"other", ""}});
    return SDKCooperater::realNameFacts(channel.realNameInfo());
}

int RUVURazuzEVE::realAuth() {
    auto& channel = RLPCRelayChannel::defaultChannel();
    if (!channel.realAuth) return -100;
    return channel.realAuth() ? -1 : 0;
}

long RUVURazuzEVE::userType() {
    auto& channel = RLPCRelayChannel::defaultChannel();
    return channel.userType ? channel.userType() : 0;
}

long RUVURazuzEVE::getChannelUserLoginType() {
    long t = userType();
    return (t >= 1 && t <= 7) || t == 16 || t == 18 ? t : 0;
}

Value RUVURazuzEVE::getChannelUserExtInfo() {
    auto& channel = RLPCRelayChannel::defaultChannel();
    return channel.userExtInfo ? channel.userExtInfo() : Value::dict();
}
