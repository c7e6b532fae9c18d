// The welfare tab's endpoints: the welfare page (form; "a", "b", "c"), the
// gift packs of one type (form; the bare array of packs, no envelope) and
// a pack's claim (coded; "a", "b").

#include "platform/foundation/Strings.h"
#include "standin/UserCentreStandin.h"
#include "usercenter/core/ZVApi.h"

namespace standin {

void UserCentreStandin::setWelfare(Value payload) {
    std::lock_guard lock(mutex_);
    welfare_ = std::move(payload);
}

void UserCentreStandin::setGifts(int64_t type, std::vector<Value> packs) {
    std::lock_guard lock(mutex_);
    gifts_[type] = std::move(packs);
}

// The packs of "lx", those the player's sub-account claimed marked so with their codes.
Value UserCentreStandin::giftList(const Value& fields) const {
    std::string user = fields.text("username"), sub = fields.text("xiaohao_id");
    std::lock_guard lock(mutex_);
    Value packs = Value::array();
    auto it = gifts_.find(fields["lx"].intValue());
    if (it == gifts_.end()) return packs;
    for (auto& pack : it->second) {
        Value row = pack;
        auto code = giftCodes_.find({user, sub, pack.text("id")});
        if (code != giftCodes_.end()) {
            row.set("status", 1);
            row.set("code", code->second);
        }
        packs.push(row);
    }
    return packs;
}

Value UserCentreStandin::claimGift(const Value& req) {
    std::string user = req.text("username"), sub = req.text("xiaohao_id"), id = req.text("cardid");
    std::lock_guard lock(mutex_);
    const Value* found = nullptr;
    for (auto& [type, packs] : gifts_)
        for (auto& pack : packs)
            if (!id.empty() && pack.text("id") == id) found = &pack;
    if (!found) return Value::dict({{"a", 0}, {"b", "礼包不存在"}});
    auto key = std::make_tuple(user, sub, id);
    if ((*found)["status"].boolValue() || giftCodes_.count(key)) return Value::dict({{"a", 0}, {"b", "您已领取过该礼包"}});
    giftCodes_[key] = strings::format("ZV%s%04zu", id.c_str(), giftCodes_.size() + 1);
    return Value::dict({{"a", 1}, {"b", "领取成功"}});
}

bool UserCentreStandin::loadWelfare(const Value& fixture, std::string* error) {
    if (!fixture["fuli"].isDict() || !fixture["gifts"].isDict()) {
        if (error) *error = "welfare.json: wants \"fuli\" and \"gifts\" objects";
        return false;
    }
    setWelfare(fixture["fuli"]);
    for (auto& [type, packs] : *fixture["gifts"].getDict())
        setGifts(Value(type).intValue(), packs.getArray() ? *packs.getArray() : Value::Array{});
    return true;
}

void UserCentreStandin::installWelfareRoutes() {
    auto& s = *server_;
    s.on("POST", path(ZVApi::kWelfare), formRoute([this](const Value&) {
             std::lock_guard lock(mutex_);
             return Value::dict({{"a", 1}, {"b", "获取成功"}, {"c", welfare_}});
         }));
    s.on("POST", path(ZVApi::kGiftList), formRoute([this](const Value& fields) { return giftList(fields); }));
    s.on("POST", path(ZVApi::kGiftClaim),
         codedRoute([this](const Value& req, JournalEntry&) { return claimGift(req); }));
}

}  // namespace standin
