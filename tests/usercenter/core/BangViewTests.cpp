#include "ScreenTestSupport.h"
#include "platform/foundation/NSObject.h"
#include "platform/ui/UIEventInjection.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVSuBangView.h"

using standin::Reply;
using standin::UserCentreStandin;

namespace {
class BangView : public ScreenTest {
protected:
    std::shared_ptr<UIView> cover;
    std::shared_ptr<ZVSuBangView> panel;
    std::vector<std::string> returned;
    // As the account page shows it: on a dimming cover over the page.
    void showPanel() {
        auto w = makeWindow();
        auto page = w->rootViewController()->view();
        cover = std::make_shared<UIView>(page->bounds());
        cover->setBackgroundColor(UIColor::colorWithWhite(0, 0.2));
        panel = ZVSuBangView::ViewFromXib();
        panel->setCenter({cover->bounds().midX(), cover->bounds().midY()});
        panel->backBlock = [this](const std::string& masked) { returned.push_back(masked); };
        cover->addSubview(panel);
        page->addSubview(cover);
    }
};
}  // namespace

TEST(ZVSuBangViewMask, NeverReadsPastAShortNumber) {
    EXPECT_EQ(ZVSuBangView::maskPhone("13812345678"), "138****5678");
    EXPECT_EQ(ZVSuBangView::maskPhone("12345678"), "123****8");
    EXPECT_EQ(ZVSuBangView::maskPhone("1234567"), "123****");
    EXPECT_EQ(ZVSuBangView::maskPhone("12345"), "123****");
    EXPECT_EQ(ZVSuBangView::maskPhone("12"), "12****");
    EXPECT_EQ(ZVSuBangView::maskPhone(""), "****");
    EXPECT_EQ(ZVSuBangView::maskPhone("+8613812345678"), "+86****2345678");
}

TEST_F(BangView, BindsThePhoneAndReturnsTheMaskedNumber) {
    ShareVale::sharedInstance().setUserName("player1");
    showPanel();
    typeInto(panel->phoneField(), "13812345678");
    ASSERT_TRUE(uitest::tapButton("获取验证码"));
    ASSERT_TRUE(testsupport::waitFor([&] { return labelShown("验证码已发送"); }));
    auto sms = env->standin().journal().last(UserCentreStandin::path("Sdkhome/yzm"));
    ASSERT_TRUE(sms);
    EXPECT_EQ(sms->decoded, Value::dict({{"sj", "13812345678"}, {"username", "player1"}, {"type", "1"}}));
    // Another code only after the wait.
    EXPECT_FALSE(panel->codeButton()->isEnabled());
    EXPECT_EQ(panel->codeButton()->currentTitle(), "60s");
    advance(59);
    EXPECT_EQ(panel->codeButton()->currentTitle(), "1s");
    advance(1);
    EXPECT_TRUE(panel->codeButton()->isEnabled());
    EXPECT_EQ(panel->codeButton()->currentTitle(), "重新获取");

    typeInto(panel->codeField(), "123456");
    ASSERT_TRUE(uitest::tapButton("确认绑定"));
    ASSERT_TRUE(testsupport::waitFor([&] { return !returned.empty(); }));
    EXPECT_EQ(returned, std::vector<std::string>{"138****5678"});
    EXPECT_EQ(env->standin().account("player1")->phone, "13812345678");
    EXPECT_FALSE(panel->superview());
    EXPECT_FALSE(cover->superview());
    EXPECT_EQ(panel->phoneField()->text(), "");
    EXPECT_EQ(panel->codeField()->text(), "");
}

TEST_F(BangView, ARefusalIsShownAndThePanelStays) {
    ShareVale::sharedInstance().setUserName("player1");
    showPanel();
    ASSERT_TRUE(uitest::tapButton("确认绑定"));
    EXPECT_TRUE(labelShown("请输入手机号"));
    typeInto(panel->phoneField(), "13812345678");
    typeInto(panel->codeField(), "12");
    ASSERT_TRUE(uitest::tapButton("确认绑定"));
    ASSERT_TRUE(testsupport::waitFor([&] { return labelShown("验证码错误"); }));
    EXPECT_TRUE(returned.empty());
    EXPECT_TRUE(panel->superview());
    env->standin().server().script(UserCentreStandin::path("Sdkhome/bdtel"), Reply::html500());
    panel->codeField()->setText("1234");
    ASSERT_TRUE(uitest::tapButton("确认绑定"));
    ASSERT_TRUE(testsupport::waitFor([&] { return labelShown("服务器错误"); }));
    EXPECT_TRUE(returned.empty());

    // Closing removes the cover only when it is the panel's own.
    auto close = uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "bang_close"; });
    ASSERT_TRUE(close);
    ASSERT_TRUE(uitest::tapView(*close));
    EXPECT_FALSE(panel->superview());
    EXPECT_FALSE(cover->superview());
}

TEST_F(BangView, ClosingNeverTakesAPageWithIt) {
    auto w = makeWindow();
    auto page = w->rootViewController()->view();
    auto p = ZVSuBangView::ViewFromXib();
    page->addSubview(p);
    p->close();
    EXPECT_FALSE(p->superview());
    EXPECT_TRUE(page->superview());  // a controller's view stays
    EXPECT_TRUE(ClassRegistry::createAs<ZVSuBangView>("ZVSuBangView"));
}
