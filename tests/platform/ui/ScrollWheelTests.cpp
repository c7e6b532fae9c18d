// The mouse wheel and the touchpad as the host hands them to the toolkit:
// the scroll view under the pointer moves, the innermost one that can, and
// never past its edges.

#include "UITestSupport.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UIViewController.h"

namespace {

struct Heard : UIScrollViewDelegate {
    int scrolls = 0, stops = 0;
    void scrollViewDidScroll(UIScrollView&) override { ++scrolls; }
    void scrollViewDidEndDecelerating(UIScrollView&) override { ++stops; }
};

// A horizontal pager of two pages (screen y 100 to 500), each page a
// vertical list; a label beside it.
class Wheel : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        auto root = makeWindow()->rootViewController()->view();
        pager = std::make_shared<UIScrollView>(CGRect(0, 100, 375, 400));
        pager->setPagingEnabled(true);
        pager->setContentSize({750, 400});
        pager->delegate = pagerHeard;
        root->addSubview(pager);
        for (int i = 0; i < 2; ++i) {
            auto list = std::make_shared<UIScrollView>(CGRect(375.0 * i, 0, 375, 400));
            list->setContentSize({375, 1000});
            pager->addSubview(list);
            lists.push_back(list);
        }
        lists[0]->delegate = listHeard;
        root->addSubview(std::make_shared<UIView>(CGRect(0, 520, 375, 40)));
    }
    bool turn(CGPoint at, double dx, double dy) {
        return UIApplication::sharedApplication().dispatchScroll(at, {dx, dy});
    }
    std::shared_ptr<UIScrollView> pager;
    std::vector<std::shared_ptr<UIScrollView>> lists;
    std::shared_ptr<Heard> pagerHeard = std::make_shared<Heard>(), listHeard = std::make_shared<Heard>();
};

TEST_F(Wheel, TheListUnderThePointerMovesToItsEdgesAndNoFurther) {
    EXPECT_TRUE(turn({100, 300}, 0, 48));
    EXPECT_EQ(lists[0]->contentOffset().y, 48);
    EXPECT_EQ(listHeard->scrolls, 1);
    EXPECT_EQ(pager->contentOffset(), (CGPoint{0, 0}));
    // A touchpad's fractions add up; the end stops it (1000 - 400 = 600).
    for (int i = 0; i < 40; ++i) turn({100, 300}, 0, 19.5);
    EXPECT_EQ(lists[0]->contentOffset().y, 600);
    EXPECT_FALSE(lists[0]->scrollWheel({0, 10}));  // at its end: nothing moves
    EXPECT_EQ(lists[0]->contentOffset().y, 600);
    turn({100, 300}, 0, -1000);
    EXPECT_EQ(lists[0]->contentOffset().y, 0);  // never above its top either
    EXPECT_EQ(lists[0]->presentation().bounds.origin.y, 0);  // and drawn where it is, at once

    // Beside the pager the toolkit still takes the turn, and nothing moves;
    // where no window is, the turn is not the toolkit's.
    EXPECT_TRUE(turn({100, 540}, 0, 48));
    EXPECT_EQ(lists[0]->contentOffset().y, 0);
    auto& screen = windows.back();
    screen->setHidden(true);
    EXPECT_FALSE(turn({100, 300}, 0, 48));
    screen->setHidden(false);

    // Scrolling switched off: the view lets the turn go by.
    lists[0]->setScrollEnabled(false);
    EXPECT_FALSE(lists[0]->scrollWheel({0, 48}));
    EXPECT_EQ(lists[0]->contentOffset().y, 0);
}

TEST_F(Wheel, ASidewaysTurnGoesToThePagerWhichTurnsOnePage) {
    EXPECT_TRUE(turn({100, 300}, 30, 0));  // the list cannot move sideways: the pager takes it
    EXPECT_EQ(pager->contentOffset().x, 375);
    EXPECT_TRUE(pager->isDecelerating());
    // The rest of the turn while the page settles turns nothing more.
    turn({100, 300}, 30, 0);
    turn({100, 300}, 30, 0);
    advance(0.3);
    EXPECT_EQ(pagerHeard->stops, 1);  // the pager's page loads when it comes to rest
    EXPECT_EQ(pager->contentOffset().x, 375);
    EXPECT_FALSE(pager->scrollWheel({30, 0}));  // the last page
    // The second page's list now lies under the pointer.
    turn({100, 300}, 0, 48);
    EXPECT_EQ(lists[1]->contentOffset().y, 48);
    turn({100, 300}, -5, 0);
    advance(0.3);
    EXPECT_EQ(pager->contentOffset().x, 0);
    EXPECT_EQ(pagerHeard->stops, 2);
}

TEST_F(Wheel, AnInnerViewAtItsEdgeLeavesTheTurnToTheOneAroundIt) {
    // The pager holds a taller list inside a list of its own.
    auto outer = std::make_shared<UIScrollView>(CGRect(0, 0, 375, 400));
    outer->setContentSize({375, 800});
    auto inner = std::make_shared<UIScrollView>(CGRect(0, 0, 375, 200));
    inner->setContentSize({375, 300});
    outer->addSubview(inner);
    lists[0]->addSubview(outer);
    turn({100, 150}, 0, 60);
    EXPECT_EQ(inner->contentOffset().y, 60);
    EXPECT_EQ(outer->contentOffset().y, 0);
    turn({100, 150}, 0, 60);  // the inner one stops at 100, then the outer one moves
    turn({100, 150}, 0, 60);
    EXPECT_EQ(inner->contentOffset().y, 100);
    EXPECT_EQ(outer->contentOffset().y, 60);
    EXPECT_EQ(lists[0]->contentOffset().y, 0);
}

}  // namespace
