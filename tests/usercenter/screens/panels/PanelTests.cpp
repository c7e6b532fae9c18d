// The account tab's panels: real name (on the account page and after a
// login that asks for it), password reset with its code button, phone
// binding and unbinding, and the web panel over the real-name panel.

#include "UserCentreTestSupport.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/ui/UIKeyboard.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVResponses.h"
#include "usercenter/core/ZVSuBangView.h"
#include "usercenter/screens/panels/ZVCountDownButton.h"
#include "usercenter/screens/panels/ZVLoginRzView.h"
#include "usercenter/screens/panels/ZVLoginWebView.h"
#include "usercenter/screens/panels/ZVSuForgetView.h"
#include "usercenter/screens/account/ZVSuUserVC.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

class Panels : public UserCentreTest {
protected:
    void SetUp() override {
        UserCentreTest::SetUp();
        ShareVale::sharedInstance().setUserName("player1");
    }
    void setAccount(const std::function<void(UserCentreStandin::Account&)>& change) {
        auto a = *env->standin().account("player1");
        change(a);
        env->standin().addAccount("player1", a);
    }
    std::shared_ptr<ZVSuUserVC> open() {
        auto centre = openUserCentre();
        auto vc = centre ? tabRoot<ZVSuUserVC>(*centre, 0) : nullptr;
        EXPECT_TRUE(vc && settle([&] { return !vc->dic().isNull(); }));
        return vc;
    }
    bool onScreen(const std::shared_ptr<UIView>& panel) { return panel && panel->window(); }
    template <class Panel>
    std::shared_ptr<Panel> findPanel() {
        uitest::layout();
        return std::dynamic_pointer_cast<Panel>(uitest::findView([](UIView& v) { return dynamic_cast<Panel*>(&v) != nullptr; }));
    }
    void toastGone() { advance(3); }
};

TEST_F(Panels, RealNameOnTheAccountPage) {
    setAccount([](auto& a) { a.rzStatus = "0"; });
    auto vc = open();
    ASSERT_TRUE(vc);
    EXPECT_EQ(vc->rzL->text(), "未认证");
    vc->goToRz();
    auto rz = vc->rzView();
    uitest::layout();
    ASSERT_TRUE(onScreen(rz));
    EXPECT_EQ(rz->superview(), vc->coverView());

    ASSERT_TRUE(uitest::tapView(*rz->rzBtn));
    EXPECT_TRUE(labelShown("请输入姓名"));
    toastGone();
    typeInto(rz->nameF, "张三");
    ASSERT_TRUE(uitest::tapView(*rz->rzBtn));
    EXPECT_TRUE(labelShown("请输入身份证号"));
    toastGone();
    EXPECT_EQ(requests(ZVApi::kRealName), 0u);

    // A refusal keeps what was typed.
    typeInto(rz->codeF, "1234");
    ASSERT_TRUE(uitest::tapView(*rz->rzBtn));
    ASSERT_TRUE(settle([&] { return labelShown("身份证号码有误"); }));
    EXPECT_EQ(rz->nameF->text(), "张三");
    EXPECT_EQ(rz->codeF->text(), "1234");
    toastGone();

    rz->codeF->setText("110101199003071234");
    ASSERT_TRUE(uitest::tapView(*rz->rzBtn));
    ASSERT_TRUE(settle([&] { return vc->rzL->text() == "已认证"; }));
    EXPECT_TRUE(vc->isRz());
    EXPECT_EQ(ShareVale::sharedInstance().isRz(), "1");
    EXPECT_FALSE(onScreen(rz));
    EXPECT_FALSE(vc->coverView()->superview());
    EXPECT_EQ(requests(ZVApi::kRealName), 2u);
}

