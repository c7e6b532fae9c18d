#include "platform/ui/UITextField.h"

#include <cmath>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/CaretBlink.h"
#include "platform/ui/UIEvent.h"
#include "platform/ui/UIWindow.h"

namespace {
void post(const char* name, const void* object) { NSNotificationCenter::defaultCenter().postNotificationName(name, object); }

// Draws the selection, the marked-text underline and the caret of a layout at `origin`.
void drawEditing(CGContext& ctx, const TextLayout& layout, CGPoint origin, const TextEditing& e, bool editing,
                 const UIColor& tint) {
    if (e.hasMarked()) {
        CGRect a = layout.caretRect(e.marked.location), b = layout.caretRect(e.marked.end());
        if (std::fabs(a.minY() - b.minY()) < 1) {
            ctx.setFillColor(tint.colorWithAlphaComponent(0.6));
            ctx.fillRect(CGRect(origin.x + a.minX(), origin.y + a.maxY() - 1, b.minX() - a.minX(), 1));
        }
    }
    if (!editing) return;
    if (e.selection.length > 0) {
        CGRect a = layout.caretRect(e.selection.location), b = layout.caretRect(e.selection.end());
        if (std::fabs(a.minY() - b.minY()) < 1) {
            ctx.setFillColor(tint.colorWithAlphaComponent(0.25));
            ctx.fillRect(CGRect(origin.x + a.minX(), origin.y + a.minY(), b.minX() - a.minX(), a.height()));
        }
    } else if (CaretBlink::visible()) {
        CGRect c = layout.caretRect(e.selection.location);
        ctx.setFillColor(tint);
        ctx.fillRect(CGRect(origin.x + c.minX(), origin.y + c.minY(), 2, c.height()));
    }
}
}  // namespace

// ---- UITextField

UITextField::UITextField() : font_(UIFont::systemFontOfSize(17)) {
    setOpaque(false);
    editing_.typingAttributes = {{NSFontAttributeName, font_}, {NSForegroundColorAttributeName, textColor_}};
}

UITextField::UITextField(const CGRect& frame) : UITextField() { UIView::setFrame(frame); }

void UITextField::setText(const std::string& text) {
    editing_.setPlain(text);
    setNeedsDisplay();
}

void UITextField::setFont(std::shared_ptr<UIFont> f) {
    font_ = f ? std::move(f) : UIFont::systemFontOfSize(17);
    editing_.setAttribute(NSFontAttributeName, font_);
    setNeedsDisplay();
}

void UITextField::setTextColor(const UIColor& c) {
    textColor_ = c;
    editing_.setAttribute(NSForegroundColorAttributeName, c);
    setNeedsDisplay();
}

bool UITextField::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder() || !window()) return false;
    if (auto d = delegate.lock(); d && !d->textFieldShouldBeginEditing(*this)) return false;
    return UIControl::becomeFirstResponder();
}

bool UITextField::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    if (auto d = delegate.lock(); d && !d->textFieldShouldEndEditing(*this)) return false;
    return UIControl::resignFirstResponder();
}

void UITextField::firstResponderStatusChanged(bool isFirst) {
    auto self = sharedView();
    if (isFirst) {
        editing_.selection = {editing_.text.length(), 0};
        CaretBlink::start(self);
        sendActionsForControlEvents(UIControlEventEditingDidBegin);
        if (auto d = delegate.lock()) d->textFieldDidBeginEditing(*this);
        post(UITextFieldTextDidBeginEditingNotification, this);
    } else {
        editing_.unmark();
        CaretBlink::stop(*this);
        sendActionsForControlEvents(UIControlEventEditingDidEnd);
        if (auto d = delegate.lock()) d->textFieldDidEndEditing(*this);
        post(UITextFieldTextDidEndEditingNotification, this);
    }
    setNeedsDisplay();
}

