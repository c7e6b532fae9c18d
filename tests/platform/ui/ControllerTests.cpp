#include "UITestSupport.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UITabBarController.h"

namespace {

class ControllerTests : public UITest {
protected:
    // Outlives the windows, which are hidden (and log) in TearDown.
    std::vector<std::string> log;
};

// Logs its appearance callbacks as "<name>.<callback>".
struct LoggingVC : UIViewController {
    LoggingVC(std::string n, std::vector<std::string>* l) : name(std::move(n)), log(l) {}
    std::string name;
    std::vector<std::string>* log;
    bool movingIn = false;
    void viewDidLoad() override { log->push_back(name + ".load"); }
    void viewWillAppear(bool) override {
        log->push_back(name + ".willAppear");
        movingIn = isMovingToParentViewController();
    }
    void viewDidAppear(bool) override { log->push_back(name + ".didAppear"); }
    void viewWillDisappear(bool) override { log->push_back(name + ".willDisappear"); }
    void viewDidDisappear(bool) override { log->push_back(name + ".didDisappear"); }
};

TEST_F(ControllerTests, PresentAndDismissRunCallbacksAndCompletionsInOrder) {
    auto root = std::make_shared<LoggingVC>("root", &log);
    auto w = makeWindow(root);
    EXPECT_EQ(log, (std::vector<std::string>{"root.load", "root.willAppear", "root.didAppear"}));
    log.clear();
    auto modal = std::make_shared<LoggingVC>("modal", &log);
    root->presentViewController(modal, true, [&] { log.push_back("presented"); });
    EXPECT_EQ(root->presentedViewController(), modal);
    EXPECT_EQ(modal->presentingViewController(), root);
    EXPECT_TRUE(modal->isBeingPresented());
    advance(0.1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "presented"), 0);
    advance(0.25);
    EXPECT_EQ(log, (std::vector<std::string>{"modal.load", "modal.willAppear", "root.willDisappear", "modal.didAppear",
                                             "root.didDisappear", "presented"}));
    // The modal view covers the window and takes the touches.
    EXPECT_EQ(w->hitTestWindow({10, 300}), modal->view());

    // Presenting twice is refused, as on the platform; the completion never runs.
    bool second = false;
    root->presentViewController(std::make_shared<UIViewController>(), false, [&] { second = true; });
    advance(1);
    EXPECT_FALSE(second);

    log.clear();
    // Asked of the presented controller, the dismissal goes to its presenter.
    modal->dismissViewControllerAnimated(true, [&] { log.push_back("dismissed"); });
    advance(0.35);
    EXPECT_EQ(log, (std::vector<std::string>{"modal.willDisappear", "root.willAppear", "modal.didDisappear",
                                             "root.didAppear", "dismissed"}));
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(modal->view()->superview(), nullptr);
    // Nothing presented: a dismissal does nothing.
    bool ran = false;
    root->dismissViewControllerAnimated(false, [&] { ran = true; });
    advance(1);
    EXPECT_FALSE(ran);
}

TEST_F(ControllerTests, PresentingFromAControllerOutsideAWindowIsRefused) {
    auto loose = std::make_shared<UIViewController>();
    auto other = std::make_shared<UIViewController>();
    bool ran = false;
    loose->presentViewController(other, false, [&] { ran = true; });
    RunLoop::drain();
    EXPECT_FALSE(ran);
    EXPECT_EQ(loose->presentedViewController(), nullptr);
}