TEST_F(Panels, ALoginThatMustVerifyShowsThePanelAndFinishesAfterIt) {
    setAccount([](auto& a) {
        a.rzStatus = "0";
        a.mustRZ = true;
    });
    ShareVale::sharedInstance().setUserName("");  // the login screen offers the last name
    openLogin();
    auto login = ZVLoginVC::current();
    ASSERT_TRUE(login);
    typeInto(login->accountField(), "player1");
    typeInto(login->passwordField(), "secret1");
    ASSERT_TRUE(uitest::tapButton("登录"));
    std::shared_ptr<ZVLoginRzView> rz;
    ASSERT_TRUE(settle([&] {
        rz = std::dynamic_pointer_cast<ZVLoginRzView>(
            uitest::findView([](UIView& v) { return dynamic_cast<ZVLoginRzView*>(&v) != nullptr; }));
        return rz != nullptr;
    }));
    EXPECT_EQ(this->login.successes, 0);
    EXPECT_TRUE(rz->closeBtn->isHidden());
    EXPECT_EQ(rz->rzBtnLeft, ZVLoginRzView::kSide);
    typeInto(rz->nameF, "张三");
    typeInto(rz->codeF, "110101199003071234");
    ASSERT_TRUE(uitest::tapView(*rz->rzBtn));
    ASSERT_TRUE(settle([&] { return this->login.successes == 1; }));
    EXPECT_EQ(this->login.rzStatus, "1");
}

// Another account remembered from before: the login's check goes with the
// account that just logged in, which the server then keeps verified.
TEST_F(Panels, TheLoginsCheckIsNotTheRememberedAccounts) {
    setAccount([](auto& a) { a.rzStatus = "0"; });
    ShareVale::sharedInstance().setUserName("player0");
    openLogin();
    auto login = ZVLoginVC::current();
    ASSERT_TRUE(login);
    login->accountField()->setText("player1");
    login->passwordField()->setText("secret1");
    ASSERT_TRUE(uitest::tapButton("登录"));
    std::shared_ptr<ZVLoginRzView> rz;
    ASSERT_TRUE(settle([&] { return onScreen(rz = findPanel<ZVLoginRzView>()); }));
    rz->nameF->setText("张三");
    rz->codeF->setText("110101199003071234");
    ASSERT_TRUE(uitest::tapView(*rz->rzBtn));
    ASSERT_TRUE(settle([&] { return this->login.successes == 1; }));
    EXPECT_EQ(env->standin().journal().last(UserCentreStandin::path(ZVApi::kRealName))->decoded.text("i"), "player1");
    EXPECT_EQ(env->standin().account("player1")->rzStatus, "1");
}

// Escape in the login window closes the panel on top, one at a time, the
// window last; over the real-name panel it is "暂不认证".
TEST_F(Panels, EscapeInTheLoginWindowClosesThePanelOnTop) {
    setAccount([](auto& a) { a.rzStatus = "0"; });
    ShareVale::sharedInstance().setUserName("");  // the login screen offers no name
    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    ASSERT_TRUE(uitest::tapView(*vc->forgetButton()));
    auto forget = findPanel<ZVSuForgetView>();
    ASSERT_TRUE(onScreen(forget));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_EQ(ZVLoginVC::current(), vc);
    EXPECT_FALSE(onScreen(forget));
    EXPECT_FALSE(uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "panel_cover"; }));

    ASSERT_TRUE(uitest::tapView(*vc->agreementButton()));
    auto web = findPanel<ZVLoginWebView>();
    ASSERT_TRUE(onScreen(web));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_FALSE(onScreen(web));
    EXPECT_EQ(ZVLoginVC::current(), vc);
    EXPECT_TRUE(login.failures.empty());

    typeInto(vc->accountField(), "player1");
    typeInto(vc->passwordField(), "secret1");
    ASSERT_TRUE(uitest::tapButton("登录"));
    ASSERT_TRUE(settle([&] { return onScreen(findPanel<ZVLoginRzView>()); }));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_EQ(login.successes, 1);
    EXPECT_TRUE(login.failures.empty());
    EXPECT_FALSE(ZVLoginVC::current());
}

