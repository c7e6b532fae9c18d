// The refusal prompts and the alert they use: what each reply shows, which
// button ends the process, and alerts that must be seen whatever the game
// or an SDK screen is showing.
#include <gtest/gtest.h>

#include "UITestSupport.h"
#include "aggregator/AlertTool.h"
#include "aggregator/LoginDisablePrompt.h"
#include "aggregator/RelayExit.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIEventInjection.h"
#include "standin/AggregatorStandin.h"

using standin::AggregatorStandin;

namespace {

class Prompts : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        setRelayExitFunction([this](int status) { exits.push_back(status); });
        game = makeWindow();
    }
    void TearDown() override {
        setRelayExitFunction(nullptr);
        UITest::TearDown();
    }
    std::shared_ptr<UIAlertController> alertOver(const std::shared_ptr<UIViewController>& vc) {
        return std::dynamic_pointer_cast<UIAlertController>(vc->presentedViewController());
    }
    // A screen of the SDK in a window of its own above the game.
    std::shared_ptr<UIWindow> sdkScreen() {
        auto w = std::make_shared<UIWindow>();
        w->setWindowLevel(UIWindowLevelStatusBar + 2);
        w->setRootViewController(std::make_shared<UIViewController>());
        w->makeKeyAndVisible();
        windows.push_back(w);
        return w;
    }
    bool tapOK() {
        advance(1);
        bool tapped = uitest::tapButton("确定");
        advance(1);
        return tapped;
    }

    std::shared_ptr<UIWindow> game;
    std::vector<int> exits;
    LoginDisablePrompt& prompt = *LoginDisablePrompt::sharedInstance();
};

TEST_F(Prompts, ARefusedLoginShowsTheServersMessageAndItsButtonEndsTheProcess) {
    // Other ids, a missing error or a non-numeric id show nothing.
    prompt.checkLoginResult(Value(), AggregatorStandin::errorReply(1001, "sign error"));
    prompt.checkLoginResult(Value(), Value::dict());
    prompt.checkLoginResult(Value(), Value::dict({{"error", Value::dict({{"id", "3000x"}, {"message", "m"}})}}));
    EXPECT_FALSE(game->rootViewController()->presentedViewController());

    prompt.checkLoginResult(Value(), Value::dict({{"error", Value::dict({{"id", "30001"}, {"message", "停服维护"}})}}));
    auto alert = alertOver(game->rootViewController());
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alertTitle(), "提示");
    EXPECT_EQ(alert->message(), "停服维护");
    ASSERT_EQ(alert->actions().size(), 1u);
    EXPECT_TRUE(exits.empty());
    ASSERT_TRUE(tapOK());
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(Prompts, ARefusedOrderOnlyClosesItsAlert) {
    prompt.relayGetOrderResult(Value(), AggregatorStandin::errorReply(30001, "x"));
    EXPECT_FALSE(game->rootViewController()->presentedViewController());
    prompt.relayGetOrderResult(Value(), AggregatorStandin::errorReply(1000, "订单已关闭"));
    auto alert = alertOver(game->rootViewController());
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), "订单已关闭");
    ASSERT_TRUE(tapOK());
    EXPECT_FALSE(game->rootViewController()->presentedViewController());
    EXPECT_TRUE(exits.empty());
}

TEST_F(Prompts, TheCutOffComparesWholeSecondsAndIgnoresZero) {
    Value cutOff = Value::dict({{"data", Value::dict({{"created_at", "1000"}})}});
    prompt.comfirmAbleCreatRoleWithResult(Value(), cutOff, "999");
    prompt.comfirmAbleCreatRoleWithResult(Value(), cutOff, "0");
    prompt.comfirmAbleCreatRoleWithResult(Value(), cutOff, "");
    prompt.comfirmAbleCreatRoleWithResult(Value(), Value::dict({{"data", Value::dict({{"created_at", "0"}})}}), "5000");
    prompt.comfirmAbleCreatRoleWithResult(Value(), Value::dict(), "5000");
    EXPECT_FALSE(game->rootViewController()->presentedViewController());

    prompt.comfirmAbleCreatRoleWithResult(Value(), cutOff, "1000");
    auto alert = alertOver(game->rootViewController());
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->message(), kNewRoleCutOffMessage);
    ASSERT_TRUE(tapOK());
    EXPECT_EQ(exits, std::vector<int>{0});

    // A message of the server's own replaces the standard one; a number works as well as a text.
    Value withMessage = Value::dict({{"data", Value::dict({{"created_at", 1000}})},
                                     {"error", Value::dict({{"message", "新角色已关闭"}})}});
    prompt.comfirmAbleCreatRoleWithResult(Value(), withMessage, "2000");
    ASSERT_TRUE(alertOver(game->rootViewController()));
    EXPECT_EQ(alertOver(game->rootViewController())->message(), "新角色已关闭");
}

TEST_F(Prompts, APromptIsSeenOverWhateverTheGameOrAnSDKScreenShows) {
    // The game already presents a screen of its own: the alert goes over it.
    auto own = std::make_shared<UIViewController>();
    game->rootViewController()->presentViewController(own, false);
    prompt.relayGetOrderResult(Value(), AggregatorStandin::errorReply(1000, "over the game's screen"));
    ASSERT_TRUE(alertOver(own));
    ASSERT_TRUE(tapOK());
    EXPECT_FALSE(own->presentedViewController());

    // An SDK screen in a window above the game: the alert gets a window
    // above it, and a tap reaches its button.
    auto screen = sdkScreen();
    prompt.checkLoginResult(Value(), AggregatorStandin::errorReply(30001, "over the login screen"));
    EXPECT_FALSE(own->presentedViewController());
    auto views = UIAlertView::visibleAlertViews();
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0]->message(), "over the login screen");
    EXPECT_GT(views[0]->alertWindow()->windowLevel(), screen->windowLevel());
    ASSERT_TRUE(tapOK());
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_TRUE(UIAlertView::visibleAlertViews().empty());
}

TEST_F(Prompts, AlertButtonsReportTheirIndexInOrder) {
    std::vector<long> pressed;
    AlertTool::showAlertArrayWith(game->rootViewController(), "t", "m", [&](long i) { pressed.push_back(i); },
                                  {"一", "二", "三"});
    advance(1);
    ASSERT_TRUE(uitest::tapButton("三"));
    advance(1);
    AlertTool::showAlertArrayWith(nullptr, "t", "m", [&](long i) { pressed.push_back(i); }, {"甲", "乙"});
    advance(1);
    ASSERT_TRUE(uitest::tapButton("乙"));
    advance(1);
    EXPECT_EQ(pressed, (std::vector<long>{2, 1}));
}

TEST(AlertTexts, KnownCodesHaveTheirTextOthersTheMessage) {
    EXPECT_EQ(AlertTool::showAlertStringWihtCode(Value::dict({{"code", -1104}, {"message", "m"}})), "您已成功参与该活动");
    EXPECT_EQ(AlertTool::showAlertStringWihtCode(Value::dict({{"code", -1}})), "密码错误");
    EXPECT_EQ(AlertTool::showAlertStringWihtCode(Value::dict({{"code", "-1300"}})), "查询数据为空");
    EXPECT_EQ(AlertTool::showAlertStringWihtCode(Value::dict({{"code", 5}, {"message", "其他"}})), "其他");
    EXPECT_EQ(AlertTool::showAlertStringWihtCode(Value::dict()), "");
}

}  // namespace
