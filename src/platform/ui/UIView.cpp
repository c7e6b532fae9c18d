#include "platform/ui/UIView.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/DisplayLoop.h"
#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

// ---- UIResponder

void UIResponder::touchesBegan(const UITouchSet& t, UIEvent* e) {
    if (auto n = nextResponder()) n->touchesBegan(t, e);
}
void UIResponder::touchesMoved(const UITouchSet& t, UIEvent* e) {
    if (auto n = nextResponder()) n->touchesMoved(t, e);
}
void UIResponder::touchesEnded(const UITouchSet& t, UIEvent* e) {
    if (auto n = nextResponder()) n->touchesEnded(t, e);
}
void UIResponder::touchesCancelled(const UITouchSet& t, UIEvent* e) {
    if (auto n = nextResponder()) n->touchesCancelled(t, e);
}

bool UIResponder::becomeFirstResponder() {
    if (!canBecomeFirstResponder()) return false;
    auto w = responderWindow();
    if (!w) return false;
    return w->makeFirstResponder(shared_from_this());
}

bool UIResponder::resignFirstResponder() {
    auto w = responderWindow();
    if (w && w->firstResponder().get() == this) return w->makeFirstResponder(nullptr);
    return true;
}

bool UIResponder::isFirstResponder() const {
    auto w = responderWindow();
    return w && w->firstResponder().get() == this;
}

void UIResponder::reloadInputViews() {
    if (auto w = responderWindow(); w && w->firstResponder().get() == this) w->firstResponderInputViewsChanged();
}

// ---- Animation context

namespace {
struct AnimationContext {
    double duration, delay;
    unsigned options;
    Clock::Monotonic start;
};
thread_local std::vector<AnimationContext> gAnimationStack;
thread_local int gAnimationsDisabled = 0;
// Views with running animations, for the host's redraw ticks.
std::set<const UIView*>& animatingViews() {
    static auto* s = new std::set<const UIView*>();
    return *s;
}

double curveValue(unsigned curve, double t) {
    switch (curve) {
        case UIViewAnimationOptionCurveLinear: return t;
        case UIViewAnimationOptionCurveEaseIn: return t * t;
        case UIViewAnimationOptionCurveEaseOut: return 1 - (1 - t) * (1 - t);
        default: return t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t);
    }
}

std::vector<double> vec(CGPoint p) { return {p.x, p.y}; }
std::vector<double> vec(const CGRect& r) { return {r.origin.x, r.origin.y, r.size.width, r.size.height}; }
std::vector<double> vec(const UIColor& c) { return {c.red, c.green, c.blue, c.alpha}; }
std::vector<double> vec(const CGAffineTransform& t) { return {t.a, t.b, t.c, t.d, t.tx, t.ty}; }
}  // namespace

void UIView::animateWithDuration(double duration, const std::function<void()>& animations,
                                 std::function<void(bool)> completion) {
    animateWithDuration(duration, 0, 0, animations, std::move(completion));
}

void UIView::animateWithDuration(double duration, double delay, unsigned options,
                                 const std::function<void()>& animations, std::function<void(bool)> completion) {
    bool animate = duration > 0 && gAnimationsDisabled == 0;
    if (animate) gAnimationStack.push_back({duration, std::max(0.0, delay), options, Clock::current().now()});
    if (animations) animations();
    if (animate) gAnimationStack.pop_back();
    if (!completion) return;
    double total = animate ? duration + std::max(0.0, delay) : 0;
    DispatchQueue::main()->asyncAfter(std::chrono::nanoseconds(int64_t(total * 1e9)),
                                      [completion = std::move(completion)] { completion(true); });
}

void UIView::performWithoutAnimation(const std::function<void()>& actions) {
    ++gAnimationsDisabled;
    auto saved = std::move(gAnimationStack);
    gAnimationStack.clear();
    if (actions) actions();
    gAnimationStack = std::move(saved);
    --gAnimationsDisabled;
}

bool UIView::areAnimationsEnabled() { return gAnimationsDisabled == 0; }

void UIView::recordChange(Prop prop, std::vector<double> from, std::vector<double> to) {
    if (gAnimationStack.empty()) {
        // A plain change ends a running animation of that property.
        std::erase_if(animations_, [&](const Animation& a) { return a.prop == prop; });
        if (animations_.empty()) animatingViews().erase(this);
        setNeedsDisplay();
        return;
    }
    if (from == to) return;
    const auto& ctx = gAnimationStack.back();
    // From what is on screen now when the property is already moving.
    from = presentValue(prop, from);
    std::erase_if(animations_, [&](const Animation& a) { return a.prop == prop; });
    animations_.push_back({prop, std::move(from), std::move(to),
                           ctx.start + std::chrono::nanoseconds(int64_t(ctx.delay * 1e9)), ctx.duration,
                           ctx.options & (3u << 16)});
    animatingViews().insert(this);
    setNeedsDisplay();
}

