// The user centre's tabs: how it is opened and left, its navigation
// stacks, and the publisher pages' addresses it builds.

#include "UserCentreTestSupport.h"
#include "platform/net/URLSession.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIEventInjection.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/screens/panels/ZVLoginRzView.h"
#include "usercenter/screens/panels/ZVLoginWebView.h"
#include "usercenter/screens/account/ZVSuUserVC.h"
#include "platform/ui/UIKeyCommand.h"

using standin::UserCentreStandin;

namespace {

class Tabs : public UserCentreTest {};

TEST_F(Tabs, TheFloatingButtonOpensTheUserCentreAndItsWaysOut) {
    ShareVale::sharedInstance().setUserName("");  // the login screen offers the last name
    loginThroughScreen();
    ASSERT_EQ(login.successes, 1);
    auto button = CXRHelperBtn::sharedButton();
    ASSERT_TRUE(uitest::tapView(*button));
    auto window = button->helperWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowLevel(), UIWindowLevelStatusBar + 1);
    EXPECT_TRUE(button->isHidden());
    advance(0.5);
    auto centre = userCentre();
    ASSERT_TRUE(centre);
    std::vector<std::string> titles;
    for (auto& tab : centre->viewControllers()) titles.push_back(tab->tabBarItem().title);
    EXPECT_EQ(titles, (std::vector<std::string>{"我的", "福利", "任务", "攻略", "客服"}));
    EXPECT_FALSE(centre->shouldAutorotate());

    // Back to the game: the window fades out over 0.3 s and the button returns.
    ASSERT_TRUE(uitest::tapButton("关闭"));
    EXPECT_FALSE(button->helperWindow());
    advance(0.31);
    EXPECT_TRUE(window->isHidden());
    EXPECT_FALSE(button->isHidden());

    // With the button kept hidden, closing leaves it hidden.
    ShareVale::sharedInstance().isHideSuspend = true;
    ASSERT_TRUE(uitest::tapView(*button));
    advance(0.5);
    ASSERT_TRUE(uitest::tapButton("关闭"));
    advance(0.31);
    EXPECT_TRUE(button->isHidden());
    ShareVale::sharedInstance().isHideSuspend = false;
    CXRHelperBtn::show();

    // Logging out: -9 "注销" to the game once, timer stopped, window gone.
    ASSERT_TRUE(uitest::tapView(*button));
    advance(0.5);
    centre = userCentre();
    auto account = tabRoot<ZVSuUserVC>(*centre, 0);
    auto& page = *account->scrollView;
    page.setContentOffset({0, page.contentSize().height - page.bounds().height()});
    ASSERT_TRUE(uitest::tapButton("退出登录"));
    EXPECT_EQ(login.failures, (std::vector<std::pair<int, std::string>>{{-9, "注销"}}));
    EXPECT_TRUE(centre->isShouldDismiss);
    EXPECT_FALSE(button->isOnlineTimerRunning());
    advance(0.5);
    EXPECT_FALSE(button->helperWindow());
    EXPECT_FALSE(centre->presentingViewController());
    EXPECT_TRUE(button->isHidden());
    EXPECT_EQ(login.failures.size(), 1u);
    ASSERT_TRUE(settle([&] { return requests(ZVApi::kLogout) == 1; }));
}

TEST_F(Tabs, ADismissGoesThroughOnlyForWhatItPresentsOrAfterALogout) {
    auto centre = std::make_shared<ZVSuTabBarVC>();
    auto window = makeWindow();
    window->rootViewController()->presentViewController(centre, false);
    int completions = 0;
    centre->dismissViewControllerAnimated(false, [&] { ++completions; });
    advance(0.5);
    EXPECT_EQ(centre->presentingViewController(), window->rootViewController());
    EXPECT_EQ(completions, 0);

    // Something presented over it is dismissed; the user centre stays.
    auto over = std::make_shared<UIViewController>();
    centre->presentViewController(over, false);
    centre->dismissViewControllerAnimated(false, [&] { ++completions; });
    advance(0.5);
    EXPECT_FALSE(centre->presentedViewController());
    EXPECT_EQ(centre->presentingViewController(), window->rootViewController());
    EXPECT_EQ(completions, 1);

    // Without blocks, closing does nothing visible; logging out dismisses.
    centre->close();
    advance(0.5);
    EXPECT_TRUE(centre->presentingViewController());
    centre->logout();
    advance(0.5);
    EXPECT_FALSE(centre->presentingViewController());
}

TEST_F(Tabs, PushedScreensGetABackButtonAndHideTheTabBar) {
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    auto nav = std::dynamic_pointer_cast<UINavigationController>(centre->viewControllers()[1]);
    ASSERT_TRUE(nav);
    EXPECT_FALSE(nav->topViewController()->navigationItem().leftBarButtonItem());
    centre->setSelectedIndex(1);
    auto pushed = std::make_shared<UIViewController>();
    nav->pushViewController(pushed, false);
    advance(0.5);
    auto back = pushed->navigationItem().leftBarButtonItem();
    ASSERT_TRUE(back && back->customView);
    EXPECT_EQ(back->customView->frame().size, (CGSize{25, 25}));
    EXPECT_TRUE(pushed->hidesBottomBarWhenPushed());
    EXPECT_TRUE(centre->tabBar()->isHidden());

    uitest::layout();
    ASSERT_TRUE(uitest::tapView(*back->customView));
    advance(0.5);
    EXPECT_EQ(nav->viewControllers().size(), 1u);
    EXPECT_FALSE(centre->tabBar()->isHidden());
}

