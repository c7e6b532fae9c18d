#include "aggregator/RUVURazuzEVERecords.h"

#include <cmath>

#include "platform/foundation/Strings.h"

void RUVURazuzEVEGameRoleInfo::setCreatTime(const Value& v) {
    if (v.isNull()) {
        creatTime_ = "";
        return;
    }
    std::string text = strings::trim(v.textValue());
    double t = strings::leadingDouble(text);
    // Milliseconds are told from seconds by the size of the whole part, so
    // that a seconds value with a fraction ("1700000000.5") stays seconds.
    std::string whole = text.substr(0, text.find('.'));
    if (!whole.empty() && (whole[0] == '-' || whole[0] == '+')) whole.erase(0, 1);
    if (whole.size() >= 11) t /= 1000.0;
    creatTime_ = strings::format("%.0f", t);
}

std::string RUVURazuzEVEGameRoleInfo::description() const {
    return strings::format(
        "角色信息:\n服务器ID:%s\n服务器名称:%s\n角色名:%s\n角色ID:%s\n虚拟货品余额:%s\nVIP等级:%s\n玩家等级:%s\n"
        "公会名称:%s\n公会id:%s\n公会角色id:%s\n公会角色名:%s\n职业名称:%s\n职业id:%s\n角色性别:%s\n角色战力值:%s\n"
        "角色创建时间:%s",
        serverId().c_str(), serverName().c_str(), gameRoleName().c_str(), gameRoleID().c_str(),
        gameUserBalance().c_str(), vipLevel().c_str(), gameUserLevel().c_str(), partyName().c_str(), partyId().c_str(),
        partyRoleId().c_str(), partyRoleName().c_str(), profession().c_str(), professionId().c_str(),
        roleGender().c_str(), fightPower().c_str(), creatTime().c_str());
}

bool RUVURazuzEVEPayOrderInfo::setCount(const Value& v) {
    std::optional<double> n;
    if (v.isString()) {
        auto t = strings::trim(*v.getString());
        char* end = nullptr;
        double d = std::strtod(t.c_str(), &end);
        if (!t.empty() && end && *end == '\0') n = d;
    } else if (v.isInteger() || v.isReal()) {
        n = v.getNumber();
    }
    if (!n || !std::isfinite(*n) || *n < 0 || std::floor(*n) != *n || *n > 1.8e19) return false;
    count_ = uint64_t(*n);
    return true;
}

std::string RUVURazuzEVEPayOrderInfo::description() const {
    return strings::format("订单信息：\n商品ID:%s\n商品名称:%s\ncp订单ID:%s\n数量:%llu\n总价:%.2f\n回调地址:%s\n扩展参数:%s",
                           goodsID_.c_str(), productName_.c_str(), cpOrderID_.c_str(), (unsigned long long)count_,
                           amount_, callbackUrl_.c_str(), extrasParams_.c_str());
}
