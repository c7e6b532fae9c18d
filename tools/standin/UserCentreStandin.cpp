#include "standin/UserCentreStandin.h"

#include <algorithm>
#include <ctime>

#include "platform/foundation/Strings.h"
#include "platform/security/Digest.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVRequestCodec.h"

namespace standin {

namespace {

Value fail(int64_t code, const std::string& message) { return Value::dict({{"z", code}, {"b", message}}); }

}  // namespace

int64_t UserCentreStandin::centsOf(const std::string& money) {
    std::string t = strings::trim(money);
    if (t.empty()) return -1;
    int64_t whole = 0, frac = 0;
    int fracDigits = 0;
    bool dot = false;
    for (char c : t) {
        if (c == '.' && !dot) {
            dot = true;
            continue;
        }
        if (c < '0' || c > '9') return -1;
        if (!dot) {
            whole = whole * 10 + (c - '0');
            if (whole > 1000000000) return -1;
        } else if (fracDigits < 2) {
            frac = frac * 10 + (c - '0');
            ++fracDigits;
        } else if (c != '0') {
            return -1;
        }
    }
    if (fracDigits == 1) frac *= 10;
    return whole * 100 + frac;
}

std::string UserCentreStandin::moneyText(int64_t cents) {
    return strings::format("%lld.%02lld", (long long)(cents / 100), (long long)(cents % 100));
}

bool UserCentreStandin::identityNumberOk(const std::string& number) {
    std::string id = strings::trim(number);
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return id.size() == 18 && std::all_of(id.begin(), id.end() - 1, digit) &&
           (digit(id.back()) || id.back() == 'X' || id.back() == 'x');
}

std::string UserCentreStandin::minuteNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string UserCentreStandin::path(const std::string& endpoint) {
    std::string p = "/sdkapicoupon2/";
    p.append(endpoint);
    return p;
}

UserCentreStandin::UserCentreStandin() : UserCentreStandin(Options{}) {}

UserCentreStandin::UserCentreStandin(Options options)
    : options_(std::move(options)), server_(std::make_unique<HttpServer>("usercentre", options_.tls)) {
    installRoutes();
}

UserCentreStandin::~UserCentreStandin() { stop(); }

bool UserCentreStandin::start() { return server_->start(options_.port); }
void UserCentreStandin::stop() { server_->stop(); }

Value UserCentreStandin::infoPlistSettings() const {
    Value v = Value::dict({{"ZORVIA_SERVER_URL", serverURL()}, {"ZORVIA_CHAT_URL", serverURL()}});
    if (!server_->caFile().empty()) v.set("KorvelExtraCAFile", server_->caFile());
    return v;
}

void UserCentreStandin::addAccount(const std::string& name, Account account) {
    std::lock_guard lock(mutex_);
    accounts_[name] = std::move(account);
}

std::optional<UserCentreStandin::Account> UserCentreStandin::account(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = accounts_.find(name);
    if (it == accounts_.end()) return std::nullopt;
    return it->second;
}

void UserCentreStandin::setUpdate(bool pending, const std::string& url, const std::string& message) {
    std::lock_guard lock(mutex_);
    updatePending_ = pending;
    updateURL_ = url;
    updateMessage_ = message;
}

std::string UserCentreStandin::tokenFor(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(name);
    return it == sessions_.end() ? "" : it->second;
}

std::string UserCentreStandin::userForToken(const std::string& token) const {
    if (token.empty()) return "";
    for (auto& [name, t] : sessions_)
        if (t == token) return name;
    return "";
}

Reply UserCentreStandin::coded(const Value& body, int status) {
    return Reply::text(ZVRequestCodec::current()->encode(body), "text/html", status);
}

Value UserCentreStandin::loginReply(const Value& req, JournalEntry& entry) {
    std::string name = req.text("i");
    if (!options_.appKey.empty()) {
        entry.signOk = ZVLoginSign(name, req.text("g"), req.text("t"), options_.appKey) == req.text("k");
        if (!*entry.signOk) return fail(-4, "签名错误");
    }
    std::lock_guard lock(mutex_);
    auto it = accounts_.find(name);
    if (name.empty() || it == accounts_.end()) return fail(-3, "账号不存在");
    if (digest::md5Hex(it->second.password) != req.text("p")) return fail(-2, "密码错误");
    std::string token = digest::md5Hex(strings::format("%s:%llu:%ld", name.c_str(),
                                                       (unsigned long long)nextToken_++, (long)std::time(nullptr)));
    sessions_[name] = token;
    const Account& a = it->second;
    return Value::dict({{"z", 1},
                        {"b", "登录成功"},
                        {"u", name},
                        {"n", a.nickName},
                        {"t", std::to_string((long long)std::time(nullptr))},
                        {"s", token},
                        {"nrz", a.rzStatus},
                        {"frz", a.mustRZ ? 1 : 0},
                        {"lmit", ""},
                        {"bd", a.phone.empty() ? 0 : 1},
                        {"box", "https://box.example.invalid/"}});
}

Value UserCentreStandin::payReply(const Value& req) {
    std::lock_guard lock(mutex_);
    std::string user = userForToken(req.text("s"));
    if (user.empty() || user != req.text("i")) return fail(-5, "登录已失效，请重新登录");
    int64_t cents = centsOf(req.text("m"));
    if (cents <= 0) return fail(-6, "金额错误");
    if (req.text("w") != "ptb") return fail(-7, "不支持的支付方式");
    Account& a = accounts_[user];
    if (a.balanceCents < cents) return fail(-8, "余额不足");
    a.balanceCents -= cents;
    std::string remark = strings::trim(req.text("pn"));
    payments_[user].push_back(Value::dict({{"time", minuteNow()},
                                           {"money", moneyText(cents)},
                                           {"remark", remark.empty() ? "游戏充值" : remark}}));
    return Value::dict({{"z", 1},
                        {"b", "支付成功"},
                        {"o", strings::format("ZV%06llu", (unsigned long long)nextOrder_++)},
                        {"m", moneyText(cents)}});
}

HttpServer::Handler UserCentreStandin::codedRoute(CodedAnswer answer) {
    return [answer](const Request& r, JournalEntry& entry) {
        auto decoded = ZVRequestCodec::current()->decode(r.body);
        if (!decoded) return coded(fail(-1, "请求无法解析"));
        entry.decoded = *decoded;
        return coded(answer(*decoded, entry));
    };
}

HttpServer::Handler UserCentreStandin::formRoute(FormAnswer answer) {
    return [answer](const Request& r, JournalEntry& entry) {
        Value fields = Value::dict();
        for (auto& [k, v] : r.rawParams) fields.set(strings::percentDecode(k), strings::percentDecode(v));
        entry.decoded = fields;
        return Reply::json(answer(fields));
    };
}

void UserCentreStandin::installRoutes() {
    installAccountRoutes();
    installPictureRoute();
    installListRoutes();
    installPageRoutes();
    installCouponRoutes();
    installWelfareRoutes();
    installMineRoutes();
    installCommentRoutes();
}

void UserCentreStandin::installAccountRoutes() {
    auto& s = *server_;
    s.on("POST", path(ZVApi::kSdkInfo), codedRoute([this](const Value&, JournalEntry&) {
             std::lock_guard lock(mutex_);
             return Value::dict(
                 {{"z", 1}, {"up", updatePending_ ? 1 : 0}, {"url", updateURL_}, {"msg", updateMessage_}});
         }));
    s.on("POST", path(ZVApi::kLogin),
         codedRoute([this](const Value& req, JournalEntry& entry) { return loginReply(req, entry); }));
    s.on("POST", path(ZVApi::kLogout), codedRoute([this](const Value& req, JournalEntry&) {
             std::lock_guard lock(mutex_);
             auto it = sessions_.find(req.text("i"));
             if (it != sessions_.end() && it->second == req.text("s")) sessions_.erase(it);
             return Value::dict({{"z", 1}, {"b", "已退出"}});
         }));
    s.on("POST", path(ZVApi::kRoleUpload), codedRoute([](const Value& req, JournalEntry&) {
             for (auto* k : {"roleId", "roleName", "roleLevel", "zoneId", "zoneName"})
                 if (req.text(k).empty()) return fail(0, "角色信息不全");
             return Value::dict({{"z", 1}, {"b", "上传成功"}});
         }));
    s.on("POST", path(ZVApi::kOnlineTime), codedRoute([](const Value&, JournalEntry&) {
             return Value::dict({{"z", 1}, {"b", ""}});
         }));
    s.on("POST", path(ZVApi::kRealName), codedRoute([this](const Value& req, JournalEntry&) {
             if (req.text("r").empty()) return fail(0, "请输入真实姓名");
             if (!identityNumberOk(req.text("id"))) return fail(0, "身份证号码有误");
             std::lock_guard lock(mutex_);
             auto it = accounts_.find(req.text("i"));
             if (it != accounts_.end()) it->second.rzStatus.assign(1, '1');
             return Value::dict({{"z", 1}, {"b", "认证成功"}, {"frz", 0}, {"nrz", "1"}, {"lmit", ""}});
         }));
    s.on("POST", path(ZVApi::kPayWays), codedRoute([this](const Value& req, JournalEntry&) {
             std::lock_guard lock(mutex_);
             std::string user = userForToken(req.text("s"));
             if (user.empty()) return fail(-5, "登录已失效，请重新登录");
             return Value::dict(
                 {{"z", 1},
                  {"c", Value::array({Value::dict({{"id", "ptb"},
                                                   {"name", "平台币"},
                                                   {"balance", moneyText(accounts_[user].balanceCents)}})})}});
         }));
    s.on("POST", path(ZVApi::kPayOrder), codedRoute([this](const Value& req, JournalEntry&) { return payReply(req); }));
    s.on("POST", path(ZVApi::kSmsCode), formRoute([this](const Value& f) { return smsCode(f); }));
    s.on("POST", path(ZVApi::kBindPhone), formRoute([this](const Value& f) {
             if (!codeOk(f.text("yzm"))) return Value::dict({{"a", 0}, {"b", "验证码错误"}});
             std::lock_guard lock(mutex_);
             auto it = accounts_.find(f.text("username"));
             if (it == accounts_.end()) return Value::dict({{"a", 0}, {"b", "账号不存在"}});
             it->second.phone = f.text("sj");
             return Value::dict({{"a", 1}, {"b", "绑定成功"}});
         }));
}

}  // namespace standin