TEST_F(ControllerTests, NavigationPushPopAndTheBackButton) {
    auto first = std::make_shared<LoggingVC>("first", &log);
    first->setTitle("消息中心");
    auto nav = UINavigationController::withRoot(first);
    makeWindow(nav);
    EXPECT_TRUE(first->isAppeared());
    // The first screen has no back button.
    EXPECT_EQ(nav->navigationBar()->backButton(), nullptr);
    log.clear();
    auto second = std::make_shared<LoggingVC>("second", &log);
    second->setTitle("详情");
    nav->pushViewController(second, true);
    EXPECT_EQ(nav->topViewController(), second);
    EXPECT_TRUE(second->movingIn);
    EXPECT_EQ(second->navigationController(), nav);
    advance(0.35);
    EXPECT_EQ(log, (std::vector<std::string>{"second.load", "first.willDisappear", "second.willAppear",
                                             "first.didDisappear", "second.didAppear"}));
    auto back = nav->navigationBar()->backButton();
    ASSERT_TRUE(back);
    EXPECT_NE(back->currentTitle().find("消息中心"), std::string::npos);
    EXPECT_EQ(nav->navigationBar()->titleLabel()->text(), "详情");
    log.clear();
    EXPECT_TRUE(uitest::tapView(*back));
    advance(0.35);
    EXPECT_EQ(nav->topViewController(), first);
    EXPECT_EQ(second->parentViewController(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"second.willDisappear", "first.willAppear", "second.didDisappear",
                                             "first.didAppear"}));
    EXPECT_FALSE(first->movingIn);
    EXPECT_EQ(nav->popViewControllerAnimated(false), nullptr);  // the root stays
}

TEST_F(ControllerTests, BackTappedBeforeTheSlidesEndKeepsTheScreenItReturnsTo) {
    auto first = std::make_shared<LoggingVC>("first", &log);
    auto nav = UINavigationController::withRoot(first);
    makeWindow(nav);
    auto second = std::make_shared<LoggingVC>("second", &log);
    auto third = std::make_shared<LoggingVC>("third", &log);
    // In, in, back, back, each before the slide before it has ended.
    nav->pushViewController(second, true);
    advance(0.05);
    nav->pushViewController(third, true);
    advance(0.05);
    nav->popViewControllerAnimated(true);
    advance(0.05);
    nav->popViewControllerAnimated(true);
    advance(1);
    EXPECT_EQ(nav->topViewController(), first);
    EXPECT_EQ(first->view()->superview(), nav->view());
    EXPECT_EQ(first->view()->frame(), nav->view()->bounds());
    EXPECT_EQ(second->view()->superview(), nullptr);
    EXPECT_EQ(third->view()->superview(), nullptr);
    EXPECT_EQ(second->parentViewController(), nullptr);

    // Back, then in again with the same screen before the slide out ended:
    // the screen stays, with its parent.
    nav->pushViewController(second, true);
    advance(1);
    nav->popViewControllerAnimated(true);
    advance(0.05);
    nav->pushViewController(second, false);
    advance(1);
    EXPECT_EQ(nav->topViewController(), second);
    EXPECT_EQ(second->view()->superview(), nav->view());
    EXPECT_EQ(second->parentViewController(), nav);
}

TEST_F(ControllerTests, CustomLeftItemReplacesTheBackButton) {
    auto nav = UINavigationController::withRoot(std::make_shared<UIViewController>());
    makeWindow(nav);
    auto pushed = std::make_shared<UIViewController>();
    int taps = 0;
    auto custom = std::make_shared<UIButton>(CGRect(0, 0, 25, 25));
    custom->addAction(UIControlEventTouchUpInside, [&](UIControl&) { ++taps; });
    pushed->navigationItem().setLeftBarButtonItem(UIBarButtonItem::withCustomView(custom));
    nav->pushViewController(pushed, false);
    RunLoop::drain();
    EXPECT_EQ(nav->navigationBar()->backButton(), nullptr);
    EXPECT_TRUE(uitest::tapView(*custom));
    EXPECT_EQ(taps, 1);
}

TEST_F(ControllerTests, TabsSwitchAndHideTheBarForPushedScreens) {
    auto a = std::make_shared<UIViewController>(), b = std::make_shared<UIViewController>();
    a->tabBarItem().title = "我的";
    b->tabBarItem().title = "福利";
    auto navB = UINavigationController::withRoot(b);
    auto tabs = std::make_shared<UITabBarController>();
    tabs->setViewControllers({a, navB});
    makeWindow(tabs);
    EXPECT_TRUE(a->isAppeared());
    auto bar = tabs->tabBar();
    uitest::layout();
    CGRect item = bar->itemFrame(1);
    CGPoint p = bar->convertPointToView({item.midX(), item.midY()}, nullptr);
    EXPECT_TRUE(uitest::tap(p));
    EXPECT_EQ(tabs->selectedIndex(), 1u);
    EXPECT_TRUE(b->isAppeared());
    EXPECT_FALSE(a->isAppeared());
    EXPECT_EQ(b->tabBarController(), tabs);
    auto pushed = std::make_shared<UIViewController>();
    pushed->setHidesBottomBarWhenPushed(true);
    navB->pushViewController(pushed, false);
    EXPECT_TRUE(bar->isHidden());
    navB->popViewControllerAnimated(false);
    RunLoop::drain();
    EXPECT_FALSE(bar->isHidden());
}

