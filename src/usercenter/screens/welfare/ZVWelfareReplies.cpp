#include "usercenter/screens/welfare/ZVWelfareReplies.h"

#include "usercenter/core/ZVResponses.h"
#include "usercenter/screens/shell/ZVPager.h"

namespace ZVWelfareReplies {

std::vector<Value> vipRows(const Value& payload) {
    std::vector<Value> rows{Value::dict({{"item1", "等级"}, {"item2", "充值"}})};
    for (auto& row : ZVPager::dictionariesIn(payload["vipList"])) rows.push_back(row);
    return rows;
}

GiftList giftList(const Value& reply) {
    if (reply.isArray()) return {ZVPager::dictionariesIn(reply), ""};
    bool told = reply.isDict() && reply.has("b");
    return {std::nullopt, told ? reply["b"].textValue() : kServerError};
}

bool isClaimed(const Value& pack) { return pack["status"].boolValue(); }

Entries couponEntries(const Value& reply) {
    if (!reply.isDict()) return {std::nullopt, kServerError};
    if (!ZVReplySucceeded(reply, "a")) return {std::nullopt, reply["b"].textValue()};
    return {ZVPager::dictionariesIn(reply["c"]), ""};
}

}  // namespace ZVWelfareReplies
