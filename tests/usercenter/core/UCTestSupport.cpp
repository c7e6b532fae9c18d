#include "UCTestSupport.h"

#include "platform/foundation/NSUserDefaults.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVNetwork.h"

namespace uctest {

Value infoFor(const standin::UserCentreStandin* s) {
    Value info = Value::dict({{"CFBundleIdentifier", "com.example.uctest"},
                              {"channel", "977"},
                              {"UISupportedInterfaceOrientations", Value::array({"UIInterfaceOrientationPortrait"})}});
    if (s) info.set("ZORVIA_SERVER_URL", s->serverURL());
    return info;
}

Value zvPlist() {
    return Value::dict({{"ZORVIA_APPKEY", "k3y"}, {"ZORVIA_GAMEID", "1001"}, {"ZORVIA_APPID", "88"},
                        {"ZORVIA_AGENT", "a1"}});
}

Environment::Environment(bool startStandin) {
    standin::UserCentreStandin::Options o;
    o.appKey = "k3y";
    standin_ = std::make_unique<standin::UserCentreStandin>(o);
    standin::UserCentreStandin::Account a;
    a.password = "secret1";
    a.nickName = "玩家一";
    a.rzStatus = "2";
    standin_->addAccount("player1", a);
    if (startStandin) {
        EXPECT_TRUE(standin_->start());
    }
    bundle_ = std::make_unique<testsupport::TempBundle>(infoFor(startStandin ? standin_.get() : nullptr));
    auto xml = zvPlist().toXMLPlist();
    bundle_->writeFile("ZV.plist", std::string(xml.begin(), xml.end()));
    auto& share = ShareVale::sharedInstance();
    share.reloadSettings();
    share.clearLogin();
    share.needsUpdate = false;
    share.isHideSuspend = false;
    zvnet::setCodedTimeout(std::chrono::seconds(10));
}

Environment::~Environment() {
    bundle_.reset();
    ShareVale::sharedInstance().reloadSettings();
    ShareVale::sharedInstance().clearLogin();
    standin_->stop();
}

void Environment::setInfo(const Value& info) {
    bundle_->setInfo(info);
    ShareVale::sharedInstance().reloadSettings();
}

}  // namespace uctest
