// Keyboard focus, headless: which views Tab stops at and in what order,
// the scope that keeps focus and typing on the screen on top, and Space or
// Return on a focused control with its ring.

#include "UITestSupport.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/ui/UISmallControls.h"
#include "platform/ui/UITextField.h"

namespace {

using Views = std::vector<std::shared_ptr<UIView>>;

class Focus : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        window = makeWindow();
        root = window->rootViewController()->view();
    }
    template <class V>
    std::shared_ptr<V> add(const std::shared_ptr<UIView>& parent, CGRect frame) {
        auto v = std::make_shared<V>(frame);
        parent->addSubview(v);
        return v;
    }
    std::shared_ptr<UIButton> button(const std::shared_ptr<UIView>& parent, CGRect frame, int* taps = nullptr) {
        auto b = add<UIButton>(parent, frame);
        if (taps) b->addAction(UIControlEventTouchUpInside, [taps](UIControl&) { ++*taps; });
        return b;
    }
    // Where each Tab lands, from the focus as it is.
    Views tabs(int count, unsigned modifiers = 0) {
        Views out;
        for (int i = 0; i < count; ++i) {
            uitest::pressKey(UIKeyInputTab, modifiers);
            auto r = std::dynamic_pointer_cast<UIView>(UIApplication::sharedApplication().textInputResponder());
            out.push_back(r ? r : UIKeyRouting::focusedControl());
        }
        return out;
    }
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UIView> root;
};

// Reading order over fields and controls alike; what is hidden, under a
// hidden or transparent ancestor, disabled or no control is passed over.
// Tab from nowhere starts at the first text input, Shift+Tab at the last stop.
TEST_F(Focus, TabVisitsWhatIsVisibleAndEnabledInReadingOrder) {
    auto close = button(root, CGRect(300, 10, 40, 40));
    auto name = add<UITextField>(root, CGRect(20, 100, 200, 40));
    auto show = button(root, CGRect(240, 102, 60, 36));  // on the name's line
    button(root, CGRect(20, 160, 60, 30))->setHidden(true);
    auto hiddenBox = add<UIView>(root, CGRect(0, 200, 375, 50));
    button(hiddenBox, CGRect(20, 0, 60, 30));
    hiddenBox->setHidden(true);
    auto clearBox = add<UIView>(root, CGRect(0, 260, 375, 50));
    add<UITextField>(clearBox, CGRect(20, 0, 200, 40));
    clearBox->setAlpha(0);
    button(root, CGRect(20, 320, 60, 30))->setEnabled(false);
    add<UIView>(root, CGRect(100, 320, 60, 30));  // no control
    auto toggle = add<UISwitch>(root, CGRect(20, 380, 0, 0));
    auto code = add<UITextField>(root, CGRect(20, 440, 200, 40));
    auto dots = add<UIPageControl>(root, CGRect(20, 500, 100, 30));
    dots->setNumberOfPages(3);

    Views order{close, name, show, toggle, code};
    EXPECT_EQ(UIKeyRouting::tabStops(), order);
    EXPECT_EQ(tabs(5), (Views{name, show, toggle, code, close}));
    EXPECT_FALSE(name->isFirstResponder());  // a control took the focus from the field
    EXPECT_EQ(tabs(2, UIKeyModifierShift), (Views{code, toggle}));

    window->makeFirstResponder(nullptr, true);
    window->setFocusedView(nullptr);
    EXPECT_EQ(tabs(1, UIKeyModifierShift), Views{code});
}

// A panel on a cover over the fields is the focus scope: Tab cycles in it,
// and typing never reaches a field under it, also one that was being
// edited when the panel came.
TEST_F(Focus, APanelOnACoverKeepsFocusAndTypingInIt) {
    auto account = add<UITextField>(root, CGRect(20, 100, 300, 40));
    auto password = add<UITextField>(root, CGRect(20, 160, 300, 40));
    account->setText("demo");
    ASSERT_TRUE(uitest::tapView(*account));

    auto cover = add<UIView>(root, root->bounds());
    auto panel = add<UIView>(cover, CGRect(20, 80, 330, 260));
    auto phone = add<UITextField>(panel, CGRect(10, 20, 300, 40));
    auto newPassword = add<UITextField>(panel, CGRect(10, 80, 300, 40));
    auto commit = button(panel, CGRect(10, 200, 300, 44));
    EXPECT_EQ(UIKeyRouting::tabStops(), (Views{phone, newPassword, commit}));

    EXPECT_FALSE(uitest::insertText("6543217"));
    EXPECT_FALSE(account->isFirstResponder());
    EXPECT_EQ(tabs(4), (Views{phone, newPassword, commit, phone}));
    uitest::insertText("138");
    uitest::pressKey(UIKeyInputTab);
    uitest::insertText("secret7");
    EXPECT_EQ(phone->text(), "138");
    EXPECT_EQ(newPassword->text(), "secret7");
    EXPECT_EQ(account->text(), "demo");
    EXPECT_EQ(password->text(), "");

    // A toast over the middle of a field leaves it reachable; gone, the cover frees the fields under it.
    add<UIView>(panel, CGRect(60, 75, 200, 50));
    EXPECT_TRUE(uitest::insertText("8"));
    EXPECT_EQ(newPassword->text(), "secret78");
    cover->removeFromSuperview();
    EXPECT_EQ(UIKeyRouting::tabStops(), (Views{account, password}));
}

