#include "platform/ui/CALayer.h"

#include <algorithm>

#include "platform/ui/DisplayLoop.h"
#include "platform/ui/UIView.h"

CALayer::~CALayer() = default;

CGRect CALayer::frame() const {
    if (view_) return view_->frame();
    CGRect local(-bounds_.size.width / 2, -bounds_.size.height / 2, bounds_.size.width, bounds_.size.height);
    if (!transform_.isIdentity()) local = transform_.apply(local);
    return local.offsetBy(position_.x, position_.y);
}

void CALayer::setFrame(const CGRect& f) {
    if (view_) return view_->setFrame(f);
    position_ = {f.midX(), f.midY()};
    bounds_.size = f.size;
    changed();
}

CGRect CALayer::bounds() const { return view_ ? view_->bounds() : bounds_; }

void CALayer::setBounds(const CGRect& b) {
    if (view_) return view_->setBounds(b);
    bounds_ = b;
    changed();
}

CGPoint CALayer::position() const { return view_ ? view_->center() : position_; }

void CALayer::setPosition(CGPoint p) {
    if (view_) return view_->setCenter(p);
    position_ = p;
    changed();
}

void CALayer::setMask(std::shared_ptr<CALayer> m) {
    mask_ = std::move(m);
    changed();
}

void CALayer::addSublayer(const std::shared_ptr<CALayer>& layer) { insertSublayer(layer, sublayers_.size()); }

void CALayer::insertSublayer(const std::shared_ptr<CALayer>& layer, size_t index) {
    if (!layer || layer.get() == this) return;
    auto keep = layer;
    layer->removeFromSuperlayer();
    sublayers_.insert(sublayers_.begin() + std::min(index, sublayers_.size()), layer);
    layer->superlayer_ = shared_from_this();
    changed();
}

void CALayer::removeFromSuperlayer() {
    auto parent = superlayer_.lock();
    if (!parent) return;
    auto self = shared_from_this();
    std::erase(parent->sublayers_, self);
    superlayer_.reset();
    parent->changed();
}

std::vector<std::string> CALayer::animationKeys() const {
    std::vector<std::string> out;
    for (auto& [k, v] : animations_) out.push_back(k);
    return out;
}

void CALayer::changed() {
    for (const CALayer* l = this; l; l = l->superlayer_.lock().get())
        if (l->view_) {
            if (l->view_->window()) DisplayLoop::setNeedsUpdate();
            return;
        }
}

void CALayer::setNeedsDisplay() {
    needsDisplay_ = true;
    changed();
}

void CALayer::displayIfNeeded() {
    if (!needsDisplay_) return;
    // Cleared first: the hook may set contents, which must not ask again.
    needsDisplay_ = false;
    if (view_) view_->displayLayer(*this);
}

void CAShapeLayer::drawInContext(CGContext& ctx) {
    if (path_.isEmpty()) return;
    if (fillColor_ && fillColor_->alpha > 0) {
        ctx.setFillColor(*fillColor_);
        ctx.fillPath(path_, fillRule_ == CAFillRule::EvenOdd);
    }
    if (strokeColor_ && strokeColor_->alpha > 0 && lineWidth_ > 0) {
        ctx.setStrokeColor(*strokeColor_);
        ctx.setLineWidth(lineWidth_);
        ctx.setLineCap(lineCap_);
        ctx.setLineJoin(lineJoin_);
        ctx.strokePath(path_);
    }
}

void CAGradientLayer::drawInContext(CGContext& ctx) {
    CGRect b = bounds();
    ctx.saveGState();
    ctx.clipToRect(b);
    ctx.drawLinearGradient(colors_, locations_, {b.minX() + start_.x * b.width(), b.minY() + start_.y * b.height()},
                           {b.minX() + end_.x * b.width(), b.minY() + end_.y * b.height()});
    ctx.restoreGState();
}
