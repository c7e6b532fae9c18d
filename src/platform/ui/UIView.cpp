#include "platform/ui/UIView.h"

#include <algorithm>

#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

UIView::UIView() = default;

UIView::UIView(const CGRect& frame) { UIView::setFrame(frame); }

UIView::~UIView() = default;

CGRect UIView::frame() const {
    return CGRect(center_.x - bounds_.size.width / 2, center_.y - bounds_.size.height / 2, bounds_.size.width,
                  bounds_.size.height);
}

void UIView::setFrame(const CGRect& f) {
    CGSize old = bounds_.size;
    center_ = CGPoint{f.origin.x + f.size.width / 2, f.origin.y + f.size.height / 2};
    bounds_.size = f.size;
    if (!(old == f.size)) {
        autoresizeSubviews(old);
        setNeedsLayout();
    }
    geometryDidChange();
}

void UIView::setBounds(const CGRect& b) {
    CGSize old = bounds_.size;
    bounds_ = b;
    if (!(old == b.size)) {
        autoresizeSubviews(old);
        setNeedsLayout();
    }
    geometryDidChange();
}

void UIView::setCenter(CGPoint c) {
    center_ = c;
    geometryDidChange();
}

void UIView::geometryDidChange() {
    for (auto& o : geometryObservers_) o(*this);
    // Native widgets below this view move with it.
    for (auto& s : subviews_) s->geometryDidChange();
}

void UIView::setBackgroundColor(const UIColor& c) { backgroundColor_ = c; }
void UIView::setAlpha(double a) { alpha_ = std::clamp(a, 0.0, 1.0); }
void UIView::setHidden(bool h) { hidden_ = h; }

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
        return;
    }
    view->willMoveToSuperview(this);
    view->removeFromSuperview();
    view->superview_ = sharedView();
    subviews_.insert(subviews_.begin() + std::min(index, subviews_.size()), view);
    view->didMoveToSuperview();
    didAddSubview(view.get());
    view->notifyMovedToWindow();
    view->geometryDidChange();
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) { attach(view, subviews_.size()); }
void UIView::insertSubview(const std::shared_ptr<UIView>& view, size_t index) { attach(view, index); }

void UIView::removeFromSuperview() {
    auto parent = superview_.lock();
    if (!parent) return;
    auto self = sharedView();
    parent->willRemoveSubview(this);
    willMoveToSuperview(nullptr);
    auto& subs = parent->subviews_;
    subs.erase(std::remove(subs.begin(), subs.end(), self), subs.end());
    superview_.reset();
    didMoveToSuperview();
    notifyMovedToWindow();
}

void UIView::notifyMovedToWindow() {
    didMoveToWindow();
    for (auto& s : subviews_) s->notifyMovedToWindow();
}

void UIView::bringSubviewToFront(const std::shared_ptr<UIView>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    subviews_.erase(it);
    subviews_.push_back(view);
}

void UIView::sendSubviewToBack(const std::shared_ptr<UIView>& view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    subviews_.erase(it);
    subviews_.insert(subviews_.begin(), view);
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

void UIView::setNeedsLayout() { needsLayout_ = true; }

void UIView::layoutIfNeeded() {
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSubviews();
    }
    for (auto& s : subviews_) s->layoutIfNeeded();
}

void UIView::sizeToFit() {
    CGSize s = sizeThatFits(bounds_.size);
    CGRect f = frame();
    f.size = s;
    setFrame(f);
}

namespace {
// The point in the root (window) space of a point in `v`'s bounds space.
CGPoint toRoot(const UIView* v, CGPoint p) {
    while (v) {
        CGRect f = v->frame();
        p.x += f.origin.x - v->bounds().origin.x;
        p.y += f.origin.y - v->bounds().origin.y;
        auto parent = v->superview();
        if (!parent) break;
        v = parent.get();
    }
    return p;
}
}  // namespace

CGPoint UIView::convertPointToView(CGPoint p, const UIView* view) const {
    CGPoint root = toRoot(this, p);
    if (!view) return root;
    CGPoint origin = toRoot(view, CGPoint{0, 0});
    return CGPoint{root.x - origin.x, root.y - origin.y};
}

CGPoint UIView::convertPointFromView(CGPoint p, const UIView* view) const {
    CGPoint root = view ? toRoot(view, p) : p;
    CGPoint origin = toRoot(this, CGPoint{0, 0});
    return CGPoint{root.x - origin.x, root.y - origin.y};
}

CGRect UIView::convertRectToView(const CGRect& r, const UIView* view) const {
    return CGRect(convertPointToView(r.origin, view), r.size);
}

std::shared_ptr<UIResponder> UIView::nextResponder() const {
    if (auto vc = viewController_.lock()) return vc;
    return superview_.lock();
}
