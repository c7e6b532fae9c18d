#include "LoginRoadSupport.h"

#include <iostream>

#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UITextField.h"
#include "support/TestSupport.h"
#include "usercenter/core/ZVLoginVC.h"

namespace roadtest {

namespace {

standin::UserCentreStandin::Options userCentreOptions() {
    standin::UserCentreStandin::Options o;
    o.appKey = "k3y";
    return o;
}

std::string plist(const Value& v) {
    auto bytes = v.toXMLPlist();
    return std::string(bytes.begin(), bytes.end());
}

bool typeInto(const std::shared_ptr<UIView>& field, const std::string& text) {
    return field && uitest::tapView(*field) && field->isFirstResponder() && uitest::insertText(text);
}

}  // namespace

StandIns::StandIns() : userCentre(userCentreOptions()) {
    standin::UserCentreStandin::Account account;
    account.password = kPassword;
    account.nickName = "玩家一";
    userCentre.addAccount(kPlayer, account);
}

bool StandIns::start() { return aggregator.start() && userCentre.start(); }

Value infoFor(StandIns& s) {
    Value info = s.aggregator.infoPlistSettings();
    Value uc = s.userCentre.infoPlistSettings();
    for (auto& key : uc.keys()) info.set(key, uc[key]);
    info.set("CFBundleIdentifier", "com.example.loginroad");
    info.set("CFBundleShortVersionString", "1.2.0");
    info.set("RELAY_PRODUCT_CODE", "P100");
    info.set("RELAY_PRODUCT_KEY", "abcdefgh12345");
    info.set("KL_URL", "local://game/");
    info.set("UISupportedInterfaceOrientations", Value::array({"UIInterfaceOrientationPortrait"}));
    return info;
}

void writeBundle(const std::filesystem::path& dir, const Value& info, const std::string& page) {
    testsupport::writeFile(dir / "Info.plist", plist(info));
    testsupport::writeFile(dir / "ZV.plist", plist(Value::dict({{"ZORVIA_APPKEY", "k3y"},
                                                                {"ZORVIA_GAMEID", "1001"},
                                                                {"ZORVIA_APPID", "88"},
                                                                {"ZORVIA_AGENT", "977"}})));
    testsupport::writeFile(dir / "relayChannel.cfg", plist(Value::dict({{"channel_type", "977"},
                                                                         {"product_code", "P100"},
                                                                         {"product_key", "abcdefgh12345"},
                                                                         {"checkkey", kCheckKey}})));
    testsupport::writeFile(dir / "relayPlugins.cfg",
                           plist(Value::array({Value::dict({{"name", "prompt"}, {"managerName", "LoginDisablePrompt"}})})));
    testsupport::writeFile(dir / "Data" / "index.html", page);
}

bool loginThroughScreen(const std::string& account, const std::string& password) {
    if (!testsupport::waitFor([] { return ZVLoginVC::current() != nullptr; })) {
        std::cerr << "no login screen\n";
        return false;
    }
    auto vc = ZVLoginVC::current();
    if (!typeInto(vc->accountField(), account) || !typeInto(vc->passwordField(), password)) {
        std::cerr << "the login screen's fields take no text\n";
        return false;
    }
    if (!uitest::tapButton("登录")) {
        std::cerr << "no login button\n";
        return false;
    }
    return true;
}

}  // namespace roadtest
