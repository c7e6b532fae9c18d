#include "UITestSupport.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UIViewController.h"

namespace {

class ControlTests : public UITest {};

TEST_F(ControlTests, ButtonSendsTouchUpInsideOnlyWhenReleasedInside) {
    auto w = makeWindow();
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setFrame(CGRect(50, 100, 100, 40));
    b->setTitle("确定", UIControlStateNormal);
    w->rootViewController()->view()->addSubview(b);
    std::vector<std::string> log;
    b->addAction(UIControlEventTouchDown, [&](UIControl&) { log.push_back("down"); });
    b->addAction(UIControlEventTouchUpInside, [&](UIControl& c) {
        log.push_back("inside");
        EXPECT_FALSE(c.isHighlighted());
    });
    b->addAction(UIControlEventTouchUpOutside, [&](UIControl&) { log.push_back("outside"); });
    EXPECT_TRUE(uitest::tapButton("确定"));
    ASSERT_TRUE(uitest::touchDown({60, 110}));
    EXPECT_TRUE(b->isHighlighted());
    uitest::touchMove({300, 300});
    EXPECT_FALSE(b->isHighlighted());
    uitest::touchUp({300, 300});
    EXPECT_EQ(log, (std::vector<std::string>{"down", "inside", "down", "outside"}));

    // Disabled buttons swallow the touch and send nothing.
    log.clear();
    b->setEnabled(false);
    EXPECT_TRUE(uitest::tap({60, 110}));
    EXPECT_TRUE(log.empty());
}

TEST_F(ControlTests, TargetsAreHeldWeakly) {
    struct Target {
        int hits = 0;
        void hit() { ++hits; }
    };
    auto b = std::make_shared<UIButton>(CGRect(0, 0, 10, 10));
    auto t = std::make_shared<Target>();
    b->addTarget(t, &Target::hit, UIControlEventTouchUpInside);
    b->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(t->hits, 1);
    std::weak_ptr<Target> weak = t;
    t.reset();
    EXPECT_TRUE(weak.expired());
    b->sendActionsForControlEvents(UIControlEventTouchUpInside);  // no crash, nobody called
}

TEST_F(ControlTests, StateFallbacksForTitlesAndImages) {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setTitle("领取", UIControlStateNormal);
    b->setTitle("复制", UIControlStateSelected);
    EXPECT_EQ(b->currentTitle(), "领取");
    b->setSelected(true);
    EXPECT_EQ(b->currentTitle(), "复制");
    b->setHighlighted(true);  // highlighted + selected falls back to selected
    EXPECT_EQ(b->currentTitle(), "复制");
    b->setSelected(false);
    EXPECT_EQ(b->currentTitle(), "领取");
}

TEST_F(ControlTests, ButtonLaysOutImageAndTitleWithInsets) {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setFrame(CGRect(0, 0, 200, 100));
    b->setImage(UIImage::imageWithColor(UIColor::redColor(), {20, 20}), UIControlStateNormal);
    b->setTitle("Go", UIControlStateNormal);
    b->layoutIfNeeded();
    CGRect img = b->imageView()->frame(), title = b->titleLabel()->frame();
    EXPECT_NEAR(img.maxX(), title.minX(), 1e-9);  // side by side, centred together
    EXPECT_NEAR((img.minX() + title.maxX()) / 2, 100, 1e-9);
    // Image above the title: the insets of the platform's arrangement.
    double iw = 20, ih = 20, lw = title.width(), lh = title.height(), s = 10;
    b->setTitleEdgeInsets({0, -iw, -ih - s / 2, 0});
    b->setImageEdgeInsets({-lh - s / 2, 0, 0, -lw});
    b->layoutIfNeeded();
    img = b->imageView()->frame(), title = b->titleLabel()->frame();
    EXPECT_NEAR(img.midX(), 100, 1e-9);
    EXPECT_NEAR(title.midX(), 100, 1e-9);
    EXPECT_LT(img.maxY(), title.minY());
}

// Logs the touch phases it hears.
struct Tracker : UIView {
    using UIView::UIView;
    std::vector<std::string> log;
    void touchesBegan(const UITouchSet&, UIEvent*) override { log.push_back("began"); }
    void touchesEnded(const UITouchSet&, UIEvent*) override { log.push_back("ended"); }
    void touchesCancelled(const UITouchSet&, UIEvent*) override { log.push_back("cancelled"); }
};

TEST_F(ControlTests, TapOnAViewWithARecognizerCancelsTheViewsTouches) {
    auto w = makeWindow();
    auto v = std::make_shared<Tracker>(CGRect(0, 0, 100, 100));
    w->rootViewController()->view()->addSubview(v);
    int taps = 0;
    CGPoint where;
    auto tap = std::make_shared<UITapGestureRecognizer>([&](UIGestureRecognizer& g) {
        ++taps;
        where = g.locationInView(v.get());
    });
    v->addGestureRecognizer(tap);
    uitest::tap({30, 40});
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(where.x, 30);
    EXPECT_EQ(where.y, 40);
    EXPECT_EQ(v->log, (std::vector<std::string>{"began", "cancelled"}));
    // A drag is no tap.
    uitest::drag({10, 10}, {80, 80});
    EXPECT_EQ(taps, 1);
    // With cancelsTouchesInView off the view sees the whole touch.
    v->log.clear();
    tap->setCancelsTouchesInView(false);
    uitest::tap({30, 40});
    EXPECT_EQ(taps, 2);
    EXPECT_EQ(v->log, (std::vector<std::string>{"began", "ended"}));
}

TEST_F(ControlTests, ARecognizerDisabledWhileItsTouchIsDownLetsTheTouchGo) {
    auto w = makeWindow();
    auto v = std::make_shared<Tracker>(CGRect(0, 0, 100, 100));
    w->rootViewController()->view()->addSubview(v);
    int taps = 0;
    auto tap = std::make_shared<UITapGestureRecognizer>([&](UIGestureRecognizer&) { ++taps; });
    v->addGestureRecognizer(tap);
    ASSERT_TRUE(uitest::touchDown({30, 40}));
    tap->setEnabled(false);
    uitest::touchUp({30, 40});
    EXPECT_EQ(taps, 0);
    EXPECT_EQ(v->log, (std::vector<std::string>{"began", "ended"}));
    // Enabled again, it recognizes the next tap.
    tap->setEnabled(true);
    uitest::tap({30, 40});
    EXPECT_EQ(taps, 1);
}

TEST_F(ControlTests, LongPressWaitsForTheClock) {
    auto w = makeWindow();
    auto v = std::make_shared<UIView>(CGRect(0, 0, 100, 100));
    w->rootViewController()->view()->addSubview(v);
    std::vector<UIGestureRecognizerState> states;
    auto lp = std::make_shared<UILongPressGestureRecognizer>([&](UIGestureRecognizer& g) { states.push_back(g.state()); });
    v->addGestureRecognizer(lp);
    uitest::touchDown({50, 50});
    advance(0.4);
    EXPECT_TRUE(states.empty());
    advance(0.2);
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0], UIGestureRecognizerState::Began);
    uitest::touchUp({50, 50});
    EXPECT_EQ(states.back(), UIGestureRecognizerState::Ended);
    // Released early: nothing.
    states.clear();
    uitest::touchDown({50, 50});
    advance(0.3);
    uitest::touchUp({50, 50});
    advance(1);
    EXPECT_TRUE(states.empty());
}

