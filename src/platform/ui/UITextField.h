#pragma once
// Text input: a one-line text field (a control) and a multi-line,
// scrolling text view, both editing through the keyboard protocol (typed
// text, input-method marked text, delete, return) with the platform's
// delegate questions and notifications. Ranges are UTF-16 units.

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/TextEditing.h"
#include "platform/ui/TextLayout.h"
#include "platform/ui/UIControl.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UITextInput.h"

inline const char* const UITextFieldTextDidBeginEditingNotification = "UITextFieldTextDidBeginEditingNotification";
inline const char* const UITextFieldTextDidChangeNotification = "UITextFieldTextDidChangeNotification";
inline const char* const UITextFieldTextDidEndEditingNotification = "UITextFieldTextDidEndEditingNotification";
inline const char* const UITextViewTextDidBeginEditingNotification = "UITextViewTextDidBeginEditingNotification";
inline const char* const UITextViewTextDidChangeNotification = "UITextViewTextDidChangeNotification";
inline const char* const UITextViewTextDidEndEditingNotification = "UITextViewTextDidEndEditingNotification";

enum class UIKeyboardType { Default, ASCIICapable, NumbersAndPunctuation, URL, NumberPad, PhonePad, NamePhonePad, EmailAddress, DecimalPad };
enum class UIReturnKeyType { Default, Go, Google, Join, Next, Route, Search, Send, Yahoo, Done, EmergencyCall, Continue };
enum class UITextBorderStyle { None, Line, Bezel, RoundedRect };
enum class UITextFieldViewMode { Never, WhileEditing, UnlessEditing, Always };

class UITextField;

class UITextFieldDelegate {
public:
    virtual ~UITextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(UITextField& f) { return true; }
    virtual void textFieldDidBeginEditing(UITextField& f) {}
    virtual bool textFieldShouldEndEditing(UITextField& f) { return true; }
    virtual void textFieldDidEndEditing(UITextField& f) {}
    virtual bool textField_shouldChangeCharactersInRange_replacementString(UITextField& f, NSRange range,
                                                                           const std::string& replacement) {
        return true;
    }
    virtual bool textFieldShouldReturn(UITextField& f) { return true; }
};

class UITextField : public UIControl, public UIKeyInput {
public:
    UITextField();
    explicit UITextField(const CGRect& frame);

    std::string text() const { return editing_.text.string(); }
    void setText(const std::string& text);
    const NSAttributedString& attributedText() const { return editing_.text; }
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(const std::string& p) { placeholder_ = p; setNeedsDisplay(); }
    std::optional<UIColor> placeholderColor;
    const std::shared_ptr<UIFont>& font() const { return font_; }
    void setFont(std::shared_ptr<UIFont> f);
    const UIColor& textColor() const { return textColor_; }
    void setTextColor(const UIColor& c);
    NSTextAlignment textAlignment = NSTextAlignment::Natural;
    bool isSecureTextEntry() const { return secure_; }
    void setSecureTextEntry(bool s) { secure_ = s; setNeedsDisplay(); }
    UITextBorderStyle borderStyle = UITextBorderStyle::None;
    UIKeyboardType keyboardType = UIKeyboardType::Default;
    UIReturnKeyType returnKeyType = UIReturnKeyType::Default;
    bool enablesReturnKeyAutomatically = false;
    UITextFieldViewMode clearButtonMode = UITextFieldViewMode::Never;
    std::shared_ptr<UIView> leftView, rightView;
    UITextFieldViewMode leftViewMode = UITextFieldViewMode::Never, rightViewMode = UITextFieldViewMode::Never;
    std::weak_ptr<UITextFieldDelegate> delegate;
    bool isEditing() const { return isFirstResponder(); }

    void setInputView(std::shared_ptr<UIView> v) { inputView_ = std::move(v); }
    std::shared_ptr<UIView> inputView() const override { return inputView_; }
    void setInputAccessoryView(std::shared_ptr<UIView> v) { accessoryView_ = std::move(v); }
    std::shared_ptr<UIView> inputAccessoryView() const override { return accessoryView_; }

