#include "usercenter/screens/strategy/ZVInputView.h"

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/screens/strategy/EmojiDeletion.h"
#include "usercenter/screens/strategy/SPTextBackedString.h"
#include "usercenter/screens/common/ZVColorExtension.h"

std::shared_ptr<ZVInputView> ZVInputView::create(const CGRect& frame) {
    auto bar = std::make_shared<ZVInputView>(frame);
    bar->build();
    return bar;
}

ZVInputView::~ZVInputView() { NSNotificationCenter::defaultCenter().removeObserver(this); }

void ZVInputView::build() {
    setContentMode(UIViewContentMode::Redraw);
    setBackgroundColor(UIColor::whiteColor());
    addSubview(bgView());
    addSubview(textView());
    addSubview(emojiBtn());
    addSubview(sendBtn());
    std::weak_ptr<ZVInputView> weak = std::static_pointer_cast<ZVInputView>(sharedView());
    auto& centre = NSNotificationCenter::defaultCenter();
    centre.addObserver(this, UIKeyboardWillShowNotification, nullptr, [weak](const NSNotification& n) {
        if (auto self = weak.lock()) self->keyboardWillShow(n.userInfo);
    });
    centre.addObserver(this, UIKeyboardWillHideNotification, nullptr, [weak](const NSNotification& n) {
        if (auto self = weak.lock()) self->keyboardWillHide(n.userInfo);
    });
}

// ---- Parts, made on first use

const std::shared_ptr<ZVStickerTextView>& ZVInputView::textView() {
    if (!textView_) {
        textView_ = ZVStickerTextView::create(bounds());
        textView_->setDelegate(std::static_pointer_cast<ZVInputView>(sharedView()));
        textView_->setBackgroundColor(UIColor::clearColor());
        textView_->setFont(font_);
        textView_->scrollsToTop = false;
        textView_->returnKeyType = UIReturnKeyType::Send;
        textView_->enablesReturnKeyAutomatically = true;
        textView_->setPlaceholder(kPlaceholder);
        textView_->setPlaceholderColor(*SPAdditions::pp_colorWithRGBString("#B4B4B4"));
        textView_->setTextContainerInset({0, 0, 0, 0});
    }
    return textView_;
}

const std::shared_ptr<UIView>& ZVInputView::bgView() {
    if (!bgView_) {
        bgView_ = std::make_shared<UIView>();
        bgView_->setBackgroundColor(XTExtention::colorWithHexString("#f0f0f0"));
        bgView_->layer()->setCornerRadius(3);
        bgView_->setClipsToBounds(true);
    }
    return bgView_;
}

const std::shared_ptr<SPButton>& ZVInputView::emojiBtn() {
    if (!emojiBtn_) {
        emojiBtn_ = std::make_shared<SPButton>();
        emojiBtn_->setImage(ZVColor::sdkImageNamed("zv_tab_emoji0.png"), UIControlStateNormal);
        emojiBtn_->touchInsets = {-12, -20, -12, -20};
        emojiBtn_->setAccessibilityIdentifier("keyboard_switch");
        std::weak_ptr<ZVInputView> weak = std::static_pointer_cast<ZVInputView>(sharedView());
        emojiBtn_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->toggleKeyboardDidClick();
        });
    }
    return emojiBtn_;
}

const std::shared_ptr<UIButton>& ZVInputView::sendBtn() {
    if (!sendBtn_) {
        sendBtn_ = UIButton::buttonWithType(UIButtonType::Custom);
        sendBtn_->setTitle("发送", UIControlStateNormal);
        sendBtn_->setTitleColor(XTExtention::colorWithHexString("#6137E7"), UIControlStateNormal);
        sendBtn_->titleLabel()->setFont(UIFont::systemFontOfSize(17, UIFontWeight::Medium));
        std::weak_ptr<ZVInputView> weak = std::static_pointer_cast<ZVInputView>(sharedView());
        sendBtn_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->doSendBtnClick();
        });
    }
    return sendBtn_;
}

const std::shared_ptr<ZVStickerKeyboard>& ZVInputView::stickerKeyboard() {
    if (!stickerKeyboard_) {
        stickerKeyboard_ = ZVStickerKeyboard::create(CGRect(0, 0, bounds().width(), ZVStickerKeyboard::heightThatFits()));
        stickerKeyboard_->delegate = std::static_pointer_cast<ZVInputView>(sharedView());
    }
    return stickerKeyboard_;
}

const std::shared_ptr<UIView>& ZVInputView::bottomBGView() {
    if (!bottomBGView_) {
        bottomBGView_ = std::make_shared<UIView>();
        bottomBGView_->setBackgroundColor(UIColor::whiteColor());
    }
    return bottomBGView_;
}

// ---- Text

std::string ZVInputView::plainText() {
    auto& text = textView()->attributedText();
    return SPAddition::pp_plainTextForRange(text, SPAddition::pp_rangeOfAll(text)).value_or("");
}

