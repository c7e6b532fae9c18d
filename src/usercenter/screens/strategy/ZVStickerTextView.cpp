#include "usercenter/screens/strategy/ZVStickerTextView.h"

#include "platform/device/UIPasteboard.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "usercenter/screens/strategy/SPTextBackedString.h"

std::shared_ptr<ZVStickerTextView> ZVStickerTextView::create(const CGRect& frame) {
    auto view = std::make_shared<ZVStickerTextView>(frame);
    std::weak_ptr<ZVStickerTextView> weak = view;
    NSNotificationCenter::defaultCenter().addObserver(view.get(), UITextViewTextDidChangeNotification,
                                                      static_cast<const UITextView*>(view.get()),
                                                      [weak](const NSNotification&) {
                                                          if (auto self = weak.lock()) self->zv_textDidChange();
                                                      });
    view->addSubview(view->placeholderLabel());
    return view;
}

ZVStickerTextView::~ZVStickerTextView() { NSNotificationCenter::defaultCenter().removeObserver(this); }

const std::shared_ptr<UILabel>& ZVStickerTextView::placeholderLabel() const {
    if (!placeholderLabel_) {
        placeholderLabel_ = std::make_shared<UILabel>();
        placeholderLabel_->setBackgroundColor(UIColor::clearColor());
        placeholderLabel_->setFont(font());
        placeholderLabel_->setNumberOfLines(0);
        placeholderLabel_->setHidden(true);
    }
    return placeholderLabel_;
}

void ZVStickerTextView::setPlaceholder(const std::string& text) {
    placeholderLabel()->setText(text);
    setNeedsLayout();
}

void ZVStickerTextView::setFont(std::shared_ptr<UIFont> f) {
    UITextView::setFont(std::move(f));
    placeholderLabel()->setFont(font());
}

void ZVStickerTextView::setText(const std::string& text) {
    UITextView::setText(text);
    showPlaceholderIfNeeded();
}

void ZVStickerTextView::setAttributedText(const NSAttributedString& text) {
    UITextView::setAttributedText(text);
    showPlaceholderIfNeeded();
}

void ZVStickerTextView::showPlaceholderIfNeeded() { placeholderLabel()->setHidden(!shouldShowPlaceholder()); }

CGRect ZVStickerTextView::placeholderFrame() const {
    double available = SPRectInsetClamped(bounds(), kRetainedContentInsets).width();
    CGSize size = SPAddition::pp_sizeWithFont(placeholder(), placeholderLabel()->font(), {available, CGFLOAT_MAX},
                                              NSLineBreakMode::ByCharWrapping);
    CGRect caret = caretRectForPosition(0);
    double y = verticalCenter ? std::max((bounds().height() - size.height) / 2, 0.0) : caret.minY();
    return CGRect(caret.minX(), y, size.width, size.height);
}

void ZVStickerTextView::layoutSubviews() {
    UITextView::layoutSubviews();
    showPlaceholderIfNeeded();
    placeholderLabel()->setFrame(placeholderFrame());
    sendSubviewToBack(placeholderLabel());
    if (verticalCenter) verticalCenterContent();
}

void ZVStickerTextView::zv_textDidChange() {
    showPlaceholderIfNeeded();
    CGRect caret = caretRectForPosition(selectedRange().location);
    double visibleBottom = bounds().height() + contentOffset().y - contentInset().bottom - contentInset().top;
    if (caret.maxY() > visibleBottom) setContentOffset(SPAddition::pp_maximumContentOffset(*this), true);
}

void ZVStickerTextView::verticalCenterContent() {
    double used = usedTextHeight();
    if (bounds().height() < used) return;
    UIEdgeInsets inset = textContainerInset;
    inset.top = (bounds().height() - used) / 2;
    if (inset != textContainerInset) setTextContainerInset(inset);
}

std::string ZVStickerTextView::selectedPlainText() const {
    return SPAddition::pp_plainTextForRange(attributedText(), selectedRange()).value_or("");
}

void ZVStickerTextView::copy() {
    std::string text = selectedPlainText();
    if (!text.empty()) UIPasteboard::generalPasteboard().setString(text);
}

void ZVStickerTextView::cut() {
    std::string text = selectedPlainText();
    if (text.empty()) return;
    UIPasteboard::generalPasteboard().setString(text);
    NSRange selection = selectedRange();
    NSAttributedString rest = attributedText();
    rest.replaceCharactersInRange(selection, std::u16string());
    setAttributedText(rest);
    setSelectedRange({selection.location, 0});
    if (auto d = textDelegate()) d->textViewDidChange(*this);
}