// Escape, one step at a time: the panel on "我的" (first the rules page
// over the real-name panel), then the screen pushed on the tab shown, then
// the user centre; an alert over the user centre keeps the key.
TEST_F(Tabs, EscapeClosesWhatIsOnTopOneStepAtATime) {
    auto unverified = *env->standin().account("player1");
    unverified.rzStatus = "0";
    env->standin().addAccount("player01", unverified);
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    auto account = tabRoot<ZVSuUserVC>(*centre, 0);
    ASSERT_TRUE(settle([&] { return account->rzL->text() == "未认证"; }));  // the panel waits for the state
    account->goToRz();
    account->rzView()->showDetail();
    uitest::layout();
    ASSERT_TRUE(account->webView()->window());
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_FALSE(account->webView()->window());
    EXPECT_TRUE(account->rzView()->window());
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_FALSE(account->rzView()->window());
    EXPECT_FALSE(account->coverView()->superview());

    centre->setSelectedIndex(1);
    auto nav = std::dynamic_pointer_cast<UINavigationController>(centre->viewControllers()[1]);
    nav->pushViewController(std::make_shared<UIViewController>(), false);
    advance(0.5);
    auto alert = UIAlertController::alertControllerWithTitle("提示", "", UIAlertControllerStyle::Alert);
    centre->presentViewController(alert, false);
    uitest::pressKey(UIKeyInputEscape);
    advance(0.5);
    EXPECT_EQ(nav->viewControllers().size(), 2u);
    centre->dismissViewControllerAnimated(false);
    advance(0.5);
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    advance(0.5);
    EXPECT_EQ(nav->viewControllers().size(), 1u);
    EXPECT_TRUE(CXRHelperBtn::sharedButton()->helperWindow());

    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_FALSE(CXRHelperBtn::sharedButton()->helperWindow());
    advance(0.31);
    EXPECT_FALSE(CXRHelperBtn::sharedButton()->isHidden());
}

// Fetches an address through the stand-in as the web view would.
void fetch(const std::string& url) {
    testsupport::offMainThread([&] {
        return URLSession::sessionWithConfiguration(URLSessionConfiguration())->sendSynchronousRequest(URLRequest(url, "GET"));
    });
}

TEST_F(Tabs, TheTasksAndServiceAddressesAreSignedEncodedAndKeptFromOpening) {
    clock->setWall(Clock::Wall(std::chrono::seconds(1700000000)));
    struct Case {
        std::string user, query, sign;
    };
    for (auto& c : std::vector<Case>{
             {"player01", "username=player01", "333a0abc1f2124295534f293a2ffec08"},
             {"a b&c#d", "username=a%20b%26c%23d", "e32b0995160c515d383f0df9b8ebee3c"},
         }) {
        ShareVale::sharedInstance().setUserName(c.user);
        auto centre = openUserCentre();
        ASSERT_TRUE(centre);
        std::string tasks = env->standin().serverURL() + "sdkapicoupon2/Agreement/rw?" + c.query +
                            "&device=ios&imel=00000000-0000-0000-0000-000000000000"
                            "&gameid=G1&logintime=1700000000&sign=" + c.sign;
        EXPECT_EQ(centre->tasksURL(), tasks);

        // The tab loads later with the address of the opening.
        advance(3600);
        centre->setSelectedIndex(2);
        uitest::layout();
        ASSERT_FALSE(webViews.empty());
        ASSERT_EQ(webViews.back()->loads().size(), 1u);
        EXPECT_EQ(webViews.back()->loads()[0].request->URL.absoluteString(), tasks);
        fetch(tasks);
        auto seen = env->standin().journal().last(UserCentreStandin::path(ZVApi::kTasksPage));
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->request.query, tasks.substr(tasks.find('?') + 1));
        EXPECT_EQ(seen->signOk, true) << c.user;

        CXRHelperBtn::sharedButton()->destoryWindow();
        advance(0.5);
        clock->setWall(Clock::Wall(std::chrono::seconds(1700000000)));
    }

    env->setInfo(Value::dict({{"CFBundleIdentifier", "com.example.uctest"},
                              {"channel", "C1"},
                              {"ZORVIA_SERVER_URL", env->standin().serverURL()}}));
    setGameID("G1", "A1");
    ShareVale::sharedInstance().setUserName("player01");
    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    EXPECT_EQ(centre->customerServiceURL(),
              env->standin().serverURL() + "sdkapicoupon2/sdkservicesdk/sdk_kefu_index?username=player01&type=ios&cpsId=C1&appid=A1");
    fetch(centre->customerServiceURL());
    auto service = env->standin().journal().last(UserCentreStandin::path(ZVApi::kServicePage));
    ASSERT_TRUE(service);
    EXPECT_EQ(service->decoded.str("cpsId"), "C1");
}

}  // namespace
