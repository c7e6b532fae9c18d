#include "UITestSupport.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UIViewController.h"

namespace {

// What the delegate heard, runs of scrolls counted once, and every offset it saw.
struct Recorder : UIScrollViewDelegate {
    std::vector<std::string> events;
    std::vector<CGPoint> offsets;
    void add(const std::string& e) {
        if (e == "scroll" && !events.empty() && events.back() == "scroll") return;
        events.push_back(e);
    }
    void scrollViewDidScroll(UIScrollView& s) override {
        offsets.push_back(s.contentOffset());
        add("scroll");
    }
    void scrollViewWillBeginDragging(UIScrollView&) override { add("begin"); }
    void scrollViewDidEndDragging(UIScrollView&, bool decelerate) override { add(decelerate ? "end+decelerate" : "end"); }
    void scrollViewWillBeginDecelerating(UIScrollView&) override { add("decelerate"); }
    void scrollViewDidEndDecelerating(UIScrollView&) override { add("stop"); }
    long count(const std::string& e) const { return std::count(events.begin(), events.end(), e); }
};

class Bounce : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        auto w = makeWindow();
        scroll = std::make_shared<UIScrollView>(CGRect(0, 100, 375, 400));
        scroll->setContentSize({375, 1200});
        scroll->delegate = rec;
        w->rootViewController()->view()->addSubview(scroll);
    }
    // Moves a finger that is down from `from` by `dy` points in `steps` steps.
    void moveBy(CGPoint from, double dx, double dy, int steps) {
        for (int i = 1; i <= steps; ++i) {
            clock->advance(std::chrono::milliseconds(16));
            uitest::touchMove({from.x + dx * i / steps, from.y + dy * i / steps});
        }
    }
    double shownY() const { return scroll->presentation().bounds.origin.y; }
    std::shared_ptr<UIScrollView> scroll;
    std::shared_ptr<Recorder> rec = std::make_shared<Recorder>();
};

TEST_F(Bounce, APullPastTheTopLagsBehindTheFingerAndSpringsBackOnTheClock) {
    CGPoint start{100, 150};
    ASSERT_TRUE(uitest::touchDown(start));
    double pulled = 0, lastStep = 1e9;
    for (int i = 1; i <= 15; ++i) {
        clock->advance(std::chrono::milliseconds(16));
        uitest::touchMove({start.x, start.y + 20 * i});
        double now = -scroll->contentOffset().y;
        double step = now - pulled;
        EXPECT_GT(step, 0) << "at step " << i;         // it follows the finger...
        EXPECT_LT(step, 20) << "at step " << i;        // ...more slowly...
        EXPECT_LE(step, lastStep) << "at step " << i;  // ...and ever more slowly
        pulled = now, lastStep = step;
    }
    EXPECT_GT(pulled, 50);    // a 300-point pull shows
    EXPECT_LT(pulled, 150);   // but by less than half
    EXPECT_EQ(scroll->contentOffset().x, 0);
    // However far the finger goes, the content never leaves a whole view's height.
    uitest::touchMove({start.x, start.y + 5000});
    EXPECT_GT(-scroll->contentOffset().y, pulled);
    EXPECT_LT(-scroll->contentOffset().y, scroll->bounds().height());
    double farthest = scroll->contentOffset().y;

    // Released, it heads for the edge; drawing follows the clock there.
    ASSERT_TRUE(uitest::touchUp({start.x, start.y + 5000}));
    EXPECT_FALSE(scroll->isDragging());
    EXPECT_TRUE(scroll->isDecelerating());
    EXPECT_EQ(scroll->contentOffset().y, 0);
    EXPECT_DOUBLE_EQ(shownY(), farthest);
    advance(0.15);
    EXPECT_LT(shownY(), 0);
    EXPECT_GT(shownY(), farthest);
    EXPECT_EQ(rec->count("stop"), 0);
    advance(0.2);
    EXPECT_EQ(shownY(), 0);
    EXPECT_FALSE(scroll->isDecelerating());
    EXPECT_EQ(rec->events, (std::vector<std::string>{"begin", "scroll", "end+decelerate", "decelerate", "scroll", "stop"}));
}

TEST_F(Bounce, APushPastTheBottomSpringsBackToTheBottomAndHonoursTheInset) {
    scroll->setContentInset({0, 0, 30, 0});
    CGPoint bottom = scroll->maximumContentOffset();
    EXPECT_EQ(bottom.y, 1200 + 30 - 400);
    scroll->setContentOffset(bottom);
    CGPoint start{100, 450};
    ASSERT_TRUE(uitest::touchDown(start));
    moveBy(start, 0, -200, 10);
    double over = scroll->contentOffset().y - bottom.y;
    EXPECT_GT(over, 20);
    EXPECT_LT(over, 200);
    ASSERT_TRUE(uitest::touchUp({start.x, start.y - 200}));
    EXPECT_EQ(scroll->contentOffset().y, bottom.y);
    advance(0.35);
    EXPECT_EQ(shownY(), bottom.y);
    EXPECT_EQ(rec->count("stop"), 1);
}