TEST_F(ControlTests, PanReportsTranslationAndPinchReportsScale) {
    auto w = makeWindow();
    auto v = std::make_shared<UIView>(CGRect(0, 0, 375, 400));
    w->rootViewController()->view()->addSubview(v);
    CGPoint last{};
    UIGestureRecognizerState end = UIGestureRecognizerState::Possible;
    auto pan = std::make_shared<UIPanGestureRecognizer>([&](UIGestureRecognizer& g) {
        last = static_cast<UIPanGestureRecognizer&>(g).translationInView(v.get());
        end = g.state();
    });
    v->addGestureRecognizer(pan);
    uitest::drag({100, 100}, {160, 140});
    EXPECT_EQ(end, UIGestureRecognizerState::Ended);
    EXPECT_NEAR(last.x, 60, 1e-9);
    EXPECT_NEAR(last.y, 40, 1e-9);
    v->removeGestureRecognizer(pan);

    double scale = 0;
    auto pinch = std::make_shared<UIPinchGestureRecognizer>(
        [&](UIGestureRecognizer& g) { scale = static_cast<UIPinchGestureRecognizer&>(g).scale; });
    v->addGestureRecognizer(pinch);
    uitest::pinch({180, 200}, 100, 150);
    EXPECT_NEAR(scale, 1.5, 1e-9);
}

}  // namespace
