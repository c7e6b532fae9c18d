// The account tab "我的": its one request per appearance, what its reply
// fills in (and what a bad reply leaves), copy, the switches, logout and
// close, driven against the stand-in on the test clock.

#include "UserCentreTestSupport.h"
#include "platform/device/UIPasteboard.h"
#include "platform/ui/UIAlertController.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/account/ZVSuSubNameVC.h"
#include "usercenter/screens/account/ZVSuUserVC.h"
#include "usercenter/screens/account/ZVSuWalletVC.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {

class Account : public UserCentreTest {
protected:
    void SetUp() override {
        UserCentreTest::SetUp();
        ShareVale::sharedInstance().setUserName("player1");
        UIPasteboard::setStore(std::make_shared<MemoryPasteboardStore>());
    }
    void TearDown() override {
        UIPasteboard::setStore(nullptr);
        ShareVale::sharedInstance().xiaohao_nickName.clear();
        ShareVale::sharedInstance().isHideSuspend = false;
        UserCentreTest::TearDown();
    }
    // The user centre opened on its first tab, its first reply shown.
    std::shared_ptr<ZVSuUserVC> open() {
        centre = openUserCentre();
        auto vc = centre ? tabRoot<ZVSuUserVC>(*centre, 0) : nullptr;
        EXPECT_TRUE(vc);
        EXPECT_TRUE(settle([&] { return requests(ZVApi::kUserIndex) == 1 && vc && !vc->dic().isNull(); }));
        return vc;
    }
    // Scrolls the page to its end (the settings and logout, above the tab bar).
    void scrollToEnd(ZVSuUserVC& vc) {
        auto& page = *vc.scrollView;
        page.setContentOffset({0, page.contentSize().height - page.bounds().height()});
        uitest::layout();
    }
    void script(const Reply& reply) { env->standin().server().script(UserCentreStandin::path(ZVApi::kUserIndex), reply); }
    std::shared_ptr<ZVSuTabBarVC> centre;
};

TEST_F(Account, OneRequestOnFirstAppearanceAndOneAfterAPushAndPop) {
    env->standin().setProfile("player1", Value::dict({{"starcoin", "36"}, {"djq", "120.00"}}),
                              Value::dict({{"money", "45"}, {"count", 3}}));
    auto vc = open();
    ASSERT_TRUE(vc);
    EXPECT_EQ(vc->nickL->text(), "玩家一");
    EXPECT_EQ(vc->nameL->text(), "账号：player1");
    EXPECT_EQ(vc->ptbL->text(), "1000.00");
    EXPECT_EQ(vc->xinL->text(), "36");
    EXPECT_EQ(vc->couponNumL->text(), "共3张");
    EXPECT_EQ(vc->rzL->text(), "已认证");
    EXPECT_EQ(vc->mobileL->text(), "去绑定");
    EXPECT_EQ(vc->payPicLeft->constant(), ZVSuUserVC::kPayPicLeftAlone);  // no "vippic"
    EXPECT_TRUE(vc->msgNumL->isHidden());
    advance(1);
    EXPECT_EQ(requests(ZVApi::kUserIndex), 1u);

    vc->goToOtherVC(ZVSuUserVC::kReservations);
    advance(0.5);
    vc->navigationController()->popViewControllerAnimated(false);
    advance(0.5);
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kUserIndex) == 2; }));
}

TEST_F(Account, ABadReplyToastsAndLeavesThePageAsItWas) {
    auto vc = open();
    ASSERT_TRUE(vc);
    struct Case {
        const char* name;
        Reply reply;
        const char* toast;
    };
    for (auto& c : std::vector<Case>{
             {"refusal", UserCentreStandin::coded(Value::dict({{"a", 0}, {"b", "账号已冻结"}})), "账号已冻结"},
             {"500", Reply::html500(), "服务器错误"},
             {"not a dictionary", Reply::text("[1, 2]", "text/html"), "服务器错误"},
             {"a refusal without a message", UserCentreStandin::coded(Value::dict({{"a", 0}})), "服务器错误"},
             {"reset", Reply::closeConnection(), "服务器错误"},
         }) {
        script(c.reply);
        vc->loadData();
        EXPECT_TRUE(settle([&] { return labelShown(c.toast); })) << c.name;
        EXPECT_EQ(vc->nickL->text(), "玩家一") << c.name;
        advance(3);
    }
}

