// The on-screen keyboard and the hardware keys between fields, headless:
// clicks on the keyboard's keys, key presses routed as the host routes them.

#include "UITestSupport.h"
#include "platform/ui/KeyboardPanel.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UITextField.h"

namespace {

class KeyboardTests : public UITest {
protected:
    std::shared_ptr<UITextField> addField(double y) {
        auto f = std::make_shared<UITextField>(CGRect(20, y, 300, 40));
        window->rootViewController()->view()->addSubview(f);
        return f;
    }
    bool tapKey(const std::string& idOrTitle) {
        auto key = uitest::findView([&](UIView& v) {
            auto* b = dynamic_cast<UIButton*>(&v);
            return b && v.window() == UIKeyboard::window() &&
                   (v.accessibilityIdentifier() == idOrTitle || b->currentTitle() == idOrTitle);
        });
        return key && uitest::tapView(*key);
    }
    void SetUp() override {
        UITest::SetUp();
        window = makeWindow();
    }
    std::shared_ptr<UIWindow> window;
};

bool tinted(RGBA8 p) { return p.b > 200 && p.r < 60; }

TEST_F(KeyboardTests, ClickedKeysTypeWithShiftAndTheDigitsPage) {
    auto field = addField(100);
    field->returnKeyType = UIReturnKeyType::Next;
    ASSERT_TRUE(uitest::tapView(*field));
    ASSERT_TRUE(UIKeyboard::isVisible());
    EXPECT_TRUE(uitest::findButton("下一项"));  // the return key names the field's return type
    for (const char* k : {"key_shift", "D", "e", "m", "o", "key_space", "key_page", "1", "2"}) ASSERT_TRUE(tapKey(k)) << k;
    EXPECT_EQ(field->text(), "Demo 12");
    // Shift held for one letter only; delete takes one character.
    ASSERT_TRUE(tapKey("key_page"));
    EXPECT_TRUE(uitest::findButton("q"));
    ASSERT_TRUE(tapKey("key_delete"));
    EXPECT_EQ(field->text(), "Demo 1");
    // A number pad starts on the digits page.
    auto pin = addField(200);
    pin->keyboardType = UIKeyboardType::NumberPad;
    ASSERT_TRUE(uitest::tapView(*pin));
    ASSERT_TRUE(tapKey("7"));
    EXPECT_EQ(pin->text(), "7");
}

TEST_F(KeyboardTests, TheHideKeyAndEscapeEndEditing) {
    auto field = addField(100);
    ASSERT_TRUE(uitest::tapView(*field));
    ASSERT_TRUE(tapKey("key_hide"));
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_FALSE(UIKeyboard::isVisible());

    ASSERT_TRUE(uitest::tapView(*field));
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    EXPECT_FALSE(UIKeyboard::isVisible());
    EXPECT_FALSE(field->isFirstResponder());
}

TEST_F(KeyboardTests, TabReturnAndSelectAllBetweenFields) {
    auto first = addField(100), second = addField(160), third = addField(220);
    // Tab with nothing edited starts at the first field; Shift+Tab goes back and wraps.
    EXPECT_TRUE(uitest::pressKey(UIKeyInputTab));
    EXPECT_TRUE(first->isFirstResponder());
    uitest::pressKey(UIKeyInputTab);
    EXPECT_TRUE(second->isFirstResponder());
    uitest::pressKey(UIKeyInputTab, UIKeyModifierShift);
    uitest::pressKey(UIKeyInputTab, UIKeyModifierShift);
    EXPECT_TRUE(third->isFirstResponder());

    // Return is the field's return key.
    int returns = 0;
    third->addAction(UIControlEventEditingDidEndOnExit, [&](UIControl&) { ++returns; });
    uitest::pressKey(UIKeyInputReturn);
    EXPECT_EQ(returns, 1);

    // Ctrl+A selects everything; typing replaces it.
    uitest::insertText("old text");
    EXPECT_TRUE(uitest::pressKey("a", UIKeyModifierControl));
    EXPECT_EQ(third->selectedRange().length, 8u);
    uitest::insertText("new");
    EXPECT_EQ(third->text(), "new");
}

TEST_F(KeyboardTests, TheCaretIsALineTallAndBlinksOnTheClock) {
    auto field = addField(100);
    field->setFont(UIFont::systemFontOfSize(20));
    ASSERT_TRUE(uitest::tapView(*field));
    CGRect area = uitest::screenFrame(*field);
    auto caretRows = [&] {
        auto img = window->renderImage();
        int rows = 0;
        for (int y = int(area.minY() * 2); y < int(area.maxY() * 2); ++y)
            rows += countPixels(*img, CGRect(area.minX(), y / 2.0, 6, 0.5), tinted) > 0;
        return rows / 2.0;
    };
    double line = field->font()->lineHeight();
    EXPECT_GE(caretRows(), 0.8 * line);
    advance(0.55);
    EXPECT_EQ(caretRows(), 0);
    advance(0.5);
    EXPECT_GE(caretRows(), 0.8 * line);
    // Typing shows it at once, whatever the phase.
    advance(0.5);
    uitest::insertText("x");
    uitest::deleteBackward();
    EXPECT_GE(caretRows(), 0.8 * line);
}

}  // namespace