void ZVInputView::clearText() {
    textView()->setText("");
    textView()->setFont(font_);
    sizeToFit();
    if (isFirstResponder()) resignFirstResponder();
}

void ZVInputView::restoreText(const NSAttributedString& text) {
    if (!plainText().empty() || text.empty()) return;
    setText(text, text.length());
    textViewDidChange(*textView());
}

void ZVInputView::setText(const NSAttributedString& text, size_t caret) {
    textView()->setAttributedText(text);
    textView()->setSelectedRange({caret, 0});
}

void ZVInputView::refreshTextUI() {
    auto& view = *textView();
    if (view.attributedText().empty() || view.markedTextRange().location != NSNotFound) return;
    NSParagraphStyle style;
    style.lineSpacing = kLineGap;
    NSAttributedString styled(plainText(), {{NSFontAttributeName, font_},
                                            {NSForegroundColorAttributeName, XTExtention::colorWithHexString("#3B3B3B")},
                                            {NSParagraphStyleAttributeName, style}});
    // Nothing to restyle: the selection stays as it is.
    if (styled == view.attributedText()) return;
    NSRange selection = view.selectedRange();
    size_t oldLength = view.attributedText().length();
    long caret = long(selection.location) - long(oldLength) + long(styled.length());
    setText(styled, size_t(std::max(0L, caret)));
}

// ---- Heights and frames

double ZVInputView::heightWithLine(int lines) {
    double width = textView()->bounds().width();
    double line = SPAddition::pp_sizeWithFont("", font_, {width, CGFLOAT_MAX}, NSLineBreakMode::ByWordWrapping).height;
    return lines * line + (lines - 1) * kLineGap;
}

double ZVInputView::heightThatFits() {
    if (keepsPreModeTextViewWillEdited) return kCollapsedHeight;
    double used = textView()->usedTextHeight();
    return std::min(std::max(heightWithLine(1), used), heightWithLine(4)) + 2 * kTextMargin;
}

void ZVInputView::layoutParts() {
    double h = bounds().height(), right = frame().maxX();
    sendBtn()->setFrame(CGRect(right - 55, h - 36.5, 50, 24));
    CGRect send = sendBtn()->frame();
    emojiBtn()->setFrame(CGRect(send.minX() - 29, send.minY(), 24, 24));
    double textHeight = h - 2 * kTextMargin < 0 ? h : h - 2 * kTextMargin;
    textView()->setFrame(CGRect(10, kTextMargin, emojiBtn()->frame().minX() - 20, textHeight));
    bgView()->setFrame(CGRect(10, 5, textView()->frame().width(), h - 10));
}

void ZVInputView::layoutSubviews() {
    UIView::layoutSubviews();
    layoutParts();
    refreshTextUI();
}

void ZVInputView::drawRect(CGContext& ctx, const CGRect&) {
    double p = SPOnePixelToPoint();
    ctx.setFillColor(XTExtention::colorWithHexString("#D2D2D2"));
    ctx.fillRect(CGRect(0, 0, bounds().width(), p));
}

void ZVInputView::setFrame(const CGRect& frame) {
    UIView::setFrame(frame);
    double screen = UIScreen::mainScreen().bounds().height();
    bottomBGView()->setFrame(CGRect(0, frame.maxY(), bounds().width(), screen - frame.maxY()));
}

void ZVInputView::setFrame(const CGRect& frame, bool animated) {
    if (frame == this->frame()) return;
    textView()->scrollRangeToVisible(textView()->selectedRange());
    auto apply = [this, frame] {
        setFrame(frame);
        setNeedsLayout();
        layoutIfNeeded();
    };
    if (animated) UIView::animateWithDuration(0.25, 0, UIViewAnimationOptionBeginFromCurrentState, apply);
    else apply();
}

// ---- Responder and touches

bool ZVInputView::isFirstResponder() const { return textView_ && textView_->isFirstResponder(); }

bool ZVInputView::resignFirstResponder() {
    UIView::resignFirstResponder();
    keepsPreModeTextViewWillEdited = true;
    changeKeyboardTo(NoKeyboard);
    setNeedsLayout();
    return textView()->resignFirstResponder();
}

bool ZVInputView::pointInside(CGPoint point, UIEvent* event) const {
    return isFirstResponder() || UIView::pointInside(point, event);
}

void ZVInputView::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    CGPoint p = touches.front()->locationInView(this);
    if (bounds().contains(p)) UIView::touchesBegan(touches, event);
    else if (isFirstResponder()) resignFirstResponder();
}

// ---- Keyboards

void ZVInputView::toggleKeyboardDidClick() {
    if (!textView()->isFirstResponder()) textView()->becomeFirstResponder();
    changeKeyboardTo(keyboardType_ == SystemKeyboard ? StickerKeyboard : SystemKeyboard);
}