std::vector<double> UIView::presentValue(Prop prop, const std::vector<double>& model) const {
    for (auto& a : animations_) {
        if (a.prop != prop) continue;
        double elapsed = std::chrono::duration<double>(Clock::current().now() - a.start).count();
        if (elapsed >= a.duration) return model;
        double t = elapsed <= 0 ? 0 : curveValue(a.curve, elapsed / a.duration);
        std::vector<double> out(a.to.size());
        for (size_t i = 0; i < out.size(); ++i) out[i] = a.from[i] + (a.to[i] - a.from[i]) * t;
        return out;
    }
    return model;
}

UIView::Presentation UIView::presentation() const {
    Presentation p{center_, bounds_, alpha_, backgroundColor_, transform_};
    if (animations_.empty()) return p;
    auto c = presentValue(Prop::Center, vec(center_));
    p.center = {c[0], c[1]};
    auto b = presentValue(Prop::Bounds, vec(bounds_));
    p.bounds = CGRect(b[0], b[1], b[2], b[3]);
    p.alpha = presentValue(Prop::Alpha, {alpha_})[0];
    auto bg = presentValue(Prop::Background, vec(backgroundColor_));
    p.backgroundColor = {bg[0], bg[1], bg[2], bg[3]};
    auto t = presentValue(Prop::Transform, vec(transform_));
    p.transform = {t[0], t[1], t[2], t[3], t[4], t[5]};
    return p;
}

bool UIView::hasRunningAnimations() const {
    auto now = Clock::current().now();
    for (auto& a : animations_)
        if (std::chrono::duration<double>(now - a.start).count() < a.duration) return true;
    return false;
}

bool UIView::anyAnimationRunning() {
    if (CALayer::anyFadeRunning()) return true;
    auto& views = animatingViews();
    for (auto it = views.begin(); it != views.end();) {
        if ((*it)->hasRunningAnimations()) return true;
        it = views.erase(it);
    }
    return false;
}

// ---- UIView

UIView::UIView() : layer_(std::make_shared<CALayer>()) { layer_->attachToView(this); }

UIView::UIView(const CGRect& frame) : UIView() { UIView::setFrame(frame); }

UIView::~UIView() {
    animatingViews().erase(this);
    layer_->attachToView(nullptr);
}

CGRect UIView::frame() const {
    CGRect local(-bounds_.size.width / 2, -bounds_.size.height / 2, bounds_.size.width, bounds_.size.height);
    if (!transform_.isIdentity()) local = transform_.apply(local);
    return local.offsetBy(center_.x, center_.y);
}

void UIView::setFrame(const CGRect& f) {
    // With a transform the frame is undefined on the platform; like it, only
    // the center follows then.
    CGSize old = bounds_.size;
    CGPoint oldCenter = center_;
    CGRect oldBounds = bounds_;
    center_ = CGPoint{f.origin.x + f.size.width / 2, f.origin.y + f.size.height / 2};
    if (transform_.isIdentity()) bounds_.size = f.size;
    recordChange(Prop::Center, vec(oldCenter), vec(center_));
    recordChange(Prop::Bounds, vec(oldBounds), vec(bounds_));
    if (!(old == bounds_.size)) {
        autoresizeSubviews(old);
        setNeedsLayout();
    }
    geometryDidChange();
}

void UIView::setBounds(const CGRect& b) {
    CGSize old = bounds_.size;
    CGRect oldBounds = bounds_;
    bounds_ = b;
    recordChange(Prop::Bounds, vec(oldBounds), vec(bounds_));
    if (!(old == b.size)) {
        autoresizeSubviews(old);
        setNeedsLayout();
    }
    geometryDidChange();
}

void UIView::setCenter(CGPoint c) {
    CGPoint old = center_;
    center_ = c;
    recordChange(Prop::Center, vec(old), vec(c));
    geometryDidChange();
}

void UIView::setTransform(const CGAffineTransform& t) {
    CGAffineTransform old = transform_;
    transform_ = t;
    recordChange(Prop::Transform, vec(old), vec(t));
    geometryDidChange();
}