TEST_F(Bounce, WithBouncesOffNothingEverMovesPastAnEdge) {
    scroll->bounces = false;
    ASSERT_TRUE(uitest::drag({100, 150}, {100, 450}));  // down, at the top
    EXPECT_EQ(scroll->contentOffset().y, 0);
    EXPECT_EQ(shownY(), 0);
    EXPECT_EQ(rec->events, (std::vector<std::string>{"begin", "end"}));
    scroll->setContentOffset(scroll->maximumContentOffset());
    ASSERT_TRUE(uitest::drag({100, 450}, {100, 150}));  // up, at the bottom
    ASSERT_TRUE(uitest::drag({100, 300}, {100, 200}, 10, 2.0));  // and once more, slowly
    EXPECT_EQ(scroll->contentOffset().y, 800);
    for (auto& p : rec->offsets) {
        EXPECT_GE(p.y, 0);
        EXPECT_LE(p.y, 800);
    }
    // A drag that ends inside the content still glides as before.
    ASSERT_TRUE(uitest::drag({100, 150}, {100, 350}));
    EXPECT_LT(scroll->contentOffset().y, 600);
    EXPECT_GE(scroll->contentOffset().y, 0);
}

TEST_F(Bounce, AShortListBouncesOnlyWhenAskedToAndOnlyWithBounces) {
    scroll->setContentSize({375, 100});
    ASSERT_TRUE(uitest::drag({100, 150}, {100, 350}));
    EXPECT_EQ(scroll->contentOffset().y, 0);
    EXPECT_TRUE(rec->events.empty());  // not even a drag: the list cannot scroll

    scroll->alwaysBounceVertical = true;
    CGPoint start{100, 200};
    for (double dy : {150.0, -150.0}) {
        ASSERT_TRUE(uitest::touchDown(start));
        moveBy(start, 0, dy, 10);
        double y = scroll->contentOffset().y;
        EXPECT_TRUE(dy > 0 ? y < -20 : y > 20) << "dy " << dy << " y " << y;
        EXPECT_LT(std::fabs(y), std::fabs(dy));
        ASSERT_TRUE(uitest::touchUp({start.x, start.y + dy}));
        advance(0.35);
        EXPECT_EQ(scroll->contentOffset().y, 0);
        EXPECT_EQ(shownY(), 0);
    }
    EXPECT_EQ(rec->count("stop"), 2);

    scroll->bounces = false;
    rec->offsets.clear();
    ASSERT_TRUE(uitest::drag({100, 150}, {100, 350}));
    ASSERT_TRUE(uitest::drag({100, 350}, {100, 150}));
    EXPECT_EQ(scroll->contentOffset().y, 0);
    EXPECT_TRUE(rec->offsets.empty());
}

TEST_F(Bounce, AFingerCatchesTheContentWhereItIsSeenWhileItSpringsBack) {
    CGPoint start{100, 150};
    ASSERT_TRUE(uitest::touchDown(start));
    moveBy(start, 0, 250, 10);
    ASSERT_TRUE(uitest::touchUp({start.x, start.y + 250}));
    advance(0.1);
    double seen = shownY();
    ASSERT_LT(seen, -10);

    // Caught on the way back, the content stays under the finger instead of
    // jumping to the edge, and the interrupted spring reports no end.
    ASSERT_TRUE(uitest::touchDown(start));
    ASSERT_TRUE(uitest::touchMove({start.x, start.y + 15}));  // at the same instant
    EXPECT_TRUE(scroll->isDragging());
    EXPECT_LT(scroll->contentOffset().y, seen);       // pulled on by the finger
    EXPECT_GT(scroll->contentOffset().y, seen - 15);  // with resistance
    EXPECT_EQ(shownY(), scroll->contentOffset().y);
    advance(0.5);
    EXPECT_EQ(rec->count("stop"), 0);
    EXPECT_LT(scroll->contentOffset().y, seen);
    ASSERT_TRUE(uitest::touchUp({start.x, start.y + 15}));
    advance(0.35);
    EXPECT_EQ(shownY(), 0);
    EXPECT_EQ(rec->count("stop"), 1);
    EXPECT_EQ(rec->count("begin"), 2);
}

