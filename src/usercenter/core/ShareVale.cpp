#include "usercenter/core/ShareVale.h"

#include <algorithm>

#include "platform/foundation/NSUserDefaults.h"
#include "platform/security/Keychain.h"
#include "usercenter/core/ZVResponses.h"

namespace {
constexpr const char* kPasswordService = "com.zorvia.sdk.password";
constexpr const char* kPasswordAccount = "quicklogin";
constexpr const char* kAutoLoginAccount = "autologin";
// The page's keychain store may not reach the saved passwords.
[[maybe_unused]] const bool kPasswordServiceReserved = keychain::reserveService(kPasswordService);
constexpr size_t kMaxAccounts = 5;
NSUserDefaults& defaults() { return NSUserDefaults::standardUserDefaults(); }
}  // namespace

ShareVale& ShareVale::sharedInstance() {
    static ShareVale* instance = new ShareVale();
    return *instance;
}

ShareVale::ShareVale() { reloadSettings(); }

void ShareVale::reloadSettings() { settings_ = ZVSettings::fromMainBundle(); }

std::string ShareVale::userName() const { return defaults().stringForKey(kZVUserNameKey); }
void ShareVale::setUserName(const std::string& name) { defaults().setObject(kZVUserNameKey, name); }
std::string ShareVale::token() const { return defaults().stringForKey(kZVTokenKey); }
void ShareVale::setToken(const std::string& token) { defaults().setObject(kZVTokenKey, token); }
std::string ShareVale::isRz() const { return defaults().objectForKey(kZVIsRzKey).textValue(); }
void ShareVale::setIsRz(const std::string& status) { defaults().setObject(kZVIsRzKey, status); }
bool ShareVale::isNotAutoLogin() const { return defaults().boolForKey(kZVIsNotAutoLoginKey); }
void ShareVale::setIsNotAutoLogin(bool v) {
    defaults().setBool(kZVIsNotAutoLoginKey, v);
    if (v) setAutoLoginDigest("");
}
int64_t ShareVale::loginStyle() const { return defaults().integerForKey(kZVLoginStyleKey); }
void ShareVale::setLoginStyle(int64_t style) { defaults().setInteger(kZVLoginStyleKey, style); }

std::vector<std::string> ShareVale::accounts() const {
    std::vector<std::string> out;
    Value stored = defaults().objectForKey(kZVAccountsKey);
    for (size_t i = 0; i < stored.size(); ++i) {
        if (auto s = stored[i].getString(); s && !s->empty()) out.push_back(*s);
    }
    return out;
}

void ShareVale::rememberAccount(const std::string& name) {
    if (name.empty()) return;
    auto list = accounts();
    list.erase(std::remove(list.begin(), list.end(), name), list.end());
    list.insert(list.begin(), name);
    if (list.size() > kMaxAccounts) list.resize(kMaxAccounts);
    Value v = Value::array();
    for (auto& a : list) v.push(a);
    defaults().setObject(kZVAccountsKey, v);
}

namespace {
std::string keptText(const char* account) {
    auto data = keychain::Keychain::standard().data(kPasswordService, account);
    return data ? std::string(data->begin(), data->end()) : "";
}

void keepText(const char* account, const std::string& text) {
    auto& kc = keychain::Keychain::standard();
    if (text.empty()) {
        kc.remove(keychain::Query::generic(kPasswordService, account));
        return;
    }
    kc.setData(kPasswordService, account, Data(text.begin(), text.end()));
}
}  // namespace

std::string ShareVale::password() const { return keptText(kPasswordAccount); }
void ShareVale::setPassword(const std::string& password) { keepText(kPasswordAccount, password); }
std::string ShareVale::autoLoginDigest() const { return keptText(kAutoLoginAccount); }
void ShareVale::setAutoLoginDigest(const std::string& digest) { keepText(kAutoLoginAccount, digest); }

bool ShareVale::canLogInAutomatically() const {
    return !isLogin && !isNotAutoLogin() && loginStyle() == 1 && !userName().empty() && !autoLoginDigest().empty();
}

void ShareVale::endLogin() {
    setLoginStyle(2);
    setAutoLoginDigest("");
    clearLogin();
}

void ShareVale::clearLogin() {
    isLogin = false;
    loginTime.clear();
    loginResult.reset();
    xiaohao_id.reset();
    xiaohao_nickName.clear();
    iosWapBoxUrl.clear();
}