bool UITextField::change(NSRange range, const std::u16string& s) {
    if (auto d = delegate.lock();
        d && !d->textField_shouldChangeCharactersInRange_replacementString(*this, range, strings::fromUTF16(s)))
        return false;
    editing_.replace(range, s);
    return true;
}

void UITextField::changed() {
    CaretBlink::restart();
    setNeedsDisplay();
    sendActionsForControlEvents(UIControlEventEditingChanged);
    post(UITextFieldTextDidChangeNotification, this);
}

void UITextField::insertText(const std::string& text) {
    if (text == "\n" || text == "\r") {
        // The return key: asks the delegate and ends on exit; a one-line field takes no newline.
        auto self = sharedView();
        bool ok = true;
        if (auto d = delegate.lock()) ok = d->textFieldShouldReturn(*this);
        if (ok) sendActionsForControlEvents(UIControlEventEditingDidEndOnExit);
        return;
    }
    if (change(editing_.replacementRange(), strings::toUTF16(text))) changed();
}

void UITextField::deleteBackward() {
    if (editing_.deleteInMarked()) return changed();
    NSRange r = editing_.deletionRange();
    if (r.length > 0 && change(r, u"")) changed();
}

void UITextField::setMarkedText(const std::string& text, NSRange sel) {
    editing_.setMarked(strings::toUTF16(text), sel);
    changed();
}

void UITextField::unmarkText() {
    // Committing composed text is an edit the delegate may refuse.
    auto m = editing_.takeMarked();
    if (!m) return;
    change(m->first, m->second);
    changed();
}

void UITextField::setSelectedRange(NSRange range) {
    if (isFirstResponder()) CaretBlink::restart();
    editing_.selection = range;
    editing_.clampSelection();
    setNeedsDisplay();
}

void UITextField::moveCaret(UITextMove move, bool extend) {
    // One line: up and down go to its ends.
    if (move == UITextMove::Up) move = UITextMove::Home;
    else if (move == UITextMove::Down) move = UITextMove::End;
    editing_.moveCaretTo(editing_.caretAfter(move, extend), extend);
    CaretBlink::restart();
    setNeedsDisplay();
}

TextLayout::Options UITextField::layoutOptions() const {
    TextLayout::Options o;
    o.font = font_;
    o.color = textColor_;
    o.secure = secure_;
    return o;
}

CGRect UITextField::textRectForBounds(const CGRect& b) const {
    CGRect r = b;
    if (borderStyle != UITextBorderStyle::None) r = r.insetBy(7, 0);
    bool editing = isFirstResponder();
    auto shows = [&](UITextFieldViewMode m) {
        return m == UITextFieldViewMode::Always || (m == UITextFieldViewMode::WhileEditing && editing) ||
               (m == UITextFieldViewMode::UnlessEditing && !editing);
    };
    if (leftView && shows(leftViewMode)) {
        double w = leftView->bounds().width();
        r.origin.x += w;
        r.size.width -= w;
    }
    if (rightView && shows(rightViewMode)) r.size.width -= rightView->bounds().width();
    r.size.width = std::max(0.0, r.size.width);
    return r;
}

void UITextField::layoutSubviews() {
    CGRect b = bounds();
    bool editing = isFirstResponder();
    auto place = [&](const std::shared_ptr<UIView>& v, UITextFieldViewMode m, bool left) {
        if (!v) return;
        bool show = m == UITextFieldViewMode::Always || (m == UITextFieldViewMode::WhileEditing && editing) ||
                    (m == UITextFieldViewMode::UnlessEditing && !editing);
        if (v->superview().get() != this) addSubview(v);
        v->setHidden(!show);
        CGSize s = v->bounds().size;
        v->setFrame(CGRect(left ? 0 : b.width() - s.width, (b.height() - s.height) / 2, s.width, s.height));
    };
    place(leftView, leftViewMode, true);
    place(rightView, rightViewMode, false);
}

double UITextField::scrollX(const TextLayout& layout, const CGRect& r) const {
    CGRect caret = layout.caretRect(editing_.caret());
    // Keeps the caret inside the text area when the text is wider.
    return caret.maxX() > r.width() ? caret.maxX() - r.width() : 0;
}