TEST_F(Bounce, ADragCutShortStillSpringsBack) {
    CGPoint start{100, 150};
    ASSERT_TRUE(uitest::touchDown(start));
    moveBy(start, 0, 200, 10);
    ASSERT_LT(scroll->contentOffset().y, 0);
    ASSERT_TRUE(uitest::touchCancel());
    EXPECT_FALSE(scroll->isDragging());
    EXPECT_EQ(scroll->contentOffset().y, 0);
    advance(0.35);
    EXPECT_EQ(shownY(), 0);
    EXPECT_EQ(rec->count("end+decelerate"), 1);
    EXPECT_EQ(rec->count("stop"), 1);

    // Scrolling switched off in the middle of a pull.
    ASSERT_TRUE(uitest::touchDown(start));
    moveBy(start, 0, 200, 10);
    ASSERT_LT(scroll->contentOffset().y, 0);
    scroll->setScrollEnabled(false);
    EXPECT_FALSE(scroll->isDragging());
    EXPECT_EQ(scroll->contentOffset().y, 0);
    uitest::touchUp({start.x, start.y + 200});
    advance(0.35);
    EXPECT_EQ(shownY(), 0);
    EXPECT_EQ(rec->count("stop"), 2);

    // Or its recognizer switched off directly: the next turn of the loop
    // brings the content back.
    scroll->setScrollEnabled(true);
    ASSERT_TRUE(uitest::touchDown(start));
    moveBy(start, 0, 200, 10);
    scroll->panGestureRecognizer()->setEnabled(false);
    EXPECT_FALSE(scroll->isDragging());
    RunLoop::drain();
    EXPECT_EQ(scroll->contentOffset().y, 0);
    uitest::touchUp({start.x, start.y + 200});
    advance(0.35);
    EXPECT_EQ(rec->count("stop"), 3);
}

TEST_F(Bounce, ScrollingSwitchedOffBeforeTheFingerMovesKeepsTheContentStill) {
    scroll->setContentOffset({0, 200});
    CGPoint start{100, 300};
    ASSERT_TRUE(uitest::touchDown(start));
    scroll->setScrollEnabled(false);
    moveBy(start, 0, -150, 10);
    EXPECT_FALSE(scroll->isDragging());
    EXPECT_EQ(scroll->contentOffset().y, 200);
    ASSERT_TRUE(uitest::touchUp({start.x, start.y - 150}));
    advance(0.35);
    EXPECT_EQ(shownY(), 200);
    EXPECT_EQ(rec->count("begin"), 0);
}

TEST_F(Bounce, APagerBouncesAtItsEndsAndStillTurnsPages) {
    scroll->setContentSize({3 * 375, 400});
    scroll->setPagingEnabled(true);
    CGPoint start{100, 300};
    ASSERT_TRUE(uitest::touchDown(start));
    moveBy(start, 120, 0, 6);  // rightwards on the first page
    EXPECT_LT(scroll->contentOffset().x, -20);
    EXPECT_GT(scroll->contentOffset().x, -120);
    EXPECT_EQ(scroll->contentOffset().y, 0);
    ASSERT_TRUE(uitest::touchUp({start.x + 120, start.y}));
    EXPECT_EQ(scroll->contentOffset().x, 0);
    advance(0.35);
    for (int page = 0; page < 2; ++page) {
        ASSERT_TRUE(uitest::drag({300, 300}, {50, 300}));
        advance(0.35);
    }
    EXPECT_EQ(scroll->contentOffset().x, 750);
    ASSERT_TRUE(uitest::touchDown(start));
    moveBy(start, -120, 0, 6);  // leftwards on the last page
    EXPECT_GT(scroll->contentOffset().x, 750 + 20);
    ASSERT_TRUE(uitest::touchUp({start.x - 120, start.y}));
    advance(0.35);
    EXPECT_EQ(scroll->contentOffset().x, 750);
    EXPECT_EQ(shownY(), 0);
}

}  // namespace

TEST_F(Bounce, ContentThatShrinksUnderTheOffsetBringsItBackToTheEnd) {
    scroll->setContentInset({0, 0, 44, 0});
    scroll->setContentOffset({0, 700});
    scroll->setContentSize({375, 500});  // its end is now at 500 + 44 - 400
    EXPECT_EQ(scroll->contentOffset().y, 144);
    EXPECT_EQ(rec->offsets.back().y, 144);  // the delegate hears of it
    scroll->setContentSize({375, 100});  // shorter than the view: the top
    EXPECT_EQ(scroll->contentOffset().y, 0);
    // Growing content, or shrinking content still past the offset, leaves it alone.
    scroll->setContentOffset({0, 0});
    scroll->setContentSize({375, 1200});
    scroll->setContentOffset({0, 300});
    scroll->setContentSize({375, 900});
    EXPECT_EQ(scroll->contentOffset().y, 300);

    // While a finger holds the content the offset stays where the finger puts it;
    // once the content has settled it is at the new end.
    CGPoint start{100, 450};
    ASSERT_TRUE(uitest::touchDown(start));
    moveBy(start, 0, -100, 5);
    double held = scroll->contentOffset().y;
    scroll->setContentSize({375, 500});
    EXPECT_EQ(scroll->contentOffset().y, held);
    ASSERT_TRUE(uitest::touchUp({start.x, start.y - 100}));
    clock->advance(std::chrono::seconds(1));
    RunLoop::drain();
    EXPECT_EQ(scroll->contentOffset().y, 144);
}
