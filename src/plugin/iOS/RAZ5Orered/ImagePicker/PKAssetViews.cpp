#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAssetViews.h"

#include <cmath>

#include "platform/foundation/Strings.h"

void PKVideoIconView::drawRect(CGContext& ctx, const CGRect&) {
    CGRect b = bounds();
    ctx.setFillColor(iconColor);
    CGPath triangle;
    triangle.moveTo({b.maxX(), b.minY()});
    triangle.lineTo({b.maxX(), b.maxY()});
    triangle.lineTo({b.maxX() - b.midY(), b.midY()});
    triangle.closeSubpath();
    ctx.fillPath(triangle);
    ctx.fillPath(CGPath::roundedRect(CGRect(b.minX(), b.minY(), b.width() - b.midY() - 1, b.height()), 2));
}

PKVideoIndicatorView::PKVideoIndicatorView(const CGRect& frame) : UIView(frame) {
    gradient_ = CAGradientLayer::layer();
    gradient_->setColors({UIColor::clearColor(), UIColor::blackColor()});
    gradient_->setFrame(bounds());
    layer()->insertSublayer(gradient_, 0);
}

void PKVideoIndicatorView::layoutSubviews() { gradient_->setFrame(bounds()); }

std::string PKVideoIndicatorView::durationText(double seconds) {
    // Whole seconds first, so that 59.5 s reads "01:00" rather than "00:60".
    long total = long(std::ceil(std::max(0.0, seconds)));
    return strings::format("%02ld:%02ld", total / 60, total % 60);
}

PKCheckmarkView::PKCheckmarkView(const CGRect& frame) : UIView(frame) {
    setBackgroundColor(UIColor::clearColor());
    setOpaque(false);
    layer()->setShadowColor(UIColor::grayColor());
    layer()->setShadowOffset(CGSize(0, 0));
    layer()->setShadowOpacity(0.6);
    layer()->setShadowRadius(2.0);
    // The shadow follows the round mark, not the view's square.
    layer()->setShadowPath(CGPath(UIBezierPath::bezierPathWithOvalInRect(bounds()).path));
}

void PKCheckmarkView::drawRect(CGContext& ctx, const CGRect&) {
    CGRect b = bounds();
    double w = b.width(), h = b.height();
    ctx.setFillColor(borderColor);
    ctx.fillEllipseInRect(b);
    ctx.setFillColor(bodyColor);
    ctx.fillEllipseInRect(b.insetBy(borderWidth, borderWidth));
    CGPath check;
    check.moveTo({w / 4, h / 2});
    check.lineTo({w * 5 / 12, h * 2 / 3});
    check.lineTo({w * 3 / 4, h / 3});
    ctx.setStrokeColor(checkmarkColor);
    ctx.setLineWidth(checkmarkLineWidth);
    ctx.strokePath(check);
}

void PKAssetCell::setSelected(bool selected) {
    UICollectionViewCell::setSelected(selected);
    if (overlayView) overlayView->setHidden(!(selected && showsOverlayViewWhenSelected));
}
