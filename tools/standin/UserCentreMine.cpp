// The account tab: the account page's reply, messages with read marks,
// the ledgers filtered by "screen", reservations and the player's vouchers
// by status, password resets and phone unbindings. Coded replies carry
// "a" (1 done) and "b"; form lists answer as each screen reads them.

#include <algorithm>

#include "platform/foundation/Strings.h"
#include "standin/UserCentreStandin.h"
#include "usercenter/core/ZVApi.h"

namespace standin {

namespace {
Value done(const std::string& message) { return Value::dict({{"a", 1}, {"b", message}}); }
Value refused(const std::string& message) { return Value::dict({{"a", 0}, {"b", message}}); }

bool isPhone(const std::string& phone) {
    return phone.size() == 11 && phone.find_first_not_of("0123456789") == std::string::npos;
}

// "138****5678", as the account page shows a bound phone.
std::string masked(const std::string& phone) {
    return phone.size() < 8 ? phone : phone.substr(0, 3) + "****" + phone.substr(7);
}

// The ledgers whose screens filter by source; the others list all rows whatever "screen" says.
bool hasSources(const std::string& endpoint) {
    return endpoint == ZVApi::kDjqIncome || endpoint == ZVApi::kDjqSpending || endpoint == ZVApi::kStarIncome;
}

constexpr const char* kLedgers[] = {ZVApi::kPtbIncome, ZVApi::kPtbSpending, ZVApi::kDjqIncome,
                                    ZVApi::kDjqSpending, ZVApi::kStarIncome, ZVApi::kStarSpending};
}  // namespace

bool UserCentreStandin::codeOk(const std::string& code) { return strings::utf16Length(strings::trim(code)) >= 4; }

std::string UserCentreStandin::myCouponsKey(const std::string& status) {
    return std::string(ZVApi::kMyCoupons) + "?status=" + status;
}

void UserCentreStandin::setProfile(const std::string& user, Value uinfo, Value coupon) {
    std::lock_guard lock(mutex_);
    profiles_[user] = Profile{std::move(uinfo), std::move(coupon)};
}

void UserCentreStandin::setMessages(const std::string& user, std::vector<Message> messages) {
    std::lock_guard lock(mutex_);
    messages_[user] = std::move(messages);
}

std::vector<UserCentreStandin::Message> UserCentreStandin::messages(const std::string& user) const {
    std::lock_guard lock(mutex_);
    auto it = messages_.find(user);
    return it == messages_.end() ? std::vector<Message>{} : it->second;
}

Value UserCentreStandin::indexReply(const Value& req) {
    std::string user = req.text("username");
    std::lock_guard lock(mutex_);
    auto account = accounts_.find(user);
    if (user.empty() || account == accounts_.end()) return refused("账号不存在");
    const Account& a = account->second;
    auto& unread = messages_[user];
    int64_t weidu = std::count_if(unread.begin(), unread.end(), [](const Message& m) { return !m.read; });
    Value uinfo = Value::dict({{"user_login", user},
                               {"nicename", a.nickName},
                               {"money", moneyText(a.balanceCents)},
                               {"ismobile", a.phone.empty() ? 0 : 1},
                               {"mobile", masked(a.phone)},
                               {"id_card", Value(a.rzStatus).boolValue() ? 1 : 0},
                               {"weidu", weidu}});
    Profile& profile = profiles_[user];
    if (auto extras = profile.uinfo.getDict())
        for (auto& [key, value] : *extras) uinfo.set(key, value);
    Value coupon = withClaims(profile.coupon, user, subAccountOf(req), req.text("gid"));
    Value reply = done("");
    reply.set("c", filled(Value::dict({{"uinfo", uinfo}, {"coupon", coupon}})));
    return reply;
}

Value UserCentreStandin::messagePage(const Value& fields) const {
    List l;
    l.pageSize = kMessagePageSize;
    for (auto& m : messages(fields.text("username")))
        l.rows.push_back(Value::dict({{"id", m.id}, {"status", m.read ? "1" : "0"}, {"title", m.title},
                                      {"content", m.content}, {"addtime", m.addtime}, {"url", m.url}}));
    Value page = pageOf(l, fields.text("pagecode"));
    Value reply = done("");
    reply.set("c", page["lists"]);
    reply.set("nowpage", page["now_page"]);
    reply.set("allnum", page["total_page"]);
    return reply;
}

Value UserCentreStandin::readMessage(const Value& fields) {
    std::lock_guard lock(mutex_);
    auto& list = messages_[fields.text("username")];
    int64_t id = fields["id"].intValue();
    auto m = std::find_if(list.begin(), list.end(), [id](const Message& m) { return m.id == id; });
    if (m == list.end()) return refused("消息不存在");
    m->read = true;
    return done("");
}

Value UserCentreStandin::ledgerPage(const std::string& endpoint, const Value& fields) const {
    List l = list(endpoint);
    int64_t screen = fields["screen"].intValue();
    if (screen != 0 && hasSources(endpoint))
        std::erase_if(l.rows, [screen](const Value& row) { return row["screen"].intValue() != screen; });
    if (endpoint == ZVApi::kPtbSpending) {
        std::lock_guard lock(mutex_);
        auto paid = payments_.find(fields.text("username"));
        if (paid != payments_.end()) l.rows.insert(l.rows.begin(), paid->second.rbegin(), paid->second.rend());
    }
    Value reply = done("");
    reply.set("c", pageOf(l, fields.text("pagecode")));
    return reply;
}

// The game's vouchers with "is_get" for the asking sub-account; claimed ones stay listed.
Value UserCentreStandin::couponList(const Value& fields) const {
    std::string user = fields.text("username"), gid = fields.text("gid");
    int64_t sub = subAccountOf(fields);
    std::lock_guard lock(mutex_);
    Value rows = Value::array();
    for (auto& v : vouchers_) {
        if (v.gid != gid) continue;
        Value row = v.fields;
        row.set("cid", v.cid);
        row.set("remain_counts", v.remaining);
        row.set("is_get", claims_.count({user, sub, v.cid}) ? "1" : "0");
        rows.push(row);
    }
    Value reply = done("");
    reply.set("c", Value::dict({{"data", rows}}));
    return reply;
}

Value UserCentreStandin::smsCode(const Value& f) const {
    std::string phone = f.text("sj");
    if (f.text("type") == "7") {
        // Unbinding: the code goes to the phone the account has.
        std::lock_guard lock(mutex_);
        auto it = accounts_.find(f.text("username"));
        phone = it == accounts_.end() ? "" : it->second.phone;
        if (phone.empty()) return refused("该账号未绑定手机号");
    }
    if (!isPhone(phone)) return refused("手机号码格式错误");
    return done("发送成功");
}

Value UserCentreStandin::resetPassword(const Value& req) {
    std::string phone = req.text("phone");
    if (!codeOk(req.text("yzm"))) return refused("验证码错误");
    if (strings::utf16Length(req.text("password")) < 6) return refused("密码不少于6位");
    std::lock_guard lock(mutex_);
    auto it = std::find_if(accounts_.begin(), accounts_.end(), [&](auto& a) { return !phone.empty() && a.second.phone == phone; });
    if (it == accounts_.end()) return refused("该手机号未绑定账号");
    it->second.password = req.text("password");
    return done("密码修改成功");
}

Value UserCentreStandin::unbindPhone(const Value& req) {
    if (!codeOk(req.text("code"))) return refused("验证码错误");
    std::lock_guard lock(mutex_);
    auto it = accounts_.find(req.text("username"));
    if (it == accounts_.end()) return refused("账号不存在");
    if (it->second.phone.empty()) return refused("该账号未绑定手机号");
    it->second.phone.clear();
    return done("解绑成功");
}

void UserCentreStandin::installMineRoutes() {
    auto& s = *server_;
    s.on("POST", path(ZVApi::kUserIndex), codedRoute([this](const Value& req, JournalEntry&) { return indexReply(req); }));
    s.on("POST", path(ZVApi::kForgetPassword),
         codedRoute([this](const Value& req, JournalEntry&) { return resetPassword(req); }));
    s.on("POST", path(ZVApi::kUnbindPhone), codedRoute([this](const Value& req, JournalEntry&) { return unbindPhone(req); }));
    s.on("POST", path(ZVApi::kMessageList), formRoute([this](const Value& f) { return messagePage(f); }));
    s.on("POST", path(ZVApi::kMessageRead), formRoute([this](const Value& f) { return readMessage(f); }));
    for (const char* endpoint : {ZVApi::kBookingList, ZVApi::kMyBookingList}) {
        std::string name = endpoint;
        s.on("POST", path(name), formRoute([this, name](const Value& f) { return listPage(name, f.text("pagecode")); }));
    }
    for (const char* endpoint : kLedgers) {
        std::string name = endpoint;
        s.on("POST", path(name), formRoute([this, name](const Value& f) { return ledgerPage(name, f); }));
    }
    s.on("POST", path(ZVApi::kCouponList), formRoute([this](const Value& f) { return couponList(f); }));
    s.on("POST", path(ZVApi::kMyCoupons), formRoute([this](const Value& f) { return myCoupons(f); }));
}

bool UserCentreStandin::loadMine(const Value& fixture, std::string* error) {
    auto rowsOf = [](const Value& v) { return v.getArray() ? *v.getArray() : Value::Array{}; };
    if (auto profiles = fixture["profiles"].getDict())
        for (auto& [user, p] : *profiles) setProfile(user, p["uinfo"], p["coupon"]);
    if (auto all = fixture["messages"].getDict())
        for (auto& [user, list] : *all) {
            std::vector<Message> messages;
            for (auto& m : rowsOf(list)) {
                if (!m.isDict() || m["id"].intValue() <= 0) {
                    if (error) *error = "mine.json: a message without an \"id\"";
                    return false;
                }
                messages.push_back({m["id"].intValue(), m.text("title"), m.text("content"), m.text("addtime"),
                                    m.text("url"), m["status"].boolValue()});
            }
            setMessages(user, std::move(messages));
        }
    setList(ZVApi::kBookingList, {rowsOf(fixture["bookings"]), 10, Value::dict()});
    setList(ZVApi::kMyBookingList, {rowsOf(fixture["mybookings"]), 10, Value::dict()});
    for (const char* endpoint : kLedgers) setList(endpoint, {rowsOf(fixture["ledgers"][endpoint]), 10, Value::dict()});
    for (const char* status : {"1", "2", "0"})
        setList(myCouponsKey(status), {rowsOf(fixture["mycoupons"][status]), 10, Value::dict()});
    return true;
}

}  // namespace standin
