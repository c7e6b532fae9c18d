#include <gtest/gtest.h>

#include "platform/ui/UIApplication.h"
#include "platform/ui/UIStoryboard.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

namespace {

TEST(ViewTree, AddingMovesAViewBetweenParentsAndRefusesCycles) {
    auto a = std::make_shared<UIView>(CGRect(0, 0, 100, 100));
    auto b = std::make_shared<UIView>(CGRect(0, 0, 50, 50));
    auto c = std::make_shared<UIView>(CGRect(0, 0, 10, 10));
    a->addSubview(c);
    b->addSubview(c);
    EXPECT_TRUE(a->subviews().empty());
    EXPECT_EQ(c->superview(), b);
    c->addSubview(b);  // b is c's ancestor: refused
    EXPECT_TRUE(c->subviews().empty());
    b->insertSubview(std::make_shared<UIView>(), 0);
    EXPECT_EQ(b->subviews().back(), c);
    c->removeFromSuperview();
    EXPECT_FALSE(c->superview());
}

TEST(ViewTree, AutoresizingSharesTheChangeAmongFlexibleParts) {
    auto parent = std::make_shared<UIView>(CGRect(0, 0, 100, 100));
    auto fill = std::make_shared<UIView>(CGRect(10, 10, 80, 80));
    fill->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    auto pinnedRight = std::make_shared<UIView>(CGRect(80, 0, 20, 20));
    pinnedRight->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
    auto centred = std::make_shared<UIView>(CGRect(25, 0, 50, 10));
    centred->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin);
    parent->addSubview(fill);
    parent->addSubview(pinnedRight);
    parent->addSubview(centred);
    parent->setFrame(CGRect(0, 0, 200, 150));
    EXPECT_EQ(fill->frame(), CGRect(10, 10, 180, 130));
    EXPECT_EQ(pinnedRight->frame(), CGRect(180, 0, 20, 20));
    EXPECT_EQ(centred->frame(), CGRect(75, 0, 50, 10));
}

TEST(ViewTree, ConvertsPointsThroughOffsetsAndBounds) {
    auto root = std::make_shared<UIView>(CGRect(0, 0, 300, 300));
    auto a = std::make_shared<UIView>(CGRect(10, 20, 100, 100));
    auto b = std::make_shared<UIView>(CGRect(5, 5, 50, 50));
    root->addSubview(a);
    a->addSubview(b);
    CGRect scrolled = a->bounds();
    scrolled.origin.y = 30;  // a scrolled by 30
    a->setBounds(scrolled);
    CGPoint p = b->convertPointToView(CGPoint{1, 1}, root.get());
    EXPECT_EQ(p, (CGPoint{16, -4}));
    EXPECT_EQ(root->convertPointFromView(CGPoint{1, 1}, b.get()), p);
    EXPECT_EQ(b->convertPointFromView(p, root.get()), (CGPoint{1, 1}));
}

class Scene : public UIViewController {
public:
    int loads = 0;
    void viewDidLoad() override { ++loads; }
};
REGISTER_STORYBOARD_SCENE("Main", "Scene", Scene)

TEST(Controllers, StoryboardSceneLoadsItsViewOnce) {
    EXPECT_FALSE(UIStoryboard::storyboardWithName("Nope"));
    auto sb = UIStoryboard::storyboardWithName("Main");
    ASSERT_TRUE(sb);
    EXPECT_FALSE(sb->instantiateViewControllerWithIdentifier("Missing"));
    auto vc = std::dynamic_pointer_cast<Scene>(sb->instantiateViewControllerWithIdentifier("Scene"));
    ASSERT_TRUE(vc);
    EXPECT_EQ(vc->storyboardIdentifier(), "Scene");
    EXPECT_FALSE(vc->isViewLoaded());
    auto window = std::make_shared<UIWindow>();
    window->setRootViewController(vc);
    EXPECT_EQ(vc->loads, 1);
    vc->view();
    EXPECT_EQ(vc->loads, 1);
    EXPECT_EQ(vc->view()->window(), window);
    EXPECT_EQ(vc->view()->nextResponder(), vc);
}

TEST(Windows, KeyWindowAndLevelsFollowVisibility) {
    auto& app = UIApplication::sharedApplication();
    auto low = std::make_shared<UIWindow>();
    auto high = std::make_shared<UIWindow>();
    high->setWindowLevel(UIWindowLevelAlert);
    low->makeKeyAndVisible();
    high->makeKeyAndVisible();
    auto ws = app.windows();
    ASSERT_GE(ws.size(), 2u);
    EXPECT_EQ(ws.back(), high);
    EXPECT_TRUE(high->isKeyWindow());
    high->setHidden(true);
    EXPECT_TRUE(low->isKeyWindow());
    low->setHidden(true);
}

}  // namespace