TEST_F(Account, WhatTheReplyFillsIn) {
    struct Case {
        const char* name;
        Value c;
        double payPicLeft;
        std::string unread, wallet, nick, coupon;
        std::string balance = "0";  // vouchers and star coins
    };
    const Value full = Value::dict({{"uinfo", Value::dict({{"vippic", env->standin().pictureURL("icon.png")}, {"weidu", "3"},
                                                           {"wallet", 1234567.89}, {"nicename", "星"},
                                                           {"djq", "7"}, {"starcoin", 7}})},
                                    {"coupon", Value::dict({{"money", "45"}, {"count", 3}})}});
    // A new account: numbers missing, empty or null read 0.
    for (auto& c : std::vector<Case>{
             {"full", full, ZVSuUserVC::kPayPicLeftWithVip, "3", "1234567.89", "星", "共3张", "7"},
             {"none unread", Value::dict({{"uinfo", Value::dict({{"weidu", 0}, {"wallet", "12.5"}})}}),
              ZVSuUserVC::kPayPicLeftAlone, "", "12.50", "昵称", "共0张"},
             {"null uinfo and coupon", Value::dict({{"uinfo", Value()}, {"coupon", Value()}}), ZVSuUserVC::kPayPicLeftAlone,
              "", "0.00", "昵称", "共0张"},
             {"wallet and weidu as text", Value::dict({{"uinfo", Value::dict({{"wallet", "abc"}, {"weidu", "x"}})}}),
              ZVSuUserVC::kPayPicLeftAlone, "", "0.00", "昵称", "共0张"},
             {"wallet not a finite number", Value::dict({{"uinfo", Value::dict({{"wallet", "NaN"}})}}),
              ZVSuUserVC::kPayPicLeftAlone, "", "0.00", "昵称", "共0张"},
             {"wallet infinite", Value::dict({{"uinfo", Value::dict({{"wallet", "-inf"}})}}),
              ZVSuUserVC::kPayPicLeftAlone, "", "0.00", "昵称", "共0张"},
             {"empty and null numbers",
              Value::dict({{"uinfo", Value::dict({{"money", ""}, {"djq", Value()}, {"starcoin", " "}})},
                           {"coupon", Value::dict({{"money", ""}, {"count", Value()}})}}),
              ZVSuUserVC::kPayPicLeftAlone, "", "0.00", "昵称", "共0张"},
         }) {
        Value reply = Value::dict({{"a", 1}, {"b", ""}, {"c", c.c}});
        script(UserCentreStandin::coded(reply));
        auto vc = open();
        ASSERT_TRUE(vc) << c.name;
        EXPECT_EQ(vc->payPicLeft->constant(), c.payPicLeft) << c.name;
        EXPECT_EQ(vc->payPic->frame().minX(), 87 + c.payPicLeft) << c.name;
        EXPECT_EQ(vc->msgNumL->isHidden(), c.unread.empty()) << c.name;
        EXPECT_EQ(vc->msgNumL->text(), c.unread) << c.name;
        EXPECT_EQ(vc->walletL->text(), c.wallet) << c.name;
        EXPECT_EQ(vc->nickL->text(), c.nick) << c.name;
        EXPECT_EQ(vc->couponNumL->text(), c.coupon) << c.name;
        EXPECT_EQ(vc->djqL->text(), c.balance) << c.name;
        EXPECT_EQ(vc->xinL->text(), c.balance) << c.name;
        if (c.coupon == "共0张") {
            EXPECT_EQ(vc->ptbL->text(), "0") << c.name;
            EXPECT_EQ(vc->couponMoneyL->text(), "￥0") << c.name;
        }
        EXPECT_EQ(vc->xiaohao_nickL->text(), "小号名：") << c.name;
        EXPECT_EQ(vc->nameL->text().find("(null)"), std::string::npos) << c.name;
        centre->close();
        advance(1);
        env->standin().journal().clear();
    }
}

TEST_F(Account, TheTitleBadgeOpensTheTitlePage) {
    env->standin().setProfile("player1", Value::dict({{"paypic", env->standin().pictureURL("icon.png")}}), Value::dict());
    auto vc = open();
    ASSERT_TRUE(vc);
    uitest::layout();
    ASSERT_TRUE(uitest::tapView(*vc->payPic));
    advance(0.5);
    auto page = std::dynamic_pointer_cast<ZVSuWebVC>(vc->navigationController()->topViewController());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->name, "用户头衔等级说明");
    EXPECT_EQ(page->url, ZVApi::baseURL() + "Agreement/tx");
}

