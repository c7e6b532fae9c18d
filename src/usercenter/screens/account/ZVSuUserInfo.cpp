#include "usercenter/screens/account/ZVSuUserInfo.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Strings.h"

namespace {
// A balance or count as the reply gives it; a missing or empty one reads 0.
std::string number(const Value& v) {
    std::string text = strings::trim(v.textValue());
    return text.empty() ? "0" : text;
}
}  // namespace

ZVSuUserInfo ZVSuUserInfo::fromPayload(const Value& c) {
    const Value& u = c["uinfo"];
    const Value& coupon = c["coupon"];
    ZVSuUserInfo info;
    info.avatar = u["avatar"].textValue();
    info.vippic = u["vippic"].textValue();
    info.paypic = u["paypic"].textValue();
    info.nickName = u["nicename"].textValue();
    if (info.nickName.empty()) info.nickName = "昵称";
    info.account = "账号：" + u["user_login"].textValue();
    info.ptb = number(u["money"]);
    info.djq = number(u["djq"]);
    info.star = number(u["starcoin"]);
    double wallet = u["wallet"].doubleValue();  // a text such as "NaN" reads as no number
    info.wallet = strings::format("%.2f", std::isfinite(wallet) ? wallet : 0.0);
    info.isBang = u["ismobile"].boolValue();
    info.isRz = u["id_card"].boolValue();
    info.mobile = u["mobile"].textValue();
    info.couponMoney = "￥" + number(coupon["money"]);
    info.couponCount = "共" + number(coupon["count"]) + "张";
    info.unread = std::max<int64_t>(0, u["weidu"].intValue());
    return info;
}

std::string ZVSuUserInfo::subAccountLine(const std::string& nickName) { return "小号名：" + nickName; }

int64_t ZVSuUserInfo::unreadAfterRead(const std::string& badgeText) {
    return std::max<int64_t>(0, Value(badgeText).intValue() - 1);
}
