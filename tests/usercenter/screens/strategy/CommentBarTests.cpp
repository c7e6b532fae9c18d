// The comment bar and what it stands on: text-backed runs and their plain
// text, the sticker text view's copy and cut, whole-emoji deletion, and the
// bar itself (keyboards, sending, heights, restyling, following the keyboard).

#include "UserCentreTestSupport.h"
#include "platform/device/UIPasteboard.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/screens/strategy/EmojiDeletion.h"
#include "usercenter/screens/strategy/SPTextBackedString.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/strategy/ZVInputView.h"

namespace {

NSAttributedString backedRun(const std::string& shown, std::optional<std::string> backing) {
    NSAttributedString run(shown);
    SPAddition::pp_setTextBackedString(run, SPTextBackedString::stringWithString(std::move(backing)),
                                       SPAddition::pp_rangeOfAll(run));
    return run;
}

TEST(TextBackedRuns, ThePlainTextOfARangeAndTheArchive) {
    NSAttributedString text("a");
    text.appendAttributedString(backedRun("😠", "😠"));
    text.appendAttributedString(backedRun("[img]", "[微笑]"));
    text.appendAttributedString(backedRun("x", std::nullopt));
    text.appendAttributedString(NSAttributedString("b"));
    struct Case {
        NSRange range;
        std::optional<std::string> plain;
    };
    for (auto c : {Case{{0, 3}, "a😠"}, Case{{0, 100}, "a😠[微笑]xb"}, Case{{3, 5}, "[微笑]"}, Case{{1, 0}, ""},
                   Case{{50, 3}, ""}, Case{{NSNotFound, 0}, std::nullopt}, Case{{0, NSNotFound}, std::nullopt}})
        EXPECT_EQ(SPAddition::pp_plainTextForRange(text, c.range), c.plain) << c.range.location << "+" << c.range.length;
    SPAddition::pp_setTextBackedString(text, nullptr, {3, 5});
    EXPECT_EQ(SPAddition::pp_plainTextForRange(text, SPAddition::pp_rangeOfAll(text)), "a😠[img]xb");

    for (std::optional<std::string> s : {std::optional<std::string>("好😠"), std::optional<std::string>()}) {
        auto back = SPTextBackedString::decode(SPTextBackedString::stringWithString(s)->encode());
        ASSERT_TRUE(back);
        EXPECT_EQ(back->string, s);
    }
    EXPECT_FALSE(SPTextBackedString::decode(Data{'b', 'p', 'l', 'i', 's', 't'}));
}

TEST(EmojiDeletionTable, OnePressRemovesAWholeEmojiOrOneCodePoint) {
    struct Case {
        std::string text;
        size_t removed;  // UTF-16 units before the end
    };
    for (auto& c : std::vector<Case>{{"a😠", 2},
                                     {"a🇨🇳", 4},
                                     {"a👍🏽", 4},
                                     {"a❤️", 2},
                                     {"ab", 1},
                                     {"a𠀀", 2},
                                     {"a🇨", 2},
                                     {"🇨🇳🇨", 2},
                                     {"好", 1},
                                     {"👨‍👩", 2}}) {
        auto text = strings::toUTF16(c.text);
        NSRange r = EmojiDeletion::rangeBefore(text, text.size());
        EXPECT_EQ(r, (NSRange{text.size() - c.removed, c.removed})) << c.text;
    }
    EXPECT_EQ(EmojiDeletion::rangeBefore(u"abc", 0).length, 0u);
    // A caret between the halves of a flag removes the indicator before it.
    EXPECT_EQ(EmojiDeletion::rangeBefore(strings::toUTF16("🇨🇳"), 2), (NSRange{0, 2}));
}

class RecordingBarDelegate : public ZVInputViewDelegate {
public:
    int sends = 0;
    void inputViewDidClickSendButton(ZVInputView&) override { ++sends; }
};

class CommentBar : public UserCentreTest {
protected:
    void SetUp() override {
        UserCentreTest::SetUp();
        window = makeWindow();
        parent = window->rootViewController()->view();
        bar = ZVInputView::create();
        bar->delegate = sends;
        parent->addSubview(bar);
        double h = bar->heightThatFits();
        bar->setFrame(CGRect(0, parent->bounds().height() - h, 320, h));
        uitest::layout();
    }
    void edit() {
        uitest::tapView(*bar->textView());
        advance(0.3);
        uitest::layout();
    }
    std::u16string shown() const { return bar->textView()->attributedText().utf16(); }
    void stickerDelete() { bar->stickerKeyboardDidClickDeleteButton(*bar->stickerKeyboard()); }
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UIView> parent;
    std::shared_ptr<ZVInputView> bar;
    std::shared_ptr<RecordingBarDelegate> sends = std::make_shared<RecordingBarDelegate>();
};

TEST_F(CommentBar, PlacesAndHeights) {
    EXPECT_EQ(bar->frame().height(), ZVInputView::kCollapsedHeight);
    EXPECT_EQ(bar->sendBtn()->frame(), CGRect(265, 7.5, 50, 24));
    EXPECT_EQ(bar->bgView()->frame(), CGRect(10, 5, 216, 34));
    EXPECT_FALSE(bar->textView()->placeholderLabel()->isHidden());
    edit();
    double line = bar->heightWithLine(1);
    EXPECT_GT(line, 15);
    EXPECT_EQ(bar->heightWithLine(4), 4 * line + 3 * ZVInputView::kLineGap);
    std::string text;
    for (int lines = 1; lines <= 5; ++lines) {
        if (lines > 1) text += "\n";
        text += "line " + std::to_string(lines);
        bar->textView()->setText(text);
        bar->textViewDidChange(*bar->textView());
        advance(0.3);
        uitest::layout();
        EXPECT_NEAR(bar->frame().height(), bar->heightWithLine(std::min(lines, 4)) + 25, 0.01) << lines;
        EXPECT_EQ(bar->frame().maxY(), UIKeyboard::frame().minY()) << lines;
    }
    EXPECT_TRUE(bar->textView()->placeholderLabel()->isHidden());
    bar->clearText();
    advance(0.3);
    uitest::layout();
    EXPECT_EQ(bar->frame().height(), ZVInputView::kCollapsedHeight);
}

TEST_F(CommentBar, TheKeyboardSwitchReturnAndTheStickerKeys) {
    edit();
    ASSERT_TRUE(bar->isFirstResponder());
    EXPECT_EQ(bar->keyboardType(), ZVInputView::SystemKeyboard);
    uitest::pressKey(UIKeyInputReturn);
    EXPECT_EQ(sends->sends, 0);  // Return waits for text
    uitest::insertText("好玩");
    uitest::tapView(*bar->emojiBtn());
    advance(0.3);
    EXPECT_EQ(bar->keyboardType(), ZVInputView::StickerKeyboard);
    EXPECT_EQ(bar->textView()->inputView(), bar->stickerKeyboard());
    ASSERT_TRUE(bar->stickerKeyboard()->window());
    auto page = std::dynamic_pointer_cast<ZVStickerPageView>(bar->stickerKeyboard()->queuingScrollView()->centerView());
    ASSERT_TRUE(page);
    uitest::tapView(*page->emojiButtons()[0]);
    uitest::tapView(*page->emojiButtons()[1]);
    auto& all = ZVStickerDataManager::sharedInstance().allEmojis();
    EXPECT_EQ(bar->plainText(), "好玩" + *all[0]->image + *all[1]->image);
    uitest::tapView(*page->deleteButton());
    EXPECT_EQ(bar->plainText(), "好玩😠");
    EXPECT_EQ(bar->textView()->selectedRange(), (NSRange{4, 0}));
    uitest::tapView(*bar->stickerKeyboard()->sendButton());
    EXPECT_EQ(sends->sends, 1);
    uitest::tapView(*bar->emojiBtn());
    advance(0.3);
    EXPECT_EQ(bar->keyboardType(), ZVInputView::SystemKeyboard);
    EXPECT_FALSE(bar->textView()->inputView());
    uitest::pressKey(UIKeyInputReturn);
    EXPECT_EQ(sends->sends, 2);
    EXPECT_EQ(bar->plainText(), "好玩😠");  // the owner empties the bar
    // Deleting at the start does nothing; a selection goes as a whole.
    bar->textView()->setSelectedRange({0, 0});
    stickerDelete();
    EXPECT_EQ(bar->plainText(), "好玩😠");
    bar->textView()->setSelectedRange({1, 3});
    stickerDelete();
    EXPECT_EQ(bar->plainText(), "好");
}

TEST_F(CommentBar, APreeditIsNotRestyledItsCommitIs) {
    edit();
    uitest::insertText("a");
    uitest::setMarkedText("hao", {3, 0});
    EXPECT_EQ(bar->textView()->markedTextRange(), (NSRange{1, 3}));
    bar->setNeedsLayout();
    uitest::layout();
    EXPECT_EQ(bar->textView()->markedTextRange(), (NSRange{1, 3}));  // a restyle would end the composition
    uitest::insertText("好");
    EXPECT_EQ(bar->textView()->markedTextRange().location, NSNotFound);
    EXPECT_EQ(shown(), u"a好");
    auto& text = bar->textView()->attributedText();
    NSRange run;
    auto colour = text.attribute(NSForegroundColorAttributeName, 0, &run);
    ASSERT_TRUE(colour);
    EXPECT_EQ(std::get<UIColor>(*colour), XTExtention::colorWithHexString("#3B3B3B"));
    EXPECT_EQ(run, (NSRange{0, 2}));
    auto style = text.attribute(NSParagraphStyleAttributeName, 1);
    ASSERT_TRUE(style);
    EXPECT_EQ(std::get<NSParagraphStyle>(*style).lineSpacing, ZVInputView::kLineGap);
}

TEST_F(CommentBar, ItFollowsTheKeyboardWithAFillerAndComesBackToTheSafeArea) {
    for (auto profile : {UIScreen::Profile::Compact, UIScreen::Profile::Tall}) {
        UIScreen::mainScreen().setProfile(profile);
        window->setFrame(UIScreen::mainScreen().bounds());
        uitest::layout();
        edit();
        ASSERT_TRUE(UIKeyboard::isVisible());
        EXPECT_EQ(bar->frame().maxY(), UIKeyboard::frame().minY());
        ASSERT_EQ(bar->bottomBGView()->superview(), parent);
        EXPECT_EQ(bar->bottomBGView()->frame().minY(), bar->frame().maxY());
        EXPECT_EQ(bar->bottomBGView()->frame().maxY(), UIScreen::mainScreen().bounds().height());
        // The sticker keyboard is taller on the tall screen: the bar stays on it.
        bar->toggleKeyboardDidClick();
        advance(0.3);
        EXPECT_EQ(bar->frame().maxY(), UIKeyboard::frame().minY());
        bar->resignFirstResponder();
        advance(0.3);
        EXPECT_FALSE(bar->bottomBGView()->superview());
        EXPECT_EQ(bar->frame().height(), ZVInputView::kCollapsedHeight);
        EXPECT_EQ(bar->frame().maxY(), parent->bounds().height() - parent->safeAreaInsets().bottom);
    }
    UIScreen::mainScreen().setProfile(UIScreen::Profile::Compact);
}

TEST_F(CommentBar, CopyAndCutTakeThePlainText) {
    auto store = std::make_shared<MemoryPasteboardStore>();
    UIPasteboard::setStore(store);
    edit();
    auto view = bar->textView();
    NSAttributedString text("a");
    text.appendAttributedString(backedRun("[img]", "😠"));
    text.appendAttributedString(NSAttributedString("b"));
    view->setAttributedText(text);
    view->setSelectedRange({0, 0});
    uitest::pressKey("c", UIKeyModifierControl);
    EXPECT_FALSE(store->text());  // nothing selected, nothing copied
    view->setSelectedRange({0, 6});
    uitest::pressKey("c", UIKeyModifierControl);
    EXPECT_EQ(store->text(), "a😠");
    view->setSelectedRange({1, 5});
    uitest::pressKey("x", UIKeyModifierControl);
    EXPECT_EQ(store->text(), "😠");
    EXPECT_EQ(bar->plainText(), "ab");
    EXPECT_EQ(view->selectedRange(), (NSRange{1, 0}));
    UIPasteboard::setStore(nullptr);
}

}  // namespace