// Tab on the login card reaches its controls too; the reset panel on top
// keeps focus and typing, and the card's fields keep their text, also the
// one being edited when the panel came.
TEST_F(Panels, TabAndTypingStayInTheResetPanelOverTheLoginCard) {
    ShareVale::sharedInstance().setUserName("");
    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    typeInto(vc->accountField(), "demo");
    typeInto(vc->passwordField(), "123456");
    using Views = std::vector<std::shared_ptr<UIView>>;
    EXPECT_EQ(UIKeyRouting::tabStops(),
              (Views{vc->closeButton(), vc->accountField(), vc->passwordField(), vc->forgetButton(),
                     uitest::findButton("登录"), vc->agreementButton(), vc->privacyButton()}));

    // Tab from the password to "忘记密码", Space opens the reset panel.
    ASSERT_TRUE(uitest::pressKey(UIKeyInputTab));
    EXPECT_EQ(UIKeyRouting::focusedControl(), vc->forgetButton());
    ASSERT_TRUE(uitest::pressKey(" "));
    auto forget = findPanel<ZVSuForgetView>();
    ASSERT_TRUE(onScreen(forget));
    EXPECT_EQ(UIKeyRouting::tabStops(), (Views{forget->closeBtn, forget->numF, forget->pwdF, forget->pwdBtn,
                                               forget->codeF, forget->codeBtn, forget->commitBtn}));
    for (const char* typed : {"13800001111", "newpass1", "", "1234", "", "", "", "7"}) {
        ASSERT_TRUE(uitest::pressKey(UIKeyInputTab));
        EXPECT_EQ(uitest::insertText(typed), *typed != 0) << typed;
    }
    EXPECT_EQ(forget->numF->text(), "138000011117");
    EXPECT_EQ(forget->pwdF->text(), "newpass1");
    EXPECT_EQ(forget->codeF->text(), "1234");
    EXPECT_EQ(vc->accountField()->text(), "demo");
    EXPECT_EQ(vc->passwordField()->text(), "123456");

    // Escape ends the editing, then closes the panel. The account edited
    // when the panel opens again: typing goes nowhere.
    ASSERT_TRUE(uitest::pressKey(UIKeyInputEscape));
    ASSERT_TRUE(uitest::pressKey(UIKeyInputEscape));
    ASSERT_FALSE(onScreen(forget));
    ASSERT_TRUE(uitest::tapView(*vc->accountField()));
    ASSERT_TRUE(uitest::tapView(*vc->forgetButton()));
    ASSERT_TRUE(onScreen(findPanel<ZVSuForgetView>()));
    EXPECT_FALSE(uitest::insertText("6543217"));
    EXPECT_EQ(vc->accountField()->text(), "demo");
}

TEST_F(Panels, EscapeLeavesAMandatoryRealNamePanelUp) {
    setAccount([](auto& a) {
        a.rzStatus = "0";
        a.mustRZ = true;
    });
    ShareVale::sharedInstance().setUserName("");
    openLogin();
    auto vc = ZVLoginVC::current();
    ASSERT_TRUE(vc);
    typeInto(vc->accountField(), "player1");
    typeInto(vc->passwordField(), "secret1");
    ASSERT_TRUE(uitest::tapButton("登录"));
    std::shared_ptr<ZVLoginRzView> rz;
    ASSERT_TRUE(settle([&] { return onScreen(rz = findPanel<ZVLoginRzView>()); }));
    // Its rules page closes; the panel stays, and so does the window.
    rz->showDetail();
    auto web = findPanel<ZVLoginWebView>();
    ASSERT_TRUE(onScreen(web));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_FALSE(onScreen(web));
    for (int i = 0; i < 2; ++i) uitest::pressKey(UIKeyInputEscape);
    EXPECT_TRUE(onScreen(rz));
    EXPECT_EQ(ZVLoginVC::current(), vc);
    EXPECT_TRUE(login.failures.empty());
    EXPECT_EQ(login.successes, 0);
}

TEST_F(Panels, ClosingWithoutACoverHandsTheLoginOnAndTheOtherPanelRunsItsBlockOnce) {
    auto login = std::make_shared<LoginResult>();
    int done = 0;
    auto rz = ZVLoginRzView::fromNib();
    rz->setLoginData(login);
    rz->rzBlock = [&] { ++done; };
    makeWindow()->rootViewController()->view()->addSubview(rz);
    EXPECT_FALSE(rz->closeBtn->isHidden());
    EXPECT_EQ(rz->rzBtnLeft, 157.5);
    ASSERT_TRUE(uitest::tapView(*rz->closeBtn));
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(rz->superview());

    auto su = ZVSuRzView::fromNib();
    int suDone = 0;
    su->rzBlock = [&] { ++suDone; };
    makeWindow()->rootViewController()->view()->addSubview(su);
    su->nameF->setText("张三");
    su->codeF->setText("110101199003071234");
    ASSERT_TRUE(uitest::tapView(*su->rzBtn));
    ASSERT_TRUE(settle([&] { return !su->superview(); }));
    advance(1);
    EXPECT_EQ(suDone, 1);
}

