// Vouchers: claiming one voucher or all of a game's for one sub-account
// (coded), and the claim state of each of a player's sub-accounts (form).
// Replies carry "a" (1 done, 0 refused) and "b"; the states are "c".

#include <algorithm>

#include "platform/foundation/Strings.h"
#include "standin/UserCentreStandin.h"
#include "usercenter/core/ZVApi.h"

namespace standin {

namespace {
constexpr const char* kNotClaimed = "未领";
constexpr const char* kClaimed = "已领";

Value refused(const std::string& message) { return Value::dict({{"a", 0}, {"b", message}}); }
Value done(const std::string& message) { return Value::dict({{"a", 1}, {"b", message}}); }
}  // namespace

int64_t UserCentreStandin::subAccountOf(const Value& request) {
    // Empty (or 0): no sub-account was chosen.
    return std::max<int64_t>(kOwnAccount, request["xiaohao_id"].intValue());
}

void UserCentreStandin::setVouchers(std::vector<Voucher> vouchers) {
    std::lock_guard lock(mutex_);
    vouchers_ = std::move(vouchers);
}

std::vector<UserCentreStandin::Voucher> UserCentreStandin::vouchers() const {
    std::lock_guard lock(mutex_);
    return vouchers_;
}

void UserCentreStandin::setSubAccounts(const std::string& user, std::vector<SubAccount> subAccounts) {
    std::lock_guard lock(mutex_);
    subAccounts_[user] = std::move(subAccounts);
}

std::vector<UserCentreStandin::SubAccount> UserCentreStandin::subAccounts(const std::string& user) const {
    std::lock_guard lock(mutex_);
    auto it = subAccounts_.find(user);
    return it == subAccounts_.end() ? std::vector<SubAccount>{} : it->second;
}

bool UserCentreStandin::claimed(const std::string& user, int64_t xiaohaoId, int64_t cid) const {
    std::lock_guard lock(mutex_);
    return claims_.count({user, xiaohaoId, cid}) > 0;
}

namespace {
// Whether a claim may go to `id`: the account itself (no "xiaohao_id", kept
// as 0), or a sub-account of the player (any id from 1 when none are set).
bool hasSubAccount(const std::map<std::string, std::vector<UserCentreStandin::SubAccount>>& all,
                   const std::string& user, int64_t id) {
    if (id == UserCentreStandin::kOwnAccount) return true;
    auto it = all.find(user);
    if (it == all.end()) return id >= 1;
    return std::any_of(it->second.begin(), it->second.end(), [id](auto& s) { return s.id == id; });
}
}  // namespace

Value UserCentreStandin::claimCoupon(const Value& req) {
    std::string user = req.text("username");
    int64_t sub = subAccountOf(req), cid = req["cid"].intValue();
    std::lock_guard lock(mutex_);
    if (user.empty()) return refused("请先登录");
    if (!hasSubAccount(subAccounts_, user, sub)) return refused("请选择要领取的小号");
    auto v = std::find_if(vouchers_.begin(), vouchers_.end(), [cid](auto& v) { return v.cid == cid; });
    if (v == vouchers_.end()) return refused("抵扣券不存在");
    if (claims_.count({user, sub, cid})) return refused("该小号已领取过此抵扣券");
    if (v->remaining <= 0) return refused("抵扣券已领完");
    --v->remaining;
    claims_[{user, sub, cid}] = nextClaim_++;
    return done("领取成功");
}

Value UserCentreStandin::claimAllCoupons(const Value& req) {
    std::string user = req.text("username"), gid = req.text("gid");
    int64_t sub = subAccountOf(req);
    std::lock_guard lock(mutex_);
    if (user.empty()) return refused("请先登录");
    if (!hasSubAccount(subAccounts_, user, sub)) return refused("请选择要领取的小号");
    int count = 0;
    for (auto& v : vouchers_) {
        if (v.gid != gid || v.remaining <= 0 || claims_.count({user, sub, v.cid})) continue;
        --v.remaining;
        claims_[{user, sub, v.cid}] = nextClaim_++;
        ++count;
    }
    if (count == 0) return refused("没有可领取的抵扣券");
    return done(strings::format("成功领取%d张抵扣券", count));
}

// One voucher: "未领" or "已领" per sub-account. All of a game's: "未领"
// (none claimed), "已领" (all) or "已领N张".
Value UserCentreStandin::couponRecord(const Value& fields, bool all) const {
    std::string user = fields.text("username"), gid = fields.text("gid");
    int64_t cid = fields["cid"].intValue();
    std::lock_guard lock(mutex_);
    std::vector<int64_t> wanted;
    for (auto& v : vouchers_)
        if (all ? v.gid == gid : v.cid == cid) wanted.push_back(v.cid);
    if (!all && wanted.empty()) return refused("抵扣券不存在");
    Value rows = Value::array();
    auto it = subAccounts_.find(user);
    for (auto& s : it == subAccounts_.end() ? std::vector<SubAccount>{} : it->second) {
        size_t n = size_t(std::count_if(wanted.begin(), wanted.end(),
                                        [&](int64_t c) { return claims_.count({user, s.id, c}) > 0; }));
        std::string status = n == 0 ? kNotClaimed : n == wanted.size() ? kClaimed : strings::format("已领%zu张", n);
        rows.push(Value::dict({{"id", s.id}, {"nickname", s.nickname}, {"status", status}}));
    }
    Value reply = done("");
    reply.set("c", rows);
    return reply;
}

std::vector<Value> UserCentreStandin::claimedRows(const std::string& user, int64_t sub, const std::string& gid) const {
    std::vector<std::pair<uint64_t, Value>> turns;
    for (auto& v : vouchers_) {
        auto claim = claims_.find({user, sub, v.cid});
        if (v.gid != gid || claim == claims_.end()) continue;
        Value row = v.fields;
        row.set("cid", v.cid);
        row.set("is_get", "1");
        turns.emplace_back(claim->second, row);
    }
    std::sort(turns.begin(), turns.end(), [](auto& a, auto& b) { return a.first > b.first; });
    std::vector<Value> rows;
    for (auto& [turn, row] : turns) rows.push_back(std::move(row));
    return rows;
}

Value UserCentreStandin::withClaims(const Value& coupon, const std::string& user, int64_t sub, const std::string& gid) const {
    auto rows = claimedRows(user, sub, gid);
    if (rows.empty()) return coupon;
    int64_t cents = std::max<int64_t>(0, centsOf(coupon["money"].textValue()));
    for (auto& row : rows) cents += std::max<int64_t>(0, centsOf(row["coupon_money"].textValue()));
    Value out = coupon.isDict() ? coupon : Value::dict();
    // Whole amounts as the summary gives them ("55"), others with cents.
    out.set("money", cents % 100 == 0 ? std::to_string(cents / 100) : moneyText(cents));
    out.set("count", coupon["count"].intValue() + int64_t(rows.size()));
    return out;
}

Value UserCentreStandin::myCoupons(const Value& fields) const {
    std::string status = fields.text("status");
    List l = list(myCouponsKey(status));
    if (status == "1") {
        std::lock_guard lock(mutex_);
        auto claimed = claimedRows(fields.text("username"), subAccountOf(fields), fields.text("gid"));
        l.rows.insert(l.rows.begin(), claimed.begin(), claimed.end());
    }
    return pageOf(l, fields.text("pagecode"));
}

bool UserCentreStandin::loadCoupons(const Value& fixture, std::string* error) {
    std::vector<Voucher> vouchers;
    for (auto& row : fixture["vouchers"].getArray() ? *fixture["vouchers"].getArray() : Value::Array{}) {
        if (!row.isDict() || row["cid"].intValue() <= 0) {
            if (error) *error = "coupons.json: a voucher without a \"cid\"";
            return false;
        }
        Voucher v{row["cid"].intValue(), row.text("gid"), 100, row};
        if (row.has("remaining")) v.remaining = int(row["remaining"].intValue());
        for (auto* key : {"cid", "gid", "remaining"}) v.fields.remove(key);
        vouchers.push_back(std::move(v));
    }
    setVouchers(std::move(vouchers));
    if (auto users = fixture["subaccounts"].getDict())
        for (auto& [user, list] : *users) {
            std::vector<SubAccount> subs;
            for (size_t i = 0; i < list.size(); ++i) subs.push_back({list[i]["id"].intValue(), list[i].text("nickname")});
            setSubAccounts(user, std::move(subs));
        }
    return true;
}

void UserCentreStandin::installCouponRoutes() {
    auto& s = *server_;
    s.on("POST", path(ZVApi::kGetCoupon),
         codedRoute([this](const Value& req, JournalEntry&) { return claimCoupon(req); }));
    s.on("POST", path(ZVApi::kGetCouponAll),
         codedRoute([this](const Value& req, JournalEntry&) { return claimAllCoupons(req); }));
    s.on("POST", path(ZVApi::kCouponRecord),
         formRoute([this](const Value& fields) { return couponRecord(fields, false); }));
    s.on("POST", path(ZVApi::kCouponAllRecord),
         formRoute([this](const Value& fields) { return couponRecord(fields, true); }));
}

}  // namespace standin