void UITextField::drawRect(CGContext& ctx, const CGRect&) {
    CGRect b = bounds();
    if (borderStyle == UITextBorderStyle::RoundedRect || borderStyle == UITextBorderStyle::Line ||
        borderStyle == UITextBorderStyle::Bezel) {
        double radius = borderStyle == UITextBorderStyle::RoundedRect ? 5 : 0;
        if (borderStyle == UITextBorderStyle::RoundedRect) {
            ctx.setFillColor(UIColor::whiteColor());
            ctx.fillPath(CGPath::roundedRect(b, radius));
        }
        ctx.setStrokeColor(UIColor::colorWithWhite(0.8));
        ctx.setLineWidth(1);
        ctx.strokePath(CGPath::roundedRect(b.insetBy(0.5, 0.5), radius));
    }
    CGRect r = textRectForBounds(b);
    ctx.saveGState();
    ctx.clipToRect(r);
    if (editing_.text.length() == 0) {
        if (!placeholder_.empty()) {
            TextLayout::Options o = layoutOptions();
            o.secure = false;
            o.color = placeholderColor.value_or(UIColor::colorWithWhite(0.7));
            TextLayout ph(placeholder_, o);
            double x = r.minX();
            if (textAlignment == NSTextAlignment::Center) x = r.midX() - ph.size().width / 2;
            else if (textAlignment == NSTextAlignment::Right) x = r.maxX() - ph.size().width;
            ph.draw(ctx, {x, r.midY() - ph.size().height / 2});
        }
        if (isFirstResponder() && CaretBlink::visible()) {
            TextLayout empty("", layoutOptions());
            double h = empty.lineHeight();
            ctx.setFillColor(tintColor());
            double x = textAlignment == NSTextAlignment::Center ? r.midX() : textAlignment == NSTextAlignment::Right ? r.maxX() - 2 : r.minX();
            ctx.fillRect(CGRect(x, r.midY() - h / 2, 2, h));
        }
    } else {
        TextLayout layout(editing_.text, layoutOptions());
        CGSize s = layout.size();
        double x = r.minX() - scrollX(layout, r);
        if (s.width < r.width()) {
            if (textAlignment == NSTextAlignment::Center) x = r.midX() - s.width / 2;
            else if (textAlignment == NSTextAlignment::Right) x = r.maxX() - s.width;
        }
        CGPoint origin{x, r.midY() - s.height / 2};
        layout.draw(ctx, origin);
        drawEditing(ctx, layout, origin, editing_, isFirstResponder(), tintColor());
    }
    ctx.restoreGState();
}

CGSize UITextField::sizeThatFits(CGSize) const {
    TextLayout layout(editing_.text.length() ? editing_.text : NSAttributedString(placeholder_), layoutOptions());
    CGSize s = layout.size();
    double h = std::max(s.height, layout.lineHeight());
    return {std::ceil(s.width) + (borderStyle != UITextBorderStyle::None ? 14 : 0), std::ceil(h) + 4};
}

CGRect UITextField::caretRectInWindow() const {
    CGRect r = textRectForBounds(bounds());
    TextLayout layout(editing_.text, layoutOptions());
    CGRect c = layout.caretRect(editing_.caret());
    CGSize s = layout.size();
    CGRect local(r.minX() - scrollX(layout, r) + c.minX(), r.midY() - s.height / 2 + c.minY(), c.width(), c.height());
    return convertRectToView(local, nullptr);
}

void UITextField::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    UIControl::touchesEnded(touches, event);
    if (!isEnabled()) return;
    CGPoint p = touches.front()->locationInView(this);
    if (!pointInside(p, event)) return;
    if (!isFirstResponder() && !becomeFirstResponder()) return;
    // A tap places the caret.
    CGRect r = textRectForBounds(bounds());
    TextLayout layout(editing_.text, layoutOptions());
    if (!editing_.hasMarked())
        setSelectedRange({layout.indexAtPoint({p.x - r.minX() + scrollX(layout, r), layout.size().height / 2}), 0});
}

