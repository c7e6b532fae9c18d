#include <cmath>

#include "UITestSupport.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIViewController.h"

namespace {

class ViewTests : public UITest {};

TEST_F(ViewTests, HitTestingFollowsTransformsAndSkipsHiddenViews) {
    auto root = std::make_shared<UIView>(CGRect(0, 0, 300, 300));
    auto box = std::make_shared<UIView>(CGRect(100, 100, 100, 20));
    root->addSubview(box);
    // Turned upright: the 100 × 20 bar now spans y 60...160 at x 140...160.
    box->setTransform(CGAffineTransform::makeRotation(M_PI / 2));
    EXPECT_EQ(root->hitTest({150, 70}, nullptr), box);
    EXPECT_EQ(root->hitTest({110, 110}, nullptr), root);
    CGRect f = box->frame();
    EXPECT_NEAR(f.minX(), 140, 1e-9);
    EXPECT_NEAR(f.minY(), 60, 1e-9);
    // A doubled scale grows the target about the centre.
    box->setTransform(CGAffineTransform::makeScale(2, 2));
    EXPECT_EQ(root->hitTest({55, 101}, nullptr), box);
    EXPECT_NEAR(box->convertPointToView({0, 0}, root.get()).x, 50, 1e-9);
    EXPECT_NEAR(box->convertPointFromView({250, 120}, root.get()).x, 100, 1e-9);

    auto cover = std::make_shared<UIView>(CGRect(0, 0, 300, 300));
    root->addSubview(cover);
    EXPECT_EQ(root->hitTest({55, 101}, nullptr), cover);
    cover->setHidden(true);
    EXPECT_EQ(root->hitTest({55, 101}, nullptr), box);
    cover->setHidden(false);
    cover->setAlpha(0.005);  // practically invisible views are skipped too
    EXPECT_EQ(root->hitTest({55, 101}, nullptr), box);
    cover->setAlpha(1);
    cover->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest({55, 101}, nullptr), box);
}

TEST_F(ViewTests, OverriddenPointInsideLetsAViewTakeTouchesOutsideItsBounds) {
    struct Wide : UIView {
        using UIView::UIView;
        bool pointInside(CGPoint p, UIEvent*) const override { return CGRect(-20, -20, 60, 60).contains(p); }
    };
    auto root = std::make_shared<UIView>(CGRect(0, 0, 200, 200));
    auto wide = std::make_shared<Wide>(CGRect(100, 100, 20, 20));
    root->addSubview(wide);
    EXPECT_EQ(root->hitTest({85, 85}, nullptr), wide);
    EXPECT_EQ(root->hitTest({75, 85}, nullptr), root);
}

TEST_F(ViewTests, AnimatedPropertiesTakeTheirEndAtOnceAndDrawInBetween) {
    auto w = makeWindow();
    auto v = std::make_shared<UIView>(CGRect(0, 0, 100, 100));
    w->rootViewController()->view()->addSubview(v);
    std::vector<std::string> events;
    UIView::animateWithDuration(2.0, 0.3, UIViewAnimationOptionCurveLinear,
                                [&] {
                                    v->setAlpha(0);
                                    v->setCenter({250, 50});
                                },
                                [&](bool finished) { events.push_back(finished ? "done" : "cut"); });
    // Model values: the end at once (layout and hit testing use them).
    EXPECT_EQ(v->alpha(), 0);
    EXPECT_EQ(v->center().x, 250);
    // Drawing: still the start during the delay, then linear in between.
    EXPECT_EQ(v->presentation().alpha, 1);
    advance(0.3 + 1.0);
    EXPECT_NEAR(v->presentation().alpha, 0.5, 1e-6);
    EXPECT_NEAR(v->presentation().center.x, 150, 1e-6);
    EXPECT_TRUE(v->hasRunningAnimations());
    EXPECT_TRUE(events.empty());
    advance(1.0);
    EXPECT_EQ(events, std::vector<std::string>{"done"});
    EXPECT_EQ(v->presentation().alpha, 0);
    EXPECT_FALSE(v->hasRunningAnimations());
}

TEST_F(ViewTests, AZeroDurationAnimationCompletesOnTheNextTurn) {
    auto v = std::make_shared<UIView>(CGRect(0, 0, 10, 10));
    bool done = false;
    UIView::animateWithDuration(0, [&] { v->setAlpha(0.5); }, [&](bool) { done = true; });
    EXPECT_EQ(v->presentation().alpha, 0.5);
    EXPECT_FALSE(done);
    RunLoop::drain();
    EXPECT_TRUE(done);
}

TEST_F(ViewTests, ARetargetedAnimationStartsFromWhatIsOnScreen) {
    auto v = std::make_shared<UIView>(CGRect(0, 0, 10, 10));
    UIView::animateWithDuration(1, 0, UIViewAnimationOptionCurveLinear, [&] { v->setAlpha(0); });
    advance(0.5);
    UIView::animateWithDuration(1, 0, UIViewAnimationOptionCurveLinear, [&] { v->setAlpha(1); });
    EXPECT_NEAR(v->presentation().alpha, 0.5, 1e-6);
    advance(0.5);
    EXPECT_NEAR(v->presentation().alpha, 0.75, 1e-6);
}

TEST_F(ViewTests, LayoutRunsOnTheNextDisplayPassWithControllerCallbacks) {
    struct VC : UIViewController {
        int will = 0, did = 0;
        void viewWillLayoutSubviews() override { ++will; }
        void viewDidLayoutSubviews() override { ++did; }
    };
    struct Laid : UIView {
        using UIView::UIView;
        int count = 0;
        void layoutSubviews() override { ++count; }
    };
    auto vc = std::make_shared<VC>();
    auto w = makeWindow(vc);
    auto child = std::make_shared<Laid>(CGRect(0, 0, 10, 10));
    vc->view()->addSubview(child);
    RunLoop::drain();
    EXPECT_EQ(child->count, 1);
    EXPECT_GE(vc->did, 1);
    child->setFrame(CGRect(0, 0, 20, 20));
    child->setFrame(CGRect(0, 0, 30, 30));  // two changes, one pass
    RunLoop::drain();
    EXPECT_EQ(child->count, 2);
}

TEST_F(ViewTests, SafeAreaFollowsTheScreenProfile) {
    auto& screen = UIScreen::mainScreen();
    screen.setProfile(UIScreen::Profile::Tall);
    auto w = makeWindow();
    auto v = w->rootViewController()->view();
    EXPECT_EQ(w->bounds().height(), 812);
    EXPECT_EQ(v->safeAreaInsets().top, 44);
    EXPECT_EQ(v->safeAreaInsets().bottom, 34);
    auto inner = std::make_shared<UIView>(CGRect(0, 100, 375, 100));
    v->addSubview(inner);
    EXPECT_EQ(inner->safeAreaInsets().top, 0);
    // A window at the screen's bottom (the keyboard's): only the bottom is inset.
    auto low = std::make_shared<UIWindow>(CGRect(0, 812 - 245, 375, 245));
    auto content = std::make_shared<UIView>(CGRect(0, 0, 375, 245));
    low->addSubview(content);
    EXPECT_EQ(content->safeAreaInsets().bottom, 34);
    EXPECT_EQ(content->safeAreaInsets().top, 0);
    w->setHidden(true);
    screen.setProfile(UIScreen::Profile::Compact);
}

}  // namespace
