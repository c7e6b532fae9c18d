#include "platform/ui/CALayer.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "platform/ui/DisplayLoop.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/ViewRenderer.h"
#include "platform/ui/UIView.h"

namespace {
// Layers whose fade may still run, for the GTK host's question. Guarded:
// a layer may be released off the main thread.
std::mutex gFadingLock;
std::set<const CALayer*>& fadingLayers() {
    static auto* layers = new std::set<const CALayer*>();
    return *layers;
}
}  // namespace

CALayer::~CALayer() {
    std::lock_guard lock(gFadingLock);
    fadingLayers().erase(this);
}

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

// ---- Animations

namespace {


// A cubic Bézier timing curve through (0,0), (x1,y1), (x2,y2), (1,1): y at x = t.
double bezierAt(double t, double x1, double y1, double x2, double y2) {
    auto curve = [](double u, double a, double b) { return 3 * a * u * (1 - u) * (1 - u) + 3 * b * u * u * (1 - u) + u * u * u; };
    double lo = 0, hi = 1, u = t;
    for (int i = 0; i < 40; ++i) {  // x grows with u: bisect for x(u) = t
        u = (lo + hi) / 2;
        (curve(u, x1, x2) < t ? lo : hi) = u;
    }
    return curve(u, y1, y2);
}

}  // namespace

double CAAnimation::timingAt(double t) const {
    t = std::clamp(t, 0.0, 1.0);
    if (timingFunction == kCAMediaTimingFunctionEaseIn) return bezierAt(t, 0.42, 0, 1, 1);
    if (timingFunction == kCAMediaTimingFunctionEaseOut) return bezierAt(t, 0, 0, 0.58, 1);
    if (timingFunction == kCAMediaTimingFunctionEaseInEaseOut) return bezierAt(t, 0.42, 0, 0.58, 1);
    return t;
}

void CALayer::addAnimation(const CAAnimation& a, const std::string& key) {
    Running r{a, Clock::current().now(), nullptr};
    if (a.type == kCATransitionFade && a.duration > 0) {
        r.from = snapshot();
        std::lock_guard lock(gFadingLock);
        fadingLayers().insert(this);
    }
    animations_[key] = std::move(r);
    changed();
}

void CALayer::removeAnimationForKey(const std::string& key) {
    if (animations_.erase(key)) changed();
}

void CALayer::removeAllAnimations() {
    if (animations_.empty()) return;
    animations_.clear();
    changed();
}

bool CALayer::hasEnded(const Running& r) const {
    return std::chrono::duration<double>(Clock::current().now() - r.begin).count() >= r.animation.duration;
}

std::vector<std::string> CALayer::animationKeys() const {
    std::vector<std::string> out;
    for (auto& [k, r] : animations_)
        if (!hasEnded(r)) out.push_back(k);
    return out;
}

std::optional<CAAnimation> CALayer::animationForKey(const std::string& key) const {
    auto it = animations_.find(key);
    if (it == animations_.end() || hasEnded(it->second)) return std::nullopt;
    return it->second.animation;
}

std::optional<CALayer::FadeState> CALayer::runningFade() const {
    // The latest fade that still runs draws.
    const Running* latest = nullptr;
    for (auto& [k, r] : animations_)
        if (r.from && !hasEnded(r) && (!latest || r.begin >= latest->begin)) latest = &r;
    if (!latest) return std::nullopt;
    double t = std::chrono::duration<double>(Clock::current().now() - latest->begin).count() / latest->animation.duration;
    return FadeState{latest->from, latest->animation.timingAt(t)};
}

bool CALayer::anyFadeRunning() {
    std::lock_guard lock(gFadingLock);
    auto& layers = fadingLayers();
    for (auto it = layers.begin(); it != layers.end();) {
        if ((*it)->runningFade()) return true;
        it = layers.erase(it);
    }
    return false;
}

std::shared_ptr<CGImage> CALayer::snapshot() const {
    CGRect b = bounds();
    if (b.isEmpty()) return nullptr;
    auto ctx = CGContext::bitmap(b.size, false, UIScreen::mainScreen().scale());
    if (!ctx) return nullptr;
    ViewRenderer(*ctx).renderAtBounds(*const_cast<CALayer*>(this));
    return ctx->makeImage();
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
