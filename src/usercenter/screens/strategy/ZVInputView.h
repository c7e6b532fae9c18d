#pragma once
// The comment bar at the bottom of the comment list and thread: a growing
// text view ("请输入评论内容"), a switch between the on-screen keyboard and
// the sticker keyboard, and "发送". It follows the keyboard up and down,
// grows from one to four lines while editing, inserts emoji as text-backed
// runs, deletes a whole emoji per press of the sticker delete key, and
// hands over on send; the owning screen reads `plainText`, calls
// `clearText` and posts.
//
// Collapsed (not editing) it is 44 points high; while editing its height
// follows the text. After every change and layout the text is restyled
// (16-point system font, "#3B3B3B", line spacing 5), except while an input
// method composes. Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/UIButton.h"
#include "usercenter/screens/strategy/SPControls.h"
#include "usercenter/screens/strategy/ZVStickerKeyboard.h"
#include "usercenter/screens/strategy/ZVStickerTextView.h"

class ZVInputView;

// All optional.
class ZVInputViewDelegate {
public:
    virtual ~ZVInputViewDelegate() = default;
    // Nothing: as if it answered yes.
    virtual std::optional<bool> inputViewShouldBeginEditing(ZVInputView& bar) { return std::nullopt; }
    virtual void inputViewDidEndEditing(ZVInputView& bar) {}
    virtual void inputViewDidChange(ZVInputView& bar) {}
    virtual void inputViewDidClickSendButton(ZVInputView& bar) {}
};

class ZVInputView : public UIView, public UITextViewDelegate, public ZVStickerKeyboardDelegate {
public:
    enum KeyboardType : unsigned { NoKeyboard = 0, SystemKeyboard = 1, StickerKeyboard = 2 };
    static constexpr double kCollapsedHeight = 44, kTextMargin = 12.5, kLineGap = 5;
    static constexpr const char* kPlaceholder = "请输入评论内容";

    static std::shared_ptr<ZVInputView> create(const CGRect& frame = CGRect());
    ~ZVInputView() override;

    std::weak_ptr<ZVInputViewDelegate> delegate;
    unsigned keyboardType() const { return keyboardType_; }
    // True while collapsed (not editing).
    bool keepsPreModeTextViewWillEdited = true;

    const std::shared_ptr<ZVStickerTextView>& textView();
    const std::shared_ptr<UIView>& bgView();
    const std::shared_ptr<SPButton>& emojiBtn();
    const std::shared_ptr<UIButton>& sendBtn();
    const std::shared_ptr<ZVStickerKeyboard>& stickerKeyboard();
    // The white filler between the bar and the screen's bottom while a keyboard is up.
    const std::shared_ptr<UIView>& bottomBGView();

    std::string plainText();
    // Empties the text, resets its font, and ends editing.
    void clearText();
    // Puts `text` back when the bar is still empty (a post that did not go through).
    void restoreText(const NSAttributedString& text);

    double heightThatFits();
    // n lines of the 16-point font and the 5-point gaps between them.
    double heightWithLine(int lines);

    bool isFirstResponder() const override;
    bool resignFirstResponder() override;
    void changeKeyboardTo(unsigned type);
    void toggleKeyboardDidClick();
    void setFrame(const CGRect& frame) override;
    void setFrame(const CGRect& frame, bool animated);
    void refreshTextUI();

    void layoutSubviews() override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    bool pointInside(CGPoint point, UIEvent* event) const override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;

    // UITextViewDelegate
    bool textViewShouldBeginEditing(UITextView& t) override;
    bool textView_shouldChangeTextInRange_replacementText(UITextView& t, NSRange range, const std::string& text) override;
    void textViewDidChange(UITextView& t) override;
    void textViewDidEndEditing(UITextView& t) override;
    // ZVStickerKeyboardDelegate
    void stickerKeyboard_didClickEmoji(ZVStickerKeyboard& keyboard, const ZVEmoji& emoji) override;
    void stickerKeyboardDidClickDeleteButton(ZVStickerKeyboard& keyboard) override;
    void stickerKeyboardDidClickSendButton(ZVStickerKeyboard& keyboard) override;

    explicit ZVInputView(const CGRect& frame) : UIView(frame) {}

private:
    void build();
    void keyboardWillShow(const Value& info);
    void keyboardWillHide(const Value& info);
    void doSendBtnClick();
    // The frames of the layout table for the bar's current height.
    void layoutParts();
    // Sets the text and places the caret.
    void setText(const NSAttributedString& text, size_t caret);

    unsigned keyboardType_ = SystemKeyboard;
    std::shared_ptr<UIFont> font_ = UIFont::systemFontOfSize(16);
    std::shared_ptr<ZVStickerTextView> textView_;
    std::shared_ptr<UIView> bgView_, bottomBGView_;
    std::shared_ptr<SPButton> emojiBtn_;
    std::shared_ptr<UIButton> sendBtn_;
    std::shared_ptr<ZVStickerKeyboard> stickerKeyboard_;
};