TEST_F(Panels, PasswordResetChecksItsFieldsInUtf16Units) {
    setAccount([](auto& a) { a.phone = "13812345678"; });
    auto vc = open();
    ASSERT_TRUE(vc);
    vc->showForgetView();
    auto panel = vc->forgetView();
    ASSERT_TRUE(onScreen(panel));
    struct Case {
        const char *phone, *password, *code, *toast;
    };
    for (auto& c : std::vector<Case>{
             {"1381234567", "secret", "1234", "请输入正确的手机号"},
             {"138123456789", "secret", "1234", "请输入正确的手机号"},
             {"13812345678", "secre", "1234", "密码不少于6位"},
             {"13812345678", "秘密密码😀", "1234", nullptr},  // 6 UTF-16 units
             {"13812345678", "secret", "", "请输入验证码"},
         }) {
        panel->numF->setText(c.phone);
        panel->pwdF->setText(c.password);
        panel->codeF->setText(c.code);
        EXPECT_EQ(panel->isOK(), c.toast == nullptr) << c.phone << " " << c.password;
        if (c.toast) {
            EXPECT_TRUE(labelShown(c.toast)) << c.toast;
        }
        toastGone();
    }
    EXPECT_EQ(requests(ZVApi::kForgetPassword), 0u);
}

TEST_F(Panels, TheCodeButtonCountsDownAndAResetClosesHalfASecondLater) {
    setAccount([](auto& a) { a.phone = "13812345678"; });
    auto vc = open();
    ASSERT_TRUE(vc);
    vc->showForgetView();
    auto panel = vc->forgetView();
    // A refused code leaves the button as it was.
    panel->numF->setText("123");
    ASSERT_TRUE(uitest::tapView(*panel->codeBtn));
    ASSERT_TRUE(settle([&] { return labelShown("手机号码格式错误"); }));
    EXPECT_EQ(panel->codeBtn->titleForState(UIControlStateNormal), "获取验证码");
    EXPECT_TRUE(panel->codeBtn->isEnabled());
    toastGone();

    panel->numF->setText("13812345678");
    ASSERT_TRUE(uitest::tapView(*panel->codeBtn));
    ASSERT_TRUE(settle([&] { return panel->codeBtn->isCounting(); }));
    EXPECT_EQ(env->standin().journal().last(UserCentreStandin::path(ZVApi::kSmsCode))->decoded.str("type"), "5");
    EXPECT_EQ(panel->codeBtn->titleForState(UIControlStateNormal), "剩余30秒");
    EXPECT_FALSE(panel->codeBtn->isEnabled());
    advance(1);
    EXPECT_EQ(panel->codeBtn->titleForState(UIControlStateNormal), "剩余29秒");
    advance(29);
    EXPECT_EQ(panel->codeBtn->titleForState(UIControlStateNormal), "重新获取");
    EXPECT_TRUE(panel->codeBtn->isEnabled());

    panel->pwdF->setText("newpass1");
    panel->codeF->setText("8888");
    ASSERT_TRUE(uitest::tapView(*panel->commitBtn));
    ASSERT_TRUE(settle([&] { return labelShown("密码修改成功"); }));
    advance(0.4);
    EXPECT_TRUE(onScreen(panel));
    advance(0.2);
    EXPECT_FALSE(onScreen(panel));
    EXPECT_EQ(env->standin().account("player1")->password, "newpass1");
}

TEST_F(Panels, ACountdownFromOneEndsOnItsFirstTick) {
    auto button = std::make_shared<ZVCountDownButton>();
    button->startWithSecond(1);
    advance(1);
    EXPECT_FALSE(button->isCounting());
    EXPECT_EQ(button->titleForState(UIControlStateNormal), "重新获取");
    EXPECT_EQ(button->second(), 1);
}

