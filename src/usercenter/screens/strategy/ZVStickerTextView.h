#pragma once
// The comment bar's text view: a multi-line text view with a placeholder
// label, scrolling that follows the caret down as text is added, and copy
// and cut that put the plain text (text-backed runs as their backing text)
// on the general pasteboard. Main thread only.

#include <memory>
#include <string>

#include "platform/ui/UILabel.h"
#include "platform/ui/UITextField.h"

class ZVStickerTextView : public UITextView {
public:
    // The placeholder's insets inside the bounds.
    static constexpr UIEdgeInsets kRetainedContentInsets{8, 4, 8, 4};

    static std::shared_ptr<ZVStickerTextView> create(const CGRect& frame = CGRect());
    ~ZVStickerTextView() override;

    std::string placeholder() const { return placeholderLabel()->text(); }
    void setPlaceholder(const std::string& text);
    UIColor placeholderColor() const { return placeholderLabel()->textColor(); }
    void setPlaceholderColor(const UIColor& colour) { placeholderLabel()->setTextColor(colour); }
    // Centre the text and the placeholder vertically (off unless set).
    bool verticalCenter = false;
    // Made on first use: clear, in the text view's font, hidden at first.
    const std::shared_ptr<UILabel>& placeholderLabel() const;

    void setFont(std::shared_ptr<UIFont> f) override;
    void setText(const std::string& text) override;
    void setAttributedText(const NSAttributedString& text) override;

    bool shouldShowPlaceholder() const { return text().empty() && !placeholder().empty(); }
    void showPlaceholderIfNeeded();
    CGRect placeholderFrame() const;

    void layoutSubviews() override;
    // The plain text of the selection to the pasteboard (nothing when empty).
    void copy() override;
    // The same, and the selection removed; the delegate hears of the change.
    void cut() override;

    explicit ZVStickerTextView(const CGRect& frame) : UITextView(frame) {}

private:
    void zv_textDidChange();
    void verticalCenterContent();
    std::string selectedPlainText() const;

    mutable std::shared_ptr<UILabel> placeholderLabel_;
};