TEST_F(ControllerTests, AlertActionRunsAfterTheAlertIsGone) {
    auto root = std::make_shared<UIViewController>();
    makeWindow(root);
    auto alert = UIAlertController::alertControllerWithTitle("提示", "登录已被禁止", UIAlertControllerStyle::Alert);
    alert->addAction(UIAlertAction::actionWithTitle("取消", UIAlertActionStyle::Cancel, [&](UIAlertAction&) { log.push_back("cancel"); }));
    alert->addAction(UIAlertAction::actionWithTitle("确定", UIAlertActionStyle::Default, [&](UIAlertAction& a) {
        log.push_back(a.title());
        // The alert is already dismissed: the handler may present again.
        EXPECT_EQ(root->presentedViewController(), nullptr);
    }));
    root->presentViewController(alert, true);
    advance(0.35);
    ASSERT_TRUE(uitest::findLabel("登录已被禁止"));
    // A tap outside the box of an alert does nothing.
    uitest::tap({5, 5});
    advance(0.5);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(uitest::tapButton("确定"));
    EXPECT_TRUE(log.empty());
    // A second tap during the dismissal is ignored.
    alert->performAction(0);
    advance(0.35);
    EXPECT_EQ(log, std::vector<std::string>{"确定"});
    EXPECT_FALSE(uitest::findLabel("登录已被禁止"));
}

struct RecordingAlertDelegate : UIAlertViewDelegate {
    std::vector<std::string> log;
    void alertView_clickedButtonAtIndex(UIAlertView&, long i) override { log.push_back("click " + std::to_string(i)); }
    void alertViewCancel(UIAlertView&) override { log.push_back("cancel"); }
    void alertView_willDismissWithButtonIndex(UIAlertView&, long i) override { log.push_back("will " + std::to_string(i)); }
    void alertView_didDismissWithButtonIndex(UIAlertView&, long i) override { log.push_back("did " + std::to_string(i)); }
};

TEST_F(ControllerTests, AlertViewShowsInItsOwnWindowAndReportsButtonIndexes) {
    makeWindow();
    auto d = std::make_shared<RecordingAlertDelegate>();
    {
        auto alert = std::make_shared<UIAlertView>("标题", "内容", d);
        EXPECT_EQ(alert->addButtonWithTitle("一"), 0);
        EXPECT_EQ(alert->addButtonWithTitle("二"), 1);
        alert->show();
    }  // kept alive while shown
    advance(0.35);
    auto shown = UIAlertView::visibleAlertViews();
    ASSERT_EQ(shown.size(), 1u);
    auto win = shown[0]->alertWindow();
    EXPECT_EQ(win->windowLevel(), UIWindowLevelAlert);
    EXPECT_EQ(UIApplication::sharedApplication().windows().back(), win);
    EXPECT_TRUE(uitest::tapButton("二"));
    advance(0.35);
    EXPECT_EQ(d->log, (std::vector<std::string>{"click 1", "will 1", "did 1"}));
    EXPECT_TRUE(UIAlertView::visibleAlertViews().empty());
    EXPECT_TRUE(win->isHidden());

    // The system's cancel reports -1 without a click.
    d->log.clear();
    auto again = std::make_shared<UIAlertView>("t", "m", d);
    again->addButtonWithTitle("OK");
    again->show();
    advance(0.35);
    again->cancel();
    advance(0.35);
    EXPECT_EQ(d->log, (std::vector<std::string>{"cancel", "will -1", "did -1"}));
}

}  // namespace