TEST_F(Panels, BindingUnbindingAndTheResetRowWithoutAPhone) {
    auto vc = open();
    ASSERT_TRUE(vc);
    vc->showForgetView();
    EXPECT_TRUE(labelShown("请先绑定手机号"));
    EXPECT_FALSE(vc->coverView()->superview());
    toastGone();

    vc->showBangView();
    auto bang = vc->bangView();
    ASSERT_TRUE(onScreen(bang));
    bang->phoneField()->setText("13812345678");
    bang->codeField()->setText("8888");
    bang->bind();
    ASSERT_TRUE(settle([&] { return vc->mobileL->text() == "138****5678"; }));
    EXPECT_TRUE(vc->isBang());
    EXPECT_EQ(vc->mobileTitleL->text(), "更换手机号");
    toastGone();

    vc->showBangView();
    auto jie = vc->jieView();
    ASSERT_TRUE(onScreen(jie));
    ASSERT_TRUE(uitest::tapView(*jie->codeBtn));
    ASSERT_TRUE(settle([&] { return jie->codeBtn->isCounting(); }));
    auto sms = env->standin().journal().last(UserCentreStandin::path(ZVApi::kSmsCode));
    EXPECT_EQ(sms->decoded.str("type"), "7");
    EXPECT_EQ(sms->decoded.str("sj"), "");
    jie->codeF->setText("8888");
    ASSERT_TRUE(uitest::tapView(*jie->commitBtn));
    ASSERT_TRUE(settle([&] { return vc->mobileL->text() == "去绑定"; }));
    EXPECT_FALSE(onScreen(jie));
    EXPECT_EQ(env->standin().account("player1")->phone, "");
}

TEST_F(Panels, TheWebPanelOverTheRealNamePanel) {
    setAccount([](auto& a) { a.rzStatus = "0"; });
    auto vc = open();
    ASSERT_TRUE(vc);
    vc->goToRz();
    typeInto(vc->rzView()->codeF, "1");  // the keyboard up, the panel lifted over it
    ASSERT_TRUE(UIKeyboard::isVisible());
    vc->rzView()->showDetail();
    uitest::layout();
    EXPECT_FALSE(UIKeyboard::isVisible());  // the page covers the fields: the keyboard goes
    EXPECT_EQ(vc->rzView()->center(), (CGPoint{vc->coverView()->bounds().width() / 2,
                                               vc->coverView()->bounds().height() / 2}));
    auto web = vc->webView();
    ASSERT_TRUE(onScreen(web));
    EXPECT_EQ(web->superview(), vc->rzView());
    EXPECT_EQ(web->titleL->text(), "防沉迷系统详情");
    EXPECT_TRUE(web->moreBtn->isHidden());
    auto page = std::dynamic_pointer_cast<RecordingWebView>(web->webView);
    ASSERT_TRUE(page);
    size_t loads = page->loads().size();

    // Back keeps the page; showing it again loads the same address again.
    ASSERT_TRUE(uitest::tapView(*web->backBtn));
    EXPECT_FALSE(onScreen(web));
    vc->rzView()->showDetail();
    EXPECT_EQ(web->webView, std::static_pointer_cast<WKWebView>(page));
    EXPECT_EQ(page->loads().size(), loads + 1);

    // "more" only for an address URLEncode accepts.
    for (auto& [url, more] : std::vector<std::pair<std::string, bool>>{{"https://box.example/reward", true},
                                                                       {"not an address", false}}) {
        web->setIsShowMore(true);
        web->setUrl(url);
        EXPECT_EQ(!web->moreBtn->isHidden(), more) << url;
    }
}

TEST_F(Panels, TheLoginWindowsLinks) {
    openLogin();
    uitest::layout();
    ASSERT_TRUE(uitest::tapButton("忘记密码"));
    uitest::layout();
    auto forget = std::dynamic_pointer_cast<ZVSuForgetView>(
        uitest::findView([](UIView& v) { return dynamic_cast<ZVSuForgetView*>(&v) != nullptr; }));
    ASSERT_TRUE(forget);
    ASSERT_TRUE(uitest::tapView(*forget->closeBtn));
    EXPECT_FALSE(forget->window());
    EXPECT_FALSE(uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "panel_cover"; }));

    for (auto& [link, path] : std::vector<std::pair<std::string, std::string>>{{"《用户协议》", ZVApi::kAgreementPage},
                                                                              {"《隐私政策》", ZVApi::kPrivacyPage}}) {
        ASSERT_TRUE(uitest::tapButton(link)) << link;
        uitest::layout();
        auto web = std::dynamic_pointer_cast<ZVLoginWebView>(
            uitest::findView([](UIView& v) { return dynamic_cast<ZVLoginWebView*>(&v) != nullptr; }));
        ASSERT_TRUE(web) << link;
        EXPECT_EQ(web->titleL->text(), link);
        auto page = std::dynamic_pointer_cast<RecordingWebView>(web->webView);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->currentURL(), ZVApi::baseURL() + path);
        ASSERT_TRUE(uitest::tapView(*web->backBtn));
    }
}

}  // namespace
