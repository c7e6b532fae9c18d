#include "platform/ui/UISmallControls.h"

#include <cmath>

#include "platform/ui/UIEvent.h"

// ---- UISwitch

UISwitch::UISwitch() {
    setOpaque(false);
    UIView::setFrame(CGRect(0, 0, 51, 31));
}

UISwitch::UISwitch(const CGRect& frame) : UISwitch() {
    // The platform keeps a switch at its own size wherever it is put.
    UIView::setFrame(CGRect(frame.origin, {51, 31}));
}

void UISwitch::setOn(bool on, bool) {
    on_ = on;
    setNeedsDisplay();
}

void UISwitch::drawRect(CGContext& ctx, const CGRect&) {
    CGRect b = bounds();
    ctx.setFillColor(on_ ? onTintColor.value_or(UIColor::fromRGB(0x4CD964)) : UIColor::colorWithWhite(0.9));
    ctx.fillPath(CGPath::roundedRect(b, b.height() / 2));
    double d = b.height() - 4;
    CGRect thumb(on_ ? b.maxX() - d - 2 : b.minX() + 2, b.minY() + 2, d, d);
    ctx.setFillColor(thumbTintColor.value_or(UIColor::whiteColor()));
    ctx.fillEllipseInRect(thumb);
}

void UISwitch::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    bool inside = isEnabled() && pointInside(touches.front()->locationInView(this), event);
    if (inside) {
        setOn(!on_, true);
        sendActionsForControlEvents(UIControlEventValueChanged);
    }
    UIControl::touchesEnded(touches, event);
}

void UISwitch::performPrimaryAction() {
    // As a tap inside: the switch turns, then the tap's own event.
    setOn(!on_, true);
    sendActionsForControlEvents(UIControlEventValueChanged);
    UIControl::performPrimaryAction();
}

// ---- UIPageControl

namespace {
constexpr double kDot = 7, kDotSpacing = 9;
}

UIPageControl::UIPageControl() { setOpaque(false); }
UIPageControl::UIPageControl(const CGRect& frame) : UIPageControl() { UIView::setFrame(frame); }

void UIPageControl::setNumberOfPages(long n) {
    pages_ = std::max(0L, n);
    current_ = std::clamp(current_, 0L, std::max(0L, pages_ - 1));
    setNeedsDisplay();
}

void UIPageControl::setCurrentPage(long p) {
    current_ = std::clamp(p, 0L, std::max(0L, pages_ - 1));
    setNeedsDisplay();
}

CGSize UIPageControl::sizeForNumberOfPages(long n) const {
    return {n > 0 ? n * kDot + (n - 1) * kDotSpacing : 0, 37};
}

void UIPageControl::drawRect(CGContext& ctx, const CGRect&) {
    if (pages_ == 0 || (hidesForSinglePage && pages_ == 1)) return;
    CGRect b = bounds();
    double w = sizeForNumberOfPages(pages_).width;
    double x = b.midX() - w / 2;
    for (long i = 0; i < pages_; ++i) {
        ctx.setFillColor(i == current_ ? currentPageIndicatorTintColor.value_or(UIColor::whiteColor())
                                       : pageIndicatorTintColor.value_or(UIColor::colorWithWhite(1, 0.3)));
        ctx.fillEllipseInRect(CGRect(x + i * (kDot + kDotSpacing), b.midY() - kDot / 2, kDot, kDot));
    }
}

void UIPageControl::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    UIControl::touchesEnded(touches, event);
    if (!isEnabled() || pages_ < 2) return;
    CGPoint p = touches.front()->locationInView(this);
    double w = sizeForNumberOfPages(pages_).width;
    double cx = bounds().midX() - w / 2 + current_ * (kDot + kDotSpacing) + kDot / 2;
    long next = p.x < cx ? current_ - 1 : current_ + 1;
    if (next < 0 || next >= pages_) return;
    setCurrentPage(next);
    sendActionsForControlEvents(UIControlEventValueChanged);
}

// ---- UIActivityIndicatorView

UIActivityIndicatorView::UIActivityIndicatorView(UIActivityIndicatorViewStyle style) : style_(style) {
    setOpaque(false);
    setUserInteractionEnabled(false);
    CGSize s = sizeThatFits({});
    UIView::setFrame(CGRect(CGPointZero, s));
    UIView::setHidden(true);
}

CGSize UIActivityIndicatorView::sizeThatFits(CGSize) const {
    return style_ == UIActivityIndicatorViewStyle::WhiteLarge ? CGSize{37, 37} : CGSize{20, 20};
}

void UIActivityIndicatorView::startAnimating() {
    if (animating_) return;
    animating_ = true;
    start_ = Clock::current().now();
    setHidden(false);
    setNeedsDisplay();
}

void UIActivityIndicatorView::stopAnimating() {
    animating_ = false;
    if (hidesWhenStopped) setHidden(true);
    setNeedsDisplay();
}

void UIActivityIndicatorView::drawRect(CGContext& ctx, const CGRect&) {
    CGRect b = bounds();
    UIColor c = color.value_or(style_ == UIActivityIndicatorViewStyle::Gray ? UIColor::grayColor() : UIColor::whiteColor());
    double t = animating_ ? std::chrono::duration<double>(Clock::current().now() - start_).count() : 0;
    int lead = int(t * 12) % 12;  // one turn a second
    double r = std::min(b.width(), b.height()) / 2;
    ctx.setLineWidth(r * 0.18);
    ctx.setLineCap(CGLineCap::Round);
    for (int i = 0; i < 12; ++i) {
        double a = i * M_PI / 6 - M_PI / 2;
        int age = (lead - i + 12) % 12;
        ctx.setStrokeColor(c.colorWithAlphaComponent(c.alpha * (1 - age / 14.0)));
        CGPath p;
        p.moveTo({b.midX() + std::cos(a) * r * 0.5, b.midY() + std::sin(a) * r * 0.5});
        p.lineTo({b.midX() + std::cos(a) * r * 0.92, b.midY() + std::sin(a) * r * 0.92});
        ctx.strokePath(p);
    }
}
