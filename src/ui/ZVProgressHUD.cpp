#include "ui/ZVProgressHUD.h"

#include <cmath>

#include "platform/graphics/CGPath.h"

namespace {
constexpr double kBoxSide = 90;
constexpr double kFade = 0.2;
}  // namespace

ZVProgressHUD::ZVProgressHUD() {
    setBackgroundColor(UIColor::clearColor());
    setOpaque(false);
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    setAccessibilityIdentifier("progress_hud");
    label_ = std::make_shared<UILabel>();
    label_->setFont(UIFont::systemFontOfSize(13));
    label_->setTextColor(UIColor::whiteColor());
    label_->setTextAlignment(NSTextAlignment::Center);
    label_->setNumberOfLines(2);
    label_->setHidden(true);
}

std::shared_ptr<ZVProgressHUD> ZVProgressHUD::showHUDAddedTo(const std::shared_ptr<UIView>& view, bool animated) {
    if (!view) return nullptr;
    auto hud = std::make_shared<ZVProgressHUD>();
    hud->addSubview(hud->label_);
    hud->setFrame(view->bounds());
    view->addSubview(hud);
    if (animated) {
        hud->setAlpha(0);
        UIView::animateWithDuration(kFade, [hud] { hud->setAlpha(1); });
    }
    return hud;
}

std::shared_ptr<ZVProgressHUD> ZVProgressHUD::HUDForView(const std::shared_ptr<UIView>& view) {
    if (!view) return nullptr;
    auto& subs = view->subviews();
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        auto hud = std::dynamic_pointer_cast<ZVProgressHUD>(*it);
        if (hud && !hud->hiding_) return hud;
    }
    return nullptr;
}

bool ZVProgressHUD::hideHUDForView(const std::shared_ptr<UIView>& view, bool animated) {
    auto hud = HUDForView(view);
    if (!hud) return false;
    hud->hideAnimated(animated);
    return true;
}

void ZVProgressHUD::hideAnimated(bool animated) {
    if (hiding_) return;
    hiding_ = true;
    if (!animated) {
        removeFromSuperview();
        return;
    }
    auto self = std::static_pointer_cast<ZVProgressHUD>(sharedView());
    UIView::animateWithDuration(kFade, [self] { self->setAlpha(0); }, [self](bool) { self->removeFromSuperview(); });
}

void ZVProgressHUD::setText(const std::string& text) {
    label_->setText(text);
    label_->setHidden(text.empty());
    setNeedsLayout();
    setNeedsDisplay();
}

const std::string& ZVProgressHUD::text() const { return label_->text(); }

CGRect ZVProgressHUD::boxRect() const {
    double w = kBoxSide, h = kBoxSide;
    if (!label_->text().empty()) {
        CGSize s = label_->sizeThatFits({bounds().width() - 80, 40});
        w = std::max(w, std::min(bounds().width() - 40, s.width + 24));
        h += 10;
    }
    return CGRect((bounds().width() - w) / 2, (bounds().height() - h) / 2, w, h);
}

void ZVProgressHUD::layoutSubviews() {
    CGRect box = boxRect();
    label_->setFrame(CGRect(box.minX() + 8, box.minY() + 62, box.width() - 16, 30));
}

void ZVProgressHUD::drawRect(CGContext& ctx, const CGRect&) {
    CGRect box = boxRect();
    ctx.setFillColor(UIColor::colorWithWhite(0, 0.75));
    ctx.fillPath(CGPath::roundedRect(box, 8));
    // Twelve spokes, fading round the circle.
    CGPoint c{box.midX(), box.minY() + 36};
    ctx.setLineWidth(3);
    ctx.setLineCap(CGLineCap::Round);
    for (int i = 0; i < 12; ++i) {
        double a = i * M_PI / 6;
        CGPath spoke;
        spoke.moveTo({c.x + 8 * std::cos(a), c.y + 8 * std::sin(a)});
        spoke.lineTo({c.x + 16 * std::cos(a), c.y + 16 * std::sin(a)});
        ctx.setStrokeColor(UIColor::colorWithWhite(1, 0.25 + 0.75 * i / 11.0));
        ctx.strokePath(spoke);
    }
}