TEST_F(Account, CopyAndTheSwitches) {
    ShareVale::sharedInstance().xiaohao_nickName = "小号A";
    auto vc = open();
    ASSERT_TRUE(vc);
    ASSERT_TRUE(uitest::tapView(*vc->copyBtn));
    EXPECT_EQ(UIPasteboard::generalPasteboard().string(), "账号：player1\n小号A");
    advance(0.1);
    EXPECT_TRUE(settle([&] { return labelShown("账号复制成功"); }));

    // The automatic-login switch writes the setting at once.
    scrollToEnd(*vc);
    bool wasOn = vc->autoLoginBtn->isSelected();
    ASSERT_TRUE(uitest::tapView(*vc->autoLoginBtn));
    EXPECT_EQ(ShareVale::sharedInstance().isNotAutoLogin(), wasOn);
    ASSERT_TRUE(uitest::tapView(*vc->autoLoginBtn));

    // Switching the floating button off asks first: Escape is "取消", and
    // "确定" keeps it hidden after closing.
    ASSERT_TRUE(vc->suspendStatusBtn->isSelected());
    ASSERT_TRUE(uitest::tapView(*vc->suspendStatusBtn));
    advance(0.5);
    ASSERT_TRUE(std::dynamic_pointer_cast<UIAlertController>(centre->presentedViewController()));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    advance(0.5);
    EXPECT_FALSE(centre->presentedViewController());
    EXPECT_TRUE(vc->suspendStatusBtn->isSelected());
    EXPECT_EQ(userCentre(), centre);
    ASSERT_TRUE(uitest::tapView(*vc->suspendStatusBtn));
    advance(0.5);
    auto alert = std::dynamic_pointer_cast<UIAlertController>(centre->presentedViewController());
    ASSERT_TRUE(alert);
    EXPECT_FALSE(ShareVale::sharedInstance().isHideSuspend);
    ASSERT_TRUE(uitest::tapButton("确定"));
    advance(0.5);
    EXPECT_FALSE(vc->suspendStatusBtn->isSelected());
    EXPECT_TRUE(ShareVale::sharedInstance().isHideSuspend);
    EXPECT_EQ(userCentre(), centre);  // the alert's dismissal leaves the user centre up
    vc->scrollView->setContentOffset({0, 0});
    ASSERT_TRUE(uitest::tapButton("关闭"));
    advance(0.5);
    EXPECT_FALSE(userCentre());
    EXPECT_TRUE(CXRHelperBtn::sharedButton()->isHidden());
}

TEST_F(Account, LogoutTellsTheGameOnce) {
    ShareVale::sharedInstance().setUserName("");  // the login screen offers the last name
    loginThroughScreen();
    ShareVale::sharedInstance().setUserName("player1");
    auto vc = open();
    ASSERT_TRUE(vc);
    scrollToEnd(*vc);
    ASSERT_TRUE(uitest::tapButton("退出登录"));
    advance(0.5);
    EXPECT_EQ(login.failures, (std::vector<std::pair<int, std::string>>{{-9, "注销"}}));
    EXPECT_FALSE(userCentre());
}

TEST_F(Account, TheWalletAndSubAccountScreens) {
    // A picture of the stand-in: the avatar is loaded, and no outside name is looked up.
    const std::string avatar = env->standin().pictureURL("icon.jpg");
    env->standin().setProfile("player1", Value::dict({{"avatar", avatar}}), Value::dict());
    auto vc = open();
    ASSERT_TRUE(vc);
    auto nav = vc->navigationController();
    vc->doShowWalletVC();
    advance(0.5);
    auto wallet = std::dynamic_pointer_cast<ZVSuWalletVC>(nav->topViewController());
    ASSERT_TRUE(wallet);
    EXPECT_EQ(wallet->dataDic.text("avatar"), avatar);
    nav->popViewControllerAnimated(false);

    vc->goToSubNameVC();
    advance(0.5);
    auto sub = std::dynamic_pointer_cast<ZVSuSubNameVC>(nav->topViewController());
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->iconUrl, avatar);
    // No sub-account can be chosen in this build: the screen says so and offers no way that only logs out.
    uitest::layout();
    EXPECT_TRUE(labelShown(ZVSuSubNameVC::kNoChoice));
    EXPECT_TRUE(labelShown("当前账号：player1"));
    EXPECT_FALSE(uitest::findButton("退出登录并切换小号"));
    sub->doLogout();
    EXPECT_TRUE(centre->isShouldDismiss);
}

}  // namespace