// ---- UITextView

UITextView::UITextView() : font_(UIFont::systemFontOfSize(12)) {
    setBackgroundColor(UIColor::whiteColor());
    editing_.typingAttributes = {{NSFontAttributeName, font_}, {NSForegroundColorAttributeName, textColor_}};
}

UITextView::UITextView(const CGRect& frame) : UITextView() { UIView::setFrame(frame); }

void UITextView::setText(const std::string& text) {
    editing_.setPlain(text);
    updateContentSize();
    setNeedsDisplay();
}

void UITextView::setAttributedText(const NSAttributedString& text) {
    editing_.text = text;
    editing_.selection = {text.length(), 0};
    editing_.unmark();
    updateContentSize();
    setNeedsDisplay();
}

void UITextView::setFont(std::shared_ptr<UIFont> f) {
    font_ = f ? std::move(f) : UIFont::systemFontOfSize(12);
    editing_.setAttribute(NSFontAttributeName, font_);
    updateContentSize();
    setNeedsDisplay();
}

void UITextView::setTextColor(const UIColor& c) {
    textColor_ = c;
    editing_.setAttribute(NSForegroundColorAttributeName, c);
    setNeedsDisplay();
}

double UITextView::textWidth() const {
    return std::max(0.0, bounds().width() - textContainerInset.left - textContainerInset.right - 2 * lineFragmentPadding);
}

TextLayout::Options UITextView::layoutOptions(double width) const {
    TextLayout::Options o;
    o.font = font_;
    o.color = textColor_;
    o.alignment = textAlignment;
    o.width = width;
    return o;
}

double UITextView::usedTextHeight() const {
    TextLayout layout(editing_.text, layoutOptions(textWidth()));
    double h = layout.size().height;
    return editing_.text.length() ? h : layout.lineHeight();
}

void UITextView::updateContentSize() {
    setContentSize({bounds().width(), usedTextHeight() + textContainerInset.top + textContainerInset.bottom});
}

CGRect UITextView::caretRectForPosition(size_t index) const {
    TextLayout layout(editing_.text, layoutOptions(textWidth()));
    CGRect c = layout.caretRect(index);
    if (editing_.text.length() == 0) c.size.height = layout.lineHeight();
    return c.offsetBy(textContainerInset.left + lineFragmentPadding, textContainerInset.top);
}

void UITextView::scrollRangeToVisible(NSRange range) {
    CGRect c = caretRectForPosition(range.end());
    scrollRectToVisible(c.insetBy(0, -2), false);
}

bool UITextView::becomeFirstResponder() {
    if (isFirstResponder()) return true;
    if (!canBecomeFirstResponder() || !window()) return false;
    if (auto d = textDelegate(); d && !d->textViewShouldBeginEditing(*this)) return false;
    return UIScrollView::becomeFirstResponder();
}

bool UITextView::resignFirstResponder() {
    if (!isFirstResponder()) return true;
    if (auto d = textDelegate(); d && !d->textViewShouldEndEditing(*this)) return false;
    return UIScrollView::resignFirstResponder();
}

void UITextView::firstResponderStatusChanged(bool isFirst) {
    auto self = sharedView();
    if (isFirst) {
        CaretBlink::start(self);
        if (auto d = textDelegate()) d->textViewDidBeginEditing(*this);
        post(UITextViewTextDidBeginEditingNotification, this);
    } else {
        editing_.unmark();
        CaretBlink::stop(*this);
        if (auto d = textDelegate()) d->textViewDidEndEditing(*this);
        post(UITextViewTextDidEndEditingNotification, this);
    }
    setNeedsDisplay();
}