void UIView::addGeometryObserver(GeometryObserver observer, bool reportNow) {
    geometryObservers_.push_back(observer);
    if (reportNow) observer(*this);
}

void UIView::geometryDidChange() {
    for (auto& o : geometryObservers_) o(*this);
    // Native widgets below this view move with it.
    for (auto& s : subviews_) s->geometryDidChange();
}

UIEdgeInsets UIView::safeAreaInsets() const {
    auto w = window();
    if (!w) return {};
    UIEdgeInsets screen = UIScreen::mainScreen().safeAreaInsets();
    // Measured on the screen: a window away from its origin (the keyboard's) is
    // inset only where it reaches the screen's edges.
    CGRect inWindow = convertRectToView(bounds_, nullptr);
    CGRect wb = UIScreen::mainScreen().bounds();
    UIEdgeInsets out;
    out.top = std::max(0.0, screen.top - inWindow.minY());
    out.left = std::max(0.0, screen.left - inWindow.minX());
    out.bottom = std::max(0.0, inWindow.maxY() - (wb.height() - screen.bottom));
    out.right = std::max(0.0, inWindow.maxX() - (wb.width() - screen.right));
    out.top = std::min(out.top, bounds_.size.height);
    out.bottom = std::min(out.bottom, bounds_.size.height);
    return out;
}

void UIView::setBackgroundColor(const UIColor& c) {
    UIColor old = backgroundColor_;
    backgroundColor_ = c;
    recordChange(Prop::Background, vec(old), vec(c));
}

void UIView::setAlpha(double a) {
    double old = alpha_;
    alpha_ = std::clamp(a, 0.0, 1.0);
    recordChange(Prop::Alpha, {old}, {alpha_});
}

void UIView::setHidden(bool h) {
    if (hidden_ == h) return;
    hidden_ = h;
    setNeedsDisplay();
}

UIColor UIView::tintColor() const {
    for (const UIView* v = this; v; v = v->superview_.lock().get())
        if (v->tintColor_) return *v->tintColor_;
    return UIColor::systemBlueColor();
}

// The platform's autoresizing: the flexible parts of each axis share the
// change of the superview's size in proportion to their current lengths.
void UIView::autoresizeSubviews(CGSize oldSize) {
    if (!autoresizesSubviews_) return;
    CGSize newSize = bounds_.size;
    for (auto& sub : subviews_) {
        unsigned m = sub->autoresizingMask_;
        if (m == UIViewAutoresizingNone) continue;
        CGRect f = sub->frame();
        auto axis = [](double oldTotal, double newTotal, double& pos, double& len, bool flexLead, bool flexLen,
                       bool flexTrail) {
            double delta = newTotal - oldTotal;
            if (delta == 0 || !(flexLead || flexLen || flexTrail)) return;
            double lead = pos, trail = oldTotal - pos - len;
            double flexible = (flexLead ? lead : 0) + (flexLen ? len : 0) + (flexTrail ? trail : 0);
            int parts = int(flexLead) + int(flexLen) + int(flexTrail);
            auto share = [&](bool flex, double part) {
                if (!flex) return 0.0;
                return flexible > 0 ? delta * part / flexible : delta / parts;
            };
            double dLead = share(flexLead, lead), dLen = share(flexLen, len);
            pos += dLead;
            len = std::max(0.0, len + dLen);
        };
        axis(oldSize.width, newSize.width, f.origin.x, f.size.width, m & UIViewAutoresizingFlexibleLeftMargin,
             m & UIViewAutoresizingFlexibleWidth, m & UIViewAutoresizingFlexibleRightMargin);
        axis(oldSize.height, newSize.height, f.origin.y, f.size.height, m & UIViewAutoresizingFlexibleTopMargin,
             m & UIViewAutoresizingFlexibleHeight, m & UIViewAutoresizingFlexibleBottomMargin);
        sub->setFrame(f);
    }
}

