#include <gtest/gtest.h>

#include "platform/ui/CADisplayLink.h"
#include "UITestSupport.h"

namespace {

class DisplayLinkTest : public UITest {
protected:
    std::shared_ptr<CADisplayLink> makeLink() {
        auto link = CADisplayLink::displayLinkWithCallback([this](CADisplayLink& l) { stamps.push_back(l.timestamp()); });
        return link;
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i) advance(1.0 / 60);
    }
    std::vector<double> stamps;
};

TEST_F(DisplayLinkTest, StepsFrameByFrameOnTheTestClock) {
    auto link = makeLink();
    frames(2);
    EXPECT_TRUE(stamps.empty());  // not in a run loop yet
    link->addToRunLoop(NSRunLoopCommonModes);
    double start = CACurrentMediaTime();
    frames(3);
    ASSERT_EQ(stamps.size(), 3u);
    EXPECT_DOUBLE_EQ(link->duration(), 1.0 / 60);
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(stamps[i], start + (i + 1) / 60.0, 1e-6);
    EXPECT_NEAR(link->targetTimestamp(), stamps.back() + 1.0 / 60, 1e-9);
    // Five frames due at once are one callback: late frames are dropped.
    advance(5.0 / 60);
    EXPECT_EQ(stamps.size(), 4u);
    link->invalidate();
}

TEST_F(DisplayLinkTest, PauseModesAndInvalidate) {
    auto link = makeLink();
    link->addToRunLoop(NSDefaultRunLoopMode);
    link->addToRunLoop("custom");  // modes are names; every one fires
    link->setPaused(true);
    frames(3);
    EXPECT_TRUE(stamps.empty());
    link->setPaused(false);
    frames(2);
    EXPECT_EQ(stamps.size(), 2u);
    link->removeFromRunLoop(NSDefaultRunLoopMode);
    frames(1);
    EXPECT_EQ(stamps.size(), 3u);
    link->removeFromRunLoop("custom");
    frames(2);
    EXPECT_EQ(stamps.size(), 3u);
    link->invalidate();
    link->addToRunLoop(NSDefaultRunLoopMode);  // for good
    frames(2);
    EXPECT_EQ(stamps.size(), 3u);
}

TEST_F(DisplayLinkTest, TheRunLoopKeepsALinkUntilInvalidatedFromItsCallback) {
    auto target = std::make_shared<int>(0);
    std::weak_ptr<CADisplayLink> weakLink;
    {
        auto link = CADisplayLink::displayLinkWithCallback([target](CADisplayLink& l) {
            if (++*target == 3) l.invalidate();
        });
        link->addToRunLoop(NSRunLoopCommonModes);
        weakLink = link;
    }
    frames(5);
    EXPECT_EQ(*target, 3);
    EXPECT_TRUE(weakLink.expired());
    EXPECT_EQ(target.use_count(), 1);  // the callback was let go
}

// A view that shows its content as layer contents.
class ContentsView : public UIView {
public:
    using UIView::UIView;
    void displayLayer(CALayer& layer) override {
        ++calls;
        layer.setContents(picture);
    }
    int calls = 0;
    std::shared_ptr<CGImage> picture = CGImage::create(4, 4, true);
};

TEST_F(DisplayLinkTest, DisplayLayerRunsOncePerRequestWhileInAWindow) {
    auto view = std::make_shared<ContentsView>(CGRect(0, 0, 40, 40));
    view->layer()->setNeedsDisplay();
    RunLoop::drain();
    EXPECT_EQ(view->calls, 0);  // not in a window
    auto window = makeWindow();
    window->addSubview(view);
    RunLoop::drain();
    EXPECT_EQ(view->calls, 1);
    EXPECT_EQ(view->layer()->contents(), view->picture);
    view->layer()->setCornerRadius(4);  // a property change only redraws
    RunLoop::drain();
    EXPECT_EQ(view->calls, 1);
    view->setNeedsDisplay();
    view->layer()->setNeedsDisplay();
    ASSERT_TRUE(window->renderImage(1));  // a render displays what is pending
    RunLoop::drain();
    EXPECT_EQ(view->calls, 2);
}

}  // namespace