// A presented screen is the scope of its window; a window above covers the
// one under it where it takes touches, and one that lets touches through
// (holding no stop) leaves Tab to the window under it.
TEST_F(Focus, PresentedScreensAndHigherWindowsCoverWhatLiesUnder) {
    auto field = add<UITextField>(root, CGRect(20, 100, 300, 40));
    auto sheet = std::make_shared<UIViewController>();
    window->rootViewController()->presentViewController(sheet, false);
    advance(0.5);
    auto ok = button(sheet->view(), CGRect(20, 300, 100, 44));
    EXPECT_EQ(UIKeyRouting::tabStops(), Views{ok});
    window->rootViewController()->dismissViewControllerAnimated(false);
    advance(0.5);
    EXPECT_EQ(UIKeyRouting::tabStops(), Views{field});

    auto over = makeWindow();
    over->setWindowLevel(UIWindowLevelAlert);
    over->rootViewController()->view()->setBackgroundColor(UIColor::clearColor());
    EXPECT_TRUE(UIKeyRouting::tabStops().empty());  // no stop of its own, and it covers the field
    EXPECT_FALSE(UIKeyRouting::isReachable(*field));
    EXPECT_FALSE(uitest::pressKey(UIKeyInputTab));
    over->setUserInteractionEnabled(false);  // touches pass through
    EXPECT_TRUE(UIKeyRouting::isReachable(*field));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputTab));
    EXPECT_TRUE(field->isFirstResponder());
}

bool ringBlue(RGBA8 p) { return p.b > 200 && p.r < 60 && p.g > 80 && p.g < 130; }

// Space and Return on a focused control do what a tap does, and a ring
// shows round it until a touch takes over; then Return is the screen's
// again.
TEST_F(Focus, SpaceAndReturnActivateTheFocusedControlWhichShowsARing) {
    int taps = 0, screenReturns = 0;
    struct Screen : UIViewController {
        int* returns = nullptr;
        std::vector<UIKeyCommand> keyCommands() const override {
            return {{UIKeyInputReturn, 0, [r = returns] { ++*r; }}};
        }
    };
    auto screen = std::make_shared<Screen>();
    screen->returns = &screenReturns;
    window->setRootViewController(screen);
    auto target = button(screen->view(), CGRect(100, 200, 120, 44), &taps);
    target->setBackgroundColor(UIColor::fromRGB(0x4988FD));
    auto toggle = add<UISwitch>(screen->view(), CGRect(100, 300, 0, 0));
    CGRect halo = target->frame().insetBy(-5, -5);
    auto ringPixels = [&] {
        auto img = window->renderImage();
        return countPixels(*img, halo, ringBlue) - countPixels(*img, target->frame(), ringBlue);
    };
    EXPECT_FALSE(uitest::pressKey(" "));  // nothing focused
    EXPECT_EQ(ringPixels(), 0);

    uitest::pressKey(UIKeyInputTab);
    ASSERT_EQ(UIKeyRouting::focusedControl(), target);
    EXPECT_GT(ringPixels(), 200);
    EXPECT_TRUE(uitest::pressKey(" "));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputReturn));
    EXPECT_EQ(taps, 2);
    EXPECT_EQ(screenReturns, 0);

    uitest::pressKey(UIKeyInputTab);
    uitest::pressKey(" ");
    EXPECT_TRUE(toggle->isOn());

    ASSERT_TRUE(uitest::tap({10, 600}));
    EXPECT_FALSE(UIKeyRouting::focusedControl());
    EXPECT_EQ(ringPixels(), 0);
    EXPECT_TRUE(uitest::pressKey(UIKeyInputReturn));
    EXPECT_EQ(screenReturns, 1);
    EXPECT_EQ(taps, 2);
}

}  // namespace
