#include "ScreenTestSupport.h"

#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UILabel.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVPayVC.h"
#include "usercenter/core/ZVScreenWindow.h"

void ScreenTest::SetUp() {
    UITest::SetUp();
    env.emplace();
    ZVExternal::setOpener([](const std::string&) { return true; });
}

void ScreenTest::TearDown() {
    if (auto pay = ZVPayVC::current()) pay->cancel();
    if (auto vc = ZVLoginVC::current()) ZVCloseScreenWindow(vc->window());
    auto button = CXRHelperBtn::sharedButton();
    button->attachLogin(nullptr);  // its failure block writes into this fixture
    button->stopOnlineTimer();
    button->destoryWindow();
    CXRHelperBtn::hide();
    advance(1);
    UITest::TearDown();
    ZVExternal::setOpener(nullptr);
    env.reset();
}

void ScreenTest::openLogin() {
    ZorviaSDK::loadLoginViewResultSuccess(
        [this](const std::string& t, const std::string& u, const std::string& s, const std::string& rz) {
            ++login.successes;
            login.loginTime = t;
            login.userName = u;
            login.sign = s;
            login.rzStatus = rz;
        },
        [this](int code, const std::string& message) { login.failures.emplace_back(code, message); });
}

void ScreenTest::typeInto(const std::shared_ptr<UIView>& field, const std::string& text) {
    ASSERT_TRUE(field);
    ASSERT_TRUE(uitest::tapView(*field));
    ASSERT_TRUE(field->isFirstResponder());
    ASSERT_TRUE(uitest::insertText(text));
}

void ScreenTest::loginThroughScreen(const std::string& password) {
    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    typeInto(vc->accountField(), "player1");
    typeInto(vc->passwordField(), password);
    ASSERT_TRUE(uitest::tapButton("登录"));
    ASSERT_TRUE(testsupport::waitFor([&] { return login.successes + int(login.failures.size()) > 0; }));
}

std::shared_ptr<UILabel> ScreenTest::findText(const std::string& text) {
    return std::static_pointer_cast<UILabel>(uitest::findView([&](UIView& v) {
        auto* l = dynamic_cast<UILabel*>(&v);
        return l && l->text() == text;
    }));
}

bool ScreenTest::labelShown(const std::string& text) { return findText(text) != nullptr; }

void ScreenTest::openPay(const std::string& money) {
    ZorviaSDK::loadToPayVCWithroleid(
        "r1", money, "s1", "钻石×60", "六十颗钻石", "AGG-0001",
        [this](const Value& a, const Value& b) {
            ++pay.successes;
            pay.a = a;
            pay.b = b;
        },
        [this](const Value& a, int code, const Value& b) {
            ++pay.failures;
            pay.a = a;
            pay.code = code;
            pay.b = b;
        });
}