    // UIResponder
    bool canBecomeFirstResponder() const override { return isEnabled(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void firstResponderStatusChanged(bool isFirst) override;

    // UIKeyInput
    bool hasText() const override { return editing_.text.length() > 0; }
    void insertText(const std::string& text) override;
    void deleteBackward() override;
    void setMarkedText(const std::string& text, NSRange selectedRange) override;
    void unmarkText() override;
    NSRange markedTextRange() const override { return editing_.marked; }
    NSRange selectedRange() const override { return editing_.selection; }
    void setSelectedRange(NSRange range) override;
    void moveCaret(UITextMove move, bool extend) override;
    void selectAll() override { setSelectedRange({0, editing_.text.length()}); }
    CGRect caretRectInWindow() const override;
    bool returnKeyEnabled() const override { return !enablesReturnKeyAutomatically || hasText(); }

    // Text area inside the bounds (left and right views and the border taken off).
    CGRect textRectForBounds(const CGRect& bounds) const;
    void layoutSubviews() override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    CGSize sizeThatFits(CGSize size) const override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

private:
    bool change(NSRange range, const std::u16string& s);
    void changed();
    TextLayout::Options layoutOptions() const;
    // How far the text is scrolled left to keep the caret in the text rectangle `r`.
    double scrollX(const TextLayout& layout, const CGRect& r) const;

    TextEditing editing_;
    std::string placeholder_;
    std::shared_ptr<UIFont> font_;
    UIColor textColor_ = UIColor::blackColor();
    bool secure_ = false;
    std::shared_ptr<UIView> inputView_, accessoryView_;
};

class UITextView;

class UITextViewDelegate : public UIScrollViewDelegate {
public:
    virtual bool textViewShouldBeginEditing(UITextView& t) { return true; }
    virtual void textViewDidBeginEditing(UITextView& t) {}
    virtual bool textViewShouldEndEditing(UITextView& t) { return true; }
    virtual void textViewDidEndEditing(UITextView& t) {}
    virtual bool textView_shouldChangeTextInRange_replacementText(UITextView& t, NSRange range, const std::string& text) {
        return true;
    }
    virtual void textViewDidChange(UITextView& t) {}
    virtual void textViewDidChangeSelection(UITextView& t) {}
};

class UITextView : public UIScrollView, public UIKeyInput {
public:
    UITextView();
    explicit UITextView(const CGRect& frame);

    std::string text() const { return editing_.text.string(); }
    virtual void setText(const std::string& text);
    const NSAttributedString& attributedText() const { return editing_.text; }
    virtual void setAttributedText(const NSAttributedString& text);
    const std::shared_ptr<UIFont>& font() const { return font_; }
    virtual void setFont(std::shared_ptr<UIFont> f);
    const UIColor& textColor() const { return textColor_; }
    void setTextColor(const UIColor& c);
    NSTextAlignment textAlignment = NSTextAlignment::Natural;
    bool isEditable() const { return editable_; }
    void setEditable(bool e) { editable_ = e; }
    bool selectable = true;
    UIEdgeInsets textContainerInset{8, 0, 8, 0};
    void setTextContainerInset(const UIEdgeInsets& i) { textContainerInset = i; setNeedsLayout(); }
    double lineFragmentPadding = 5;
    UIKeyboardType keyboardType = UIKeyboardType::Default;
    UIReturnKeyType returnKeyType = UIReturnKeyType::Default;
    bool enablesReturnKeyAutomatically = false;
    NSAttributes& typingAttributes() { return editing_.typingAttributes; }
    void setTypingAttributes(const NSAttributes& a) { editing_.typingAttributes = a; }
    void setDelegate(std::weak_ptr<UITextViewDelegate> d) {
        textDelegate_ = d;
        delegate = std::move(d);
    }
    std::shared_ptr<UITextViewDelegate> textDelegate() const { return textDelegate_.lock(); }

    void setInputView(std::shared_ptr<UIView> v) { inputView_ = std::move(v); }
    std::shared_ptr<UIView> inputView() const override { return inputView_; }

    // The caret rectangle before a position (content coordinates).
    CGRect caretRectForPosition(size_t index) const;
    // Height the text takes (the platform's used rectangle of the text container).
    double usedTextHeight() const;
    void scrollRangeToVisible(NSRange range);
    // Edit-menu actions; subclasses replace them (copy and cut of plain text).
    void copy() override {}
    void cut() override {}
    void paste() override {}

    // UIResponder
    bool canBecomeFirstResponder() const override { return editable_; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void firstResponderStatusChanged(bool isFirst) override;

    // UIKeyInput
    bool hasText() const override { return editing_.text.length() > 0; }
    void insertText(const std::string& text) override;
    void deleteBackward() override;
    void setMarkedText(const std::string& text, NSRange selectedRange) override;
    void unmarkText() override;
    NSRange markedTextRange() const override { return editing_.marked; }
    NSRange selectedRange() const override { return editing_.selection; }
    void setSelectedRange(NSRange range) override;
    void moveCaret(UITextMove move, bool extend) override;
    void selectAll() override { setSelectedRange({0, editing_.text.length()}); }
    CGRect caretRectInWindow() const override;
    bool returnKeyEnabled() const override { return !enablesReturnKeyAutomatically || hasText(); }

    void layoutSubviews() override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;
    CGSize sizeThatFits(CGSize size) const override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;

private:
    bool change(NSRange range, const std::u16string& s);
    void changed();
    TextLayout::Options layoutOptions(double width) const;
    double textWidth() const;
    void updateContentSize();

    TextEditing editing_;
    std::shared_ptr<UIFont> font_;
    UIColor textColor_ = UIColor::blackColor();
    bool editable_ = true;
    std::weak_ptr<UITextViewDelegate> textDelegate_;
    std::shared_ptr<UIView> inputView_;
};