void UIView::attach(const std::shared_ptr<UIView>& view, size_t index) {
    if (!view || view.get() == this || isDescendantOfView(view.get())) return;
    auto keep = view;  // removing from the old parent must not free it
    if (view->superview().get() == this) {
        auto it = std::find(subviews_.begin(), subviews_.end(), view);
        size_t old = size_t(it - subviews_.begin());
        subviews_.erase(it);
        if (index > old) --index;
        subviews_.insert(subviews_.begin() + std::min(index, subviews_.size()), view);
        setNeedsDisplay();
        return;
    }
    auto oldWindow = view->window();
    auto newWindow = window();
    view->willMoveToSuperview(this);
    if (oldWindow != newWindow) view->notifyWillMoveToWindow(newWindow.get());
    if (auto old = view->superview()) {
        old->willRemoveSubview(view.get());
        auto& subs = old->subviews_;
        subs.erase(std::remove(subs.begin(), subs.end(), view), subs.end());
        old->setNeedsDisplay();
    }
    view->superview_ = sharedView();
    subviews_.insert(subviews_.begin() + std::min(index, subviews_.size()), view);
    view->didMoveToSuperview();
    didAddSubview(view.get());
    if (oldWindow != newWindow) view->notifyMovedToWindow(oldWindow.get());
    view->geometryDidChange();
    view->setNeedsLayout();
    setNeedsDisplay();
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) { attach(view, subviews_.size()); }
void UIView::insertSubview(const std::shared_ptr<UIView>& view, size_t index) { attach(view, index); }

void UIView::insertSubviewBelow(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling) {
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    attach(view, it == subviews_.end() ? subviews_.size() : size_t(it - subviews_.begin()));
}

void UIView::insertSubviewAbove(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling) {
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    attach(view, it == subviews_.end() ? subviews_.size() : size_t(it - subviews_.begin()) + 1);
}

void UIView::removeFromSuperview() {
    auto parent = superview_.lock();
    if (!parent) return;
    auto self = sharedView();
    auto oldWindow = window();
    parent->willRemoveSubview(this);
    willMoveToSuperview(nullptr);
    if (oldWindow) {
        notifyWillMoveToWindow(nullptr);
        // A first responder leaving its window resigns.
        if (auto fr = oldWindow->firstResponder()) {
            auto frView = std::dynamic_pointer_cast<UIView>(fr);
            if (frView && frView->isDescendantOfView(this)) oldWindow->makeFirstResponder(nullptr);
        }
    }
    auto& subs = parent->subviews_;
    subs.erase(std::remove(subs.begin(), subs.end(), self), subs.end());
    superview_.reset();
    didMoveToSuperview();
    if (oldWindow) notifyMovedToWindow(oldWindow.get());
    parent->setNeedsDisplay();
}

void UIView::notifyWillMoveToWindow(UIWindow* newWindow) {
    willMoveToWindow(newWindow);
    for (auto& s : subviews_) s->notifyWillMoveToWindow(newWindow);
}

void UIView::notifyMovedToWindow(UIWindow* oldWindow) {
    didMoveToWindow();
    for (auto& s : subviews_) s->notifyMovedToWindow(oldWindow);
}

void UIView::bringSubviewToFront(const std::shared_ptr<UIView>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    subviews_.erase(it);
    subviews_.push_back(view);
    setNeedsDisplay();
}

void UIView::sendSubviewToBack(const std::shared_ptr<UIView>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    subviews_.erase(it);
    subviews_.insert(subviews_.begin(), view);
    setNeedsDisplay();
}

bool UIView::isDescendantOfView(const UIView* view) const {
    for (const UIView* v = this; v; v = v->superview_.lock().get())
        if (v == view) return true;
    return false;
}

std::shared_ptr<UIView> UIView::viewWithTag(long t) {
    if (tag_ == t) return sharedView();
    for (auto& s : subviews_)
        if (auto found = s->viewWithTag(t)) return found;
    return nullptr;
}

std::shared_ptr<UIWindow> UIView::window() const {
    auto parent = superview_.lock();
    return parent ? parent->window() : nullptr;
}

void UIView::setNeedsLayout() {
    needsLayout_ = true;
    if (window()) DisplayLoop::setNeedsUpdate();
}

void UIView::layoutIfNeeded() {
    for (int i = 0; needsLayout_ && i < 8; ++i) {
        needsLayout_ = false;
        if (auto vc = viewController()) vc->viewWillLayoutSubviews();
        layoutSubviews();
        if (auto vc = viewController()) vc->viewDidLayoutSubviews();
    }
    auto subs = subviews_;
    for (auto& s : subs) s->layoutIfNeeded();
}

bool UIView::needsLayoutInTree() const {
    if (needsLayout_) return true;
    for (auto& s : subviews_)
        if (s->needsLayoutInTree()) return true;
    return false;
}

void UIView::sizeToFit() {
    CGSize s = sizeThatFits(bounds_.size);
    CGRect f = frame();
    f.size = s;
    setFrame(f);
}

void UIView::setNeedsDisplay() {
    if (layer_) layer_->setNeedsDisplay();
}