bool UITextView::change(NSRange range, const std::u16string& s) {
    if (auto d = textDelegate(); d && !d->textView_shouldChangeTextInRange_replacementText(*this, range, strings::fromUTF16(s)))
        return false;
    editing_.replace(range, s);
    return true;
}

void UITextView::changed() {
    auto self = sharedView();
    CaretBlink::restart();
    updateContentSize();
    setNeedsDisplay();
    if (auto d = textDelegate()) d->textViewDidChange(*this);
    post(UITextViewTextDidChangeNotification, this);
}

void UITextView::insertText(const std::string& text) {
    if (change(editing_.replacementRange(), strings::toUTF16(text))) changed();
}

void UITextView::deleteBackward() {
    if (editing_.deleteInMarked()) return changed();
    NSRange r = editing_.deletionRange();
    if (r.length > 0 && change(r, u"")) changed();
}

void UITextView::setMarkedText(const std::string& text, NSRange sel) {
    editing_.setMarked(strings::toUTF16(text), sel);
    changed();
}

void UITextView::unmarkText() {
    // Committing composed text is an edit the delegate may refuse.
    auto m = editing_.takeMarked();
    if (!m) return;
    change(m->first, m->second);
    changed();
}

void UITextView::setSelectedRange(NSRange range) {
    if (isFirstResponder()) CaretBlink::restart();
    editing_.selection = range;
    editing_.clampSelection();
    setNeedsDisplay();
    if (auto d = textDelegate()) d->textViewDidChangeSelection(*this);
}

void UITextView::moveCaret(UITextMove move, bool extend) {
    auto& e = editing_;
    size_t caret = e.caretAfter(move, extend);
    if (move == UITextMove::Up || move == UITextMove::Down) {
        TextLayout layout(e.text, layoutOptions(textWidth()));
        CGRect c = layout.caretRect(caret);
        double y = move == UITextMove::Up ? c.minY() - 1 : c.maxY() + 1;
        caret = y < 0 ? 0 : layout.indexAtPoint({c.minX(), y});
    }
    e.moveCaretTo(caret, extend);
    CaretBlink::restart();
    setNeedsDisplay();
    if (auto d = textDelegate()) d->textViewDidChangeSelection(*this);
    scrollRangeToVisible({e.caret(), 0});
}

CGRect UITextView::caretRectInWindow() const {
    return convertRectToView(caretRectForPosition(editing_.caret()), nullptr);
}

void UITextView::layoutSubviews() { updateContentSize(); }

void UITextView::drawRect(CGContext& ctx, const CGRect&) {
    TextLayout layout(editing_.text, layoutOptions(textWidth()));
    CGPoint origin{textContainerInset.left + lineFragmentPadding, textContainerInset.top};
    layout.draw(ctx, origin);
    if (editing_.text.length() == 0 && isFirstResponder()) {
        if (!CaretBlink::visible()) return;
        ctx.setFillColor(tintColor());
        ctx.fillRect(CGRect(origin.x, origin.y, 2, layout.lineHeight()));
        return;
    }
    drawEditing(ctx, layout, origin, editing_, isFirstResponder(), tintColor());
}

CGSize UITextView::sizeThatFits(CGSize size) const {
    double w = size.width > 0 ? size.width : bounds().width();
    double tw = std::max(0.0, w - textContainerInset.left - textContainerInset.right - 2 * lineFragmentPadding);
    TextLayout layout(editing_.text, layoutOptions(tw));
    double h = editing_.text.length() ? layout.size().height : layout.lineHeight();
    return {w, std::ceil(h + textContainerInset.top + textContainerInset.bottom)};
}

void UITextView::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    CGPoint p = touches.front()->locationInView(this);
    if (!editable_) return;
    if (!isFirstResponder() && !becomeFirstResponder()) return;
    if (editing_.hasMarked()) return;
    TextLayout layout(editing_.text, layoutOptions(textWidth()));
    setSelectedRange({layout.indexAtPoint({p.x - textContainerInset.left - lineFragmentPadding, p.y - textContainerInset.top}), 0});
}