void ZVInputView::changeKeyboardTo(unsigned type) {
    if (type == keyboardType_) return;
    bool sticker = type == StickerKeyboard;
    if (sticker || type == SystemKeyboard) {
        emojiBtn()->setImage(ZVColor::sdkImageNamed(sticker ? "zv_tab_emoji1.png" : "zv_tab_emoji0.png"), UIControlStateNormal);
        textView()->setInputView(sticker ? std::shared_ptr<UIView>(stickerKeyboard()) : nullptr);
        textView()->reloadInputViews();
    } else if (type == NoKeyboard) {
        emojiBtn()->setImage(ZVColor::sdkImageNamed("zv_tab_emoji0.png"), UIControlStateNormal);
        textView()->setInputView(nullptr);
    }
    keyboardType_ = type;
}

void ZVInputView::keyboardWillShow(const Value& info) {
    auto parent = superview();
    if (!parent) return;
    if (!bottomBGView()->superview()) parent->insertSubviewBelow(bottomBGView(), sharedView());
    double duration = info[UIKeyboardAnimationDurationUserInfoKey].doubleValue();
    CGRect keyboard = CGRectFromNSValue(info[UIKeyboardFrameEndUserInfoKey]);
    auto& screen = UIScreen::mainScreen();
    // A screen above the tab bar is that much shorter than the window.
    double e = parent->bounds().height() == screen.bounds().height() ? 0 : screen.safeAreaInsets().bottom > 0 ? 83 : 49;
    double h = heightThatFits();
    CGRect target(frame().minX(), parent->bounds().height() - keyboard.height() - h + e, frame().width(), h);
    UIView::animateWithDuration(duration, [this, target] { setFrame(target); });
}

void ZVInputView::keyboardWillHide(const Value& info) {
    auto parent = superview();
    if (!parent) return;
    if (bottomBGView()->superview()) bottomBGView()->removeFromSuperview();
    double duration = info[UIKeyboardAnimationDurationUserInfoKey].doubleValue();
    double h = heightThatFits();
    CGRect target(frame().minX(), parent->bounds().height() - h - parent->safeAreaInsets().bottom, frame().width(), h);
    UIView::animateWithDuration(duration, [this, target] { setFrame(target); });
}

// ---- Text view delegate

bool ZVInputView::textViewShouldBeginEditing(UITextView&) {
    keepsPreModeTextViewWillEdited = false;
    changeKeyboardTo(SystemKeyboard);
    auto d = delegate.lock();
    auto answer = d ? d->inputViewShouldBeginEditing(*this) : std::nullopt;
    return answer.value_or(true);
}

bool ZVInputView::textView_shouldChangeTextInRange_replacementText(UITextView&, NSRange, const std::string& text) {
    if (text != "\n") return true;
    if (auto d = delegate.lock()) d->inputViewDidClickSendButton(*this);
    return false;
}

void ZVInputView::textViewDidChange(UITextView&) {
    refreshTextUI();
    double h = heightThatFits();
    CGRect f = frame();
    setFrame(CGRect(f.minX(), f.maxY() - h, sizeThatFits(bounds().size).width, h), true);
    if (!keepsPreModeTextViewWillEdited) layoutParts();
    if (auto d = delegate.lock()) d->inputViewDidChange(*this);
}

void ZVInputView::textViewDidEndEditing(UITextView&) {
    keepsPreModeTextViewWillEdited = true;
    auto parent = superview();
    double h = heightThatFits();
    if (parent) {
        double y = parent->bounds().height() - h - parent->safeAreaInsets().bottom;
        setFrame(CGRect(frame().minX(), y, frame().width(), h));
    }
    if (auto d = delegate.lock()) d->inputViewDidEndEditing(*this);
}

// ---- Sticker keyboard delegate

void ZVInputView::stickerKeyboard_didClickEmoji(ZVStickerKeyboard&, const ZVEmoji& emoji) {
    if (!emoji.image) return;
    NSRange r = textView()->selectedRange();
    NSAttributedString run(*emoji.image);
    SPAddition::pp_setTextBackedString(run, SPTextBackedString::stringWithString(*emoji.image), SPAddition::pp_rangeOfAll(run));
    NSAttributedString text = textView()->attributedText();
    text.replaceCharactersInRange(r, run);
    setText(text, r.location + run.length());
    textViewDidChange(*textView());
}

void ZVInputView::stickerKeyboardDidClickDeleteButton(ZVStickerKeyboard&) {
    NSRange r = textView()->selectedRange();
    if (r == NSRange{0, 0}) return;
    NSAttributedString text = textView()->attributedText();
    if (r.length == 0) r = EmojiDeletion::rangeBefore(text.utf16(), r.location);
    text.deleteCharactersInRange(r);
    setText(text, r.location);
    textViewDidChange(*textView());
}

void ZVInputView::stickerKeyboardDidClickSendButton(ZVStickerKeyboard&) { doSendBtnClick(); }

void ZVInputView::doSendBtnClick() {
    if (auto d = delegate.lock()) d->inputViewDidClickSendButton(*this);
}
