#include "UITestSupport.h"
#include "platform/ui/TextLayout.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UITextField.h"

namespace {

class TextTests : public UITest {};

struct FieldDelegate : UITextFieldDelegate {
    std::vector<std::string> log;
    size_t maxLength = 100;
    bool textField_shouldChangeCharactersInRange_replacementString(UITextField& f, NSRange r, const std::string& s) override {
        log.push_back(std::to_string(r.location) + "," + std::to_string(r.length) + ":" + s);
        return f.attributedText().length() - r.length + strings::utf16Length(s) <= maxLength;
    }
    bool textFieldShouldReturn(UITextField& f) override {
        log.push_back("return");
        f.resignFirstResponder();
        return true;
    }
};

TEST_F(TextTests, InputMethodCommitOfChineseAndEmojiKeepsUTF16RangesRight) {
    auto w = makeWindow();
    auto field = std::make_shared<UITextField>(CGRect(20, 100, 300, 40));
    auto d = std::make_shared<FieldDelegate>();
    field->delegate = d;
    w->rootViewController()->view()->addSubview(field);
    int changes = 0;
    auto token = NSNotificationCenter::defaultCenter().addObserver(
        UITextFieldTextDidChangeNotification, [&](const NSNotification& n) { changes += n.object == field.get(); });
    EXPECT_TRUE(uitest::tapView(*field));
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_TRUE(uitest::insertText("ab"));
    // Composing "zhong wen" shows as marked text and is replaced as a whole on commit.
    uitest::setMarkedText("zhong", {5, 0});
    EXPECT_EQ(field->text(), "abzhong");
    EXPECT_EQ(field->markedTextRange(), NSMakeRange(2, 5));
    uitest::setMarkedText("zhong wen", {9, 0});
    EXPECT_EQ(field->markedTextRange(), NSMakeRange(2, 9));
    uitest::insertText("中文");
    EXPECT_EQ(field->text(), "ab中文");
    EXPECT_EQ(field->markedTextRange().location, NSNotFound);
    EXPECT_EQ(field->selectedRange(), NSMakeRange(4, 0));
    // An emoji is two UTF-16 units.
    uitest::insertText("😀");
    EXPECT_EQ(field->selectedRange(), NSMakeRange(6, 0));
    EXPECT_EQ(field->attributedText().length(), 6u);
    // The delegate saw UTF-16 ranges: the commit replaced the marked range (2, 9).
    EXPECT_EQ(d->log[1], "2,9:中文");
    EXPECT_EQ(d->log[2], "4,0:😀");
    // One delete removes the whole emoji; the next one Chinese character.
    uitest::deleteBackward();
    EXPECT_EQ(field->text(), "ab中文");
    EXPECT_EQ(d->log.back(), "4,2:");
    uitest::deleteBackward();
    EXPECT_EQ(field->text(), "ab中");
    // Flags and skin tones go as one character too.
    uitest::insertText("👍🏽🇨🇳");
    uitest::deleteBackward();
    EXPECT_EQ(field->text(), "ab中👍🏽");
    uitest::deleteBackward();
    EXPECT_EQ(field->text(), "ab中");
    EXPECT_GT(changes, 5);
    NSNotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(TextTests, DelegateRefusalsReturnKeyAndKeyboardNotifications) {
    auto w = makeWindow();
    auto field = std::make_shared<UITextField>(CGRect(20, 100, 300, 40));
    auto d = std::make_shared<FieldDelegate>();
    d->maxLength = 11;
    field->delegate = d;
    w->rootViewController()->view()->addSubview(field);
    std::vector<std::string> kb;
    auto show = NSNotificationCenter::defaultCenter().addObserver(UIKeyboardWillShowNotification, [&](const NSNotification& n) {
        CGRect end = CGRectFromNSValue(n.userInfo[UIKeyboardFrameEndUserInfoKey]);
        kb.push_back("show " + std::to_string(int(end.height())));
    });
    auto hide = NSNotificationCenter::defaultCenter().addObserver(UIKeyboardWillHideNotification,
                                                                  [&](const NSNotification&) { kb.push_back("hide"); });
    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_TRUE(UIKeyboard::isVisible());
    uitest::insertText("1380013800");
    uitest::insertText("12");  // would make 12 digits: refused
    EXPECT_EQ(field->text(), "1380013800");
    uitest::insertText("1");
    EXPECT_EQ(field->text(), "13800138001");
    int exits = 0;
    field->addAction(UIControlEventEditingDidEndOnExit, [&](UIControl&) { ++exits; });
    uitest::pressReturn();
    EXPECT_EQ(field->text(), "13800138001");  // no newline in a field
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_FALSE(UIKeyboard::isVisible());
    EXPECT_EQ(kb, (std::vector<std::string>{"show 216", "hide"}));
    NSNotificationCenter::defaultCenter().removeObserver(show);
    NSNotificationCenter::defaultCenter().removeObserver(hide);
}

TEST_F(TextTests, ShiftAndArrowsGrowAndShrinkTheSelectionFromItsAnchor) {
    auto w = makeWindow();
    auto field = std::make_shared<UITextField>(CGRect(20, 100, 300, 40));
    w->rootViewController()->view()->addSubview(field);
    field->setText("a😀bc");
    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_EQ(field->selectedRange(), NSMakeRange(5, 0));
    field->moveCaret(UITextMove::Left, true);
    field->moveCaret(UITextMove::Left, true);
    EXPECT_EQ(field->selectedRange(), NSMakeRange(3, 2));
    field->moveCaret(UITextMove::Left, true);  // the emoji goes in whole
    EXPECT_EQ(field->selectedRange(), NSMakeRange(1, 4));
    field->moveCaret(UITextMove::Right, true);  // back off from the moving end
    EXPECT_EQ(field->selectedRange(), NSMakeRange(3, 2));
    field->moveCaret(UITextMove::Home, true);
    EXPECT_EQ(field->selectedRange(), NSMakeRange(0, 5));
    field->moveCaret(UITextMove::Left, false);  // collapses to the near edge
    EXPECT_EQ(field->selectedRange(), NSMakeRange(0, 0));
    // A selection set from outside moves at its end.
    field->setSelectedRange({1, 2});
    field->moveCaret(UITextMove::Right, true);
    EXPECT_EQ(field->selectedRange(), NSMakeRange(1, 3));
    field->moveCaret(UITextMove::Right, false);
    EXPECT_EQ(field->selectedRange(), NSMakeRange(4, 0));

    auto tv = std::make_shared<UITextView>(CGRect(10, 300, 300, 120));
    w->rootViewController()->view()->addSubview(tv);
    tv->setText("第一行\n第二行");
    ASSERT_TRUE(tv->becomeFirstResponder());
    tv->moveCaret(UITextMove::Left, true);
    tv->moveCaret(UITextMove::Left, true);
    EXPECT_EQ(tv->selectedRange(), NSMakeRange(5, 2));
    tv->moveCaret(UITextMove::Up, true);  // from the moving end, a line up
    EXPECT_LT(tv->selectedRange().location, 4u);
    EXPECT_EQ(tv->selectedRange().end(), 7u);
    tv->moveCaret(UITextMove::Right, false);
    EXPECT_EQ(tv->selectedRange(), NSMakeRange(7, 0));
}

struct ViewDelegate : UITextViewDelegate {
    int changes = 0;
    bool sendOnReturn = true;
    int sends = 0;
    bool textView_shouldChangeTextInRange_replacementText(UITextView&, NSRange, const std::string& s) override {
        if (s == "\n" && sendOnReturn) {
            ++sends;
            return false;
        }
        return true;
    }
    void textViewDidChange(UITextView&) override { ++changes; }
};

TEST_F(TextTests, TextViewGrowsWithLinesAndACustomInputViewShowsAsTheKeyboard) {
    auto w = makeWindow();
    auto tv = std::make_shared<UITextView>(CGRect(10, 500, 300, 40));
    tv->setFont(UIFont::systemFontOfSize(16));
    auto d = std::make_shared<ViewDelegate>();
    tv->setDelegate(d);
    w->rootViewController()->view()->addSubview(tv);
    double one = tv->usedTextHeight();
    tv->setText("第一行\n第二行");
    EXPECT_NEAR(tv->usedTextHeight(), 2 * one, 2);
    EXPECT_EQ(d->changes, 0);  // programmatic changes are not reported
    ASSERT_TRUE(tv->becomeFirstResponder());
    uitest::pressReturn();
    EXPECT_EQ(d->sends, 1);
    EXPECT_EQ(tv->text(), "第一行\n第二行");
    uitest::insertText("好");
    EXPECT_EQ(d->changes, 1);
    EXPECT_GT(tv->caretRectForPosition(tv->selectedRange().location).minY(), one);
    // Swapping the input view re-shows the keyboard at the new height.
    auto custom = std::make_shared<UIView>(CGRect(0, 0, 375, 245));
    tv->setInputView(custom);
    tv->reloadInputViews();
    EXPECT_EQ(UIKeyboard::frame().height(), 245);
    EXPECT_EQ(custom->window(), UIKeyboard::window());
    // The custom keyboard can be tapped.
    int taps = 0;
    auto key = std::make_shared<UIButton>(CGRect(10, 10, 40, 40));
    key->addAction(UIControlEventTouchUpInside, [&](UIControl&) { ++taps; });
    custom->addSubview(key);
    EXPECT_TRUE(uitest::tapView(*key));
    EXPECT_EQ(taps, 1);
    tv->resignFirstResponder();
    EXPECT_FALSE(UIKeyboard::isVisible());
}

}  // namespace

TEST_F(TextTests, AShrinkingLabelFitsItsWidthWhateverTheRoundingOfSmallFonts) {
    auto label = std::make_shared<UILabel>(CGRect(0, 0, 63.29, 18));
    label->setFont(UIFont::boldSystemFontOfSize(9));
    label->adjustsFontSizeToFitWidth = true;
    for (const char* text : {"奖励1000000金币", "奖励100000000000金币", "Level 1000000 reward"}) {
        label->setText(text);
        double scale = label->fittingScale();
        ASSERT_LT(scale, 1) << text;
        TextLayout::Options o;
        o.font = label->font()->fontWithSize(9 * scale);
        EXPECT_LE(TextLayout(text, o).size().width, label->bounds().width()) << text;
        EXPECT_GT(TextLayout(text, o).size().width, label->bounds().width() * 0.9) << text;  // not needlessly small
    }
}

TEST_F(TextTests, ALabelOfAnyNumberOfLinesWrapsEvenWhenItTruncatesItsTail) {
    auto label = std::make_shared<UILabel>();
    label->setText("动态开服即上一区服玩家人数达到要求后自动开启下一区服，请以游戏内具体区服为准");
    label->setFont(UIFont::systemFontOfSize(14));
    label->setNumberOfLines(0);
    double line = label->font()->lineHeight();
    EXPECT_GT(label->sizeThatFits({200, 0}).height, 2.5 * line);
    label->setNumberOfLines(2);
    EXPECT_LT(label->sizeThatFits({200, 0}).height, 2.5 * line);
}
