#include "aggregator/RLPCRelayChannelCooperater.h"

#include "aggregator/ProcessInstance.h"
#include "platform/foundation/NSNotificationCenter.h"

RLPCRelayChannelCooperater& RLPCRelayChannelCooperater::defaultCooperater() {
    return *ProcessInstance<RLPCRelayChannelCooperater>::get();
}

void RLPCRelayChannelCooperater::replaceDefaultForTesting(std::shared_ptr<RLPCRelayChannelCooperater> instance) {
    ProcessInstance<RLPCRelayChannelCooperater>::replace(std::move(instance));
}

RLPCRelayChannelCooperater::RLPCRelayChannelCooperater() = default;

void RLPCRelayChannelCooperater::loginStateChange(const RLPCRelayChanneLoginNotifyInfo& info) {
    if (info.state != 1 && info.state != 2) return;
    isLogin_ = info.state == 1;
    userNick_ = info.userNick;
    userId_ = info.uid;
    sessionId_ = info.sessionId;
    NSNotificationCenter::defaultCenter().postNotificationName(info.getNotifyName(), nullptr, info.getNotifyDic());
}

void RLPCRelayChannelCooperater::updateLoginInfo(const RLPCRelayChanneLoginNotifyInfo& info) {
    userId_ = info.uid;
    userNick_ = info.userNick;
    sessionId_ = info.sessionId;
    isLogin_ = info.state == 1;
}

unsigned long RLPCRelayChannelCooperater::intValueToInterfaceOrientationMask(const Value& config) {
    auto flag = [&](const char* key, const char* want) { return config[key].textValue() == want; };
    const char* keys[] = {"orientationPotrait", "orientationPotraitDown", "orientationHomeLeft", "orientationHomeRight"};
    bool allOff = true;
    for (auto k : keys) allOff = allOff && flag(k, "0");
    if (allOff) return 30;
    unsigned long mask = 0;
    if (flag("orientationPotrait", "1")) mask += 2;
    if (flag("orientationPotraitDown", "1")) mask += 4;
    if (flag("orientationHomeLeft", "1")) mask += 16;
    if (flag("orientationHomeRight", "1")) mask += 8;
    return mask;
}

long RLPCRelayChannelCooperater::interfaceOrientationMaskToInterfaceOrientation(unsigned long mask) {
    if (mask & (8 | 16)) return 3;
    if (mask & 2) return 1;
    if (mask & 4) return 2;
    return 3;
}

int RLPCRelayChannelCooperater::countOfUIinterfaceOrientationMask(unsigned long mask) {
    int n = 0;
    for (unsigned long bit : {2ul, 4ul, 8ul, 16ul})
        if (mask & bit) ++n;
    return n;
}

RelayChannelHelper& RelayChannelHelper::sharedInstance() { return *ProcessInstance<RelayChannelHelper>::get(); }

void RelayChannelHelper::replaceSharedForTesting(std::shared_ptr<RelayChannelHelper> instance) {
    ProcessInstance<RelayChannelHelper>::replace(std::move(instance));
}