void UIView::displayLayersIfNeeded() {
    auto keep = weak_from_this().lock();  // a hook may remove the view
    layer_->displayIfNeeded();
    auto subviews = subviews_;
    for (auto& s : subviews) s->displayLayersIfNeeded();
}

CGPoint UIView::pointToSuperview(CGPoint p) const {
    CGPoint q{p.x - (bounds_.origin.x + bounds_.size.width / 2), p.y - (bounds_.origin.y + bounds_.size.height / 2)};
    if (!transform_.isIdentity()) q = transform_.apply(q);
    return {q.x + center_.x, q.y + center_.y};
}

CGPoint UIView::pointFromSuperview(CGPoint p) const {
    CGPoint q{p.x - center_.x, p.y - center_.y};
    if (!transform_.isIdentity()) q = transform_.inverted().apply(q);
    return {q.x + bounds_.origin.x + bounds_.size.width / 2, q.y + bounds_.origin.y + bounds_.size.height / 2};
}

namespace {
// The point in the root (window) space of a point in `v`'s bounds space.
CGPoint toRoot(const UIView* v, CGPoint p) {
    while (v) {
        auto parent = v->superview();
        if (!parent) {
            // The root's own frame places it (a window at its origin).
            return v->pointToSuperview(p);
        }
        p = v->pointToSuperview(p);
        v = parent.get();
    }
    return p;
}
CGPoint fromRoot(const UIView* v, CGPoint p) {
    std::vector<const UIView*> chain;
    for (const UIView* x = v; x; x = x->superview().get()) chain.push_back(x);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = (*it)->pointFromSuperview(p);
    return p;
}
}  // namespace

CGPoint UIView::convertPointToView(CGPoint p, const UIView* view) const {
    CGPoint root = toRoot(this, p);
    return view ? fromRoot(view, root) : root;
}

CGPoint UIView::convertPointFromView(CGPoint p, const UIView* view) const {
    CGPoint root = view ? toRoot(view, p) : p;
    return fromRoot(this, root);
}

CGRect UIView::convertRectToView(const CGRect& r, const UIView* view) const {
    CGPoint a = convertPointToView(r.origin, view);
    CGPoint b = convertPointToView({r.maxX(), r.maxY()}, view);
    CGPoint c = convertPointToView({r.maxX(), r.minY()}, view);
    CGPoint d = convertPointToView({r.minX(), r.maxY()}, view);
    double x0 = std::min({a.x, b.x, c.x, d.x}), x1 = std::max({a.x, b.x, c.x, d.x});
    double y0 = std::min({a.y, b.y, c.y, d.y}), y1 = std::max({a.y, b.y, c.y, d.y});
    return CGRect(x0, y0, x1 - x0, y1 - y0);
}

CGRect UIView::convertRectFromView(const CGRect& r, const UIView* view) const {
    CGPoint a = convertPointFromView(r.origin, view);
    CGPoint b = convertPointFromView({r.maxX(), r.maxY()}, view);
    return CGRect(std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y));
}

bool UIView::pointInside(CGPoint p, UIEvent*) const { return bounds_.contains(p); }

std::shared_ptr<UIView> UIView::hitTest(CGPoint p, UIEvent* event) {
    if (hidden_ || !userInteractionEnabled_ || alpha_ < 0.01) return nullptr;
    if (!pointInside(p, event)) return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        auto sub = *it;
        if (auto hit = sub->hitTest(sub->pointFromSuperview(p), event)) return hit;
    }
    return sharedView();
}

void UIView::addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& g) {
    if (!g) return;
    if (auto old = g->view(); old && old.get() != this) old->removeGestureRecognizer(g);
    if (std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), g) == gestureRecognizers_.end())
        gestureRecognizers_.push_back(g);
    g->setView(sharedView());
}

void UIView::removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& g) {
    auto it = std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), g);
    if (it == gestureRecognizers_.end()) return;
    gestureRecognizers_.erase(it);
    g->setView(nullptr);
}

bool UIView::endEditing(bool force) {
    auto w = window();
    if (!w) return true;
    auto fr = std::dynamic_pointer_cast<UIView>(w->firstResponder());
    if (!fr || !fr->isDescendantOfView(this)) return true;
    if (force) return w->makeFirstResponder(nullptr, true);
    return fr->resignFirstResponder();
}

std::shared_ptr<UIResponder> UIView::nextResponder() const {
    if (auto vc = viewController_.lock()) return vc;
    return superview_.lock();
}
