#include "platform/ui/UIScrollView.h"

#include <cmath>

#include "platform/dispatch/DispatchQueue.h"

namespace {
constexpr double kSettleDuration = 0.3;

// Past an edge, a pull of x points shows d·(1 − 1/(1 + c·x/d)) of it, d being
// the view's size along that axis and c = 0.55: the content starts at about
// half the finger's pace, slows as the pull grows and never gets a whole
// view's size past the edge.
constexpr double kResistance = 0.55;

double damp(double x, double d) { return d <= 0 ? 0 : d * (1 - 1 / (1 + kResistance * x / d)); }

double undamp(double y, double d) {
    if (d <= 0) return 0;
    y = std::min(y, d * 0.99);
    return d / kResistance * y / (d - y);
}

double resistAxis(double raw, double lo, double hi, double size, bool bounce) {
    if (raw < lo) return bounce ? lo - damp(lo - raw, size) : lo;
    if (raw > hi) return bounce ? hi + damp(raw - hi, size) : hi;
    return raw;
}

double unresistAxis(double shown, double lo, double hi, double size) {
    if (shown < lo) return lo - undamp(lo - shown, size);
    if (shown > hi) return hi + undamp(shown - hi, size);
    return shown;
}

// Starts only for movement along an axis the view scrolls, so that a
// vertical list inside a horizontal pager leaves sideways swipes to the pager.
// Tells its view once a touch event has been handled by every target, which
// is when the scroll view acts on a release.
class ScrollPan : public UIPanGestureRecognizer {
public:
    std::function<bool(CGPoint)> accepts;
    std::function<void(UIView&)> handled;

    void touchesBegan(const UITouchSet& t, UIEvent* e) override {
        UIPanGestureRecognizer::touchesBegan(t, e);
        notify();
    }
    void touchesEnded(const UITouchSet& t, UIEvent* e) override {
        UIPanGestureRecognizer::touchesEnded(t, e);
        notify();
    }
    void touchesCancelled(const UITouchSet& t, UIEvent* e) override {
        UIPanGestureRecognizer::touchesCancelled(t, e);
        notify();
    }
    void reset() override {
        UIPanGestureRecognizer::reset();
        notify();
    }

protected:
    bool shouldStartWithTranslation(CGPoint t) const override {
        return UIPanGestureRecognizer::shouldStartWithTranslation(t) && (!accepts || accepts(t));
    }

private:
    void notify() {
        if (auto v = view(); v && handled) handled(*v);
    }
};
}  // namespace

UIScrollView::UIScrollView() { setClipsToBounds(true); }

UIScrollView::UIScrollView(const CGRect& frame) : UIScrollView() { UIView::setFrame(frame); }

const std::shared_ptr<UIPanGestureRecognizer>& UIScrollView::panGestureRecognizer() {
    if (!pan_) {
        auto pan = std::make_shared<ScrollPan>();
        UIScrollView* self = this;
        pan->accepts = [self](CGPoint t) {
            bool h = self->scrollsHorizontally(), v = self->scrollsVertically();
            if (std::fabs(t.x) > std::fabs(t.y)) return h;
            return v;
        };
        pan->addTarget([self](UIGestureRecognizer& g) { self->handlePan(static_cast<UIPanGestureRecognizer&>(g)); });
        pan->handled = [](UIView& v) {
            if (auto* s = dynamic_cast<UIScrollView*>(&v)) s->finishRelease();
        };
        pan->setEnabled(scrollEnabled_);
        pan_ = pan;
    }
    return pan_;
}

void UIScrollView::ensurePan() {
    auto& pan = panGestureRecognizer();
    auto& list = gestureRecognizers();
    if (std::find(list.begin(), list.end(), pan) == list.end()) addGestureRecognizer(pan);
}

// The recognizer attaches once the view is owned (it keeps a weak pointer to it).
void UIScrollView::didMoveToSuperview() {
    if (superview()) ensurePan();
}

std::shared_ptr<UIView> UIScrollView::hitTest(CGPoint point, UIEvent* event) {
    ensurePan();
    return UIView::hitTest(point, event);
}

void UIScrollView::setScrollEnabled(bool e) {
    scrollEnabled_ = e;
    panGestureRecognizer()->setEnabled(e);
    finishRelease();  // a drag cut short still springs back
}

void UIScrollView::setContentSize(CGSize s) {
    // Only a change asks for layout: views that set their content size in
    // layoutSubviews would otherwise never finish laying out.
    if (s == contentSize_) return;
    contentSize_ = s;
    setNeedsLayout();
    // Views that follow the content's end (a load-more footer) move with it.
    geometryDidChange();
    // Content that shrank under the offset would leave the view showing
    // nothing until a drag: the offset comes back to the content's end. A
    // finger on the content, or content settling, keeps its own course.
    if (!dragging_ && !decelerating_) clampToContentEnd();
}

void UIScrollView::clampToContentEnd() {
    CGPoint p = contentOffset(), hi = maximumContentOffset();
    if (p.x > hi.x || p.y > hi.y) setContentOffset({std::min(p.x, hi.x), std::min(p.y, hi.y)});
}

void UIScrollView::setContentInset(const UIEdgeInsets& i) {
    contentInset_ = i;
    setNeedsLayout();
}

CGPoint UIScrollView::minimumContentOffset() const { return {-contentInset_.left, -contentInset_.top}; }

CGPoint UIScrollView::maximumContentOffset() const {
    CGPoint lo = minimumContentOffset();
    CGSize b = bounds().size;
    return {std::max(lo.x, contentSize_.width + contentInset_.right - b.width),
            std::max(lo.y, contentSize_.height + contentInset_.bottom - b.height)};
}

CGPoint UIScrollView::clamp(CGPoint p) const {
    CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
    return {std::clamp(p.x, lo.x, hi.x), std::clamp(p.y, lo.y, hi.y)};
}

CGPoint UIScrollView::resisted(CGPoint raw) const {
    CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
    CGSize size = bounds().size;
    return {resistAxis(raw.x, lo.x, hi.x, size.width, bounces && scrollsHorizontally()),
            resistAxis(raw.y, lo.y, hi.y, size.height, bounces && scrollsVertically())};
}

CGPoint UIScrollView::unresisted(CGPoint shown) const {
    CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
    CGSize size = bounds().size;
    return {unresistAxis(shown.x, lo.x, hi.x, size.width), unresistAxis(shown.y, lo.y, hi.y, size.height)};
}

bool UIScrollView::scrollsHorizontally() const {
    return alwaysBounceHorizontal || maximumContentOffset().x > minimumContentOffset().x;
}

bool UIScrollView::scrollsVertically() const {
    return alwaysBounceVertical || maximumContentOffset().y > minimumContentOffset().y;
}

void UIScrollView::setContentOffset(CGPoint p, bool animated) {
    CGRect b = bounds();
    bool changed = b.origin != p;
    ++scrollGeneration_;
    if (animated && changed) {
        UIView::animateWithDuration(kSettleDuration, [&] { setBounds(CGRect(p, b.size)); });
    } else {
        setBounds(CGRect(p, b.size));
    }
    setNeedsLayout();
    if (changed) {
        contentOffsetDidChange();
        if (auto d = scrollDelegate()) d->scrollViewDidScroll(*this);
    }
    if (animated && changed) {
        std::weak_ptr<UIView> weak = sharedView();
        uint64_t gen = scrollGeneration_;
        DispatchQueue::main()->asyncAfter(std::chrono::nanoseconds(int64_t(kSettleDuration * 1e9)), [weak, gen] {
            auto self = std::static_pointer_cast<UIScrollView>(weak.lock());
            if (!self || self->scrollGeneration_ != gen) return;
            if (auto d = self->scrollDelegate()) d->scrollViewDidEndScrollingAnimation(*self);
        });
    }
}

void UIScrollView::scrollRectToVisible(const CGRect& r, bool animated) {
    CGRect b = bounds();
    CGPoint p = b.origin;
    if (r.minX() < b.minX()) p.x = r.minX();
    else if (r.maxX() > b.maxX()) p.x = r.maxX() - b.width();
    if (r.minY() < b.minY()) p.y = r.minY();
    else if (r.maxY() > b.maxY()) p.y = r.maxY() - b.height();
    setContentOffset(clamp(p), animated);
}

void UIScrollView::handlePan(UIPanGestureRecognizer& pan) {
    auto d = scrollDelegate();
    // Follows the finger at once: drawing must not lag behind it.
    auto moveTo = [&](CGPoint p) {
        CGRect b = bounds();
        if (p == b.origin) return;
        UIView::performWithoutAnimation([&] { setBounds(CGRect(p, b.size)); });
        setNeedsLayout();
        contentOffsetDidChange();
        if (d) d->scrollViewDidScroll(*this);
    };
    switch (pan.state()) {
        case UIGestureRecognizerState::Began: {
            ++scrollGeneration_;
            dragging_ = true;
            decelerating_ = false;
            releasePending_ = false;
            // A finger on moving content holds it where it is seen.
            CGPoint shown = presentation().bounds.origin;
            moveTo(shown);
            dragStart_ = unresisted(shown);
            if (d) d->scrollViewWillBeginDragging(*this);
            [[fallthrough]];
        }
        case UIGestureRecognizerState::Changed: {
            // The view's own space moves with the offset: measure in the window's.
            CGPoint t = pan.translationInView(nullptr);
            moveTo(resisted({scrollsHorizontally() ? dragStart_.x - t.x : dragStart_.x,
                             scrollsVertically() ? dragStart_.y - t.y : dragStart_.y}));
            break;
        }
        case UIGestureRecognizerState::Ended:
        case UIGestureRecognizerState::Cancelled: {
            if (!dragging_) break;
            dragging_ = false;
            // A cancelled drag springs back without a glide.
            releaseVelocity_ = pan.state() == UIGestureRecognizerState::Ended ? pan.velocityInView(nullptr) : CGPoint{};
            releaseDecelerates_ = releaseTarget(releaseVelocity_) != contentOffset();
            releasePending_ = true;
            if (d) d->scrollViewDidEndDragging(*this, releaseDecelerates_);
            // Acted on when the touch has been handled; this covers a pan
            // stopped from elsewhere (its recognizer disabled directly).
            std::weak_ptr<UIView> weak = sharedView();
            DispatchQueue::main()->async([weak] {
                if (auto self = std::static_pointer_cast<UIScrollView>(weak.lock())) self->finishRelease();
            });
            break;
        }
        case UIGestureRecognizerState::Failed:
            dragging_ = false;
            break;
        default: break;
    }
}

CGPoint UIScrollView::releaseTarget(CGPoint v) const {
    CGPoint p = contentOffset(), lo = minimumContentOffset(), hi = maximumContentOffset();
    CGSize page = bounds().size;
    auto axis = [&](double offset, double lo, double hi, double start, double velocity, double size) {
        if (offset < lo) return lo;  // past an edge: back to it
        if (offset > hi) return hi;
        if (!pagingEnabled_) return std::clamp(offset - velocity * 0.15, lo, hi);
        if (size <= 0) return offset;
        double from = std::round(start / size);
        double moved = (offset - start) / size;
        double idx = from;
        if (moved > 0.5 || (moved > 0 && velocity < -300)) idx = from + 1;
        else if (moved < -0.5 || (moved < 0 && velocity > 300)) idx = from - 1;
        return std::clamp(idx * size, lo, hi);
    };
    return {axis(p.x, lo.x, hi.x, dragStart_.x, v.x, page.width), axis(p.y, lo.y, hi.y, dragStart_.y, v.y, page.height)};
}

void UIScrollView::finishRelease() {
    if (!releasePending_) return;
    releasePending_ = false;
    // Again: a target of the pan (a refreshing header) may have moved the edge.
    CGPoint target = releaseTarget(releaseVelocity_);
    if (releaseDecelerates_ || target != contentOffset()) settle(target);
}

void UIScrollView::settle(CGPoint target) {
    decelerating_ = true;
    if (auto d = scrollDelegate()) d->scrollViewWillBeginDecelerating(*this);
    CGRect b = bounds();
    if (target != b.origin) {
        UIView::animateWithDuration(kSettleDuration, 0, UIViewAnimationOptionCurveEaseOut,
                                    [&] { setBounds(CGRect(target, b.size)); });
        setNeedsLayout();
        contentOffsetDidChange();
        if (auto d = scrollDelegate()) d->scrollViewDidScroll(*this);
    }
    uint64_t gen = ++scrollGeneration_;
    std::weak_ptr<UIView> weak = sharedView();
    DispatchQueue::main()->asyncAfter(std::chrono::nanoseconds(int64_t(kSettleDuration * 1e9)), [weak, gen] {
        auto self = std::static_pointer_cast<UIScrollView>(weak.lock());
        if (!self || self->scrollGeneration_ != gen) return;
        self->decelerating_ = false;
        self->clampToContentEnd();
        if (auto d = self->scrollDelegate()) d->scrollViewDidEndDecelerating(*self);
    });
}

bool UIScrollView::scrollWheel(CGPoint delta) {
    if (!scrollEnabled_ || dragging_) return false;
    if (!scrollsHorizontally()) delta.x = 0;
    if (!scrollsVertically()) delta.y = 0;
    CGPoint from = contentOffset(), target = from;
    if (pagingEnabled_) {
        // One page per turn; the rest of a turn whose page is still settling goes nowhere else.
        if (decelerating_) return delta != CGPoint{};
        CGSize page = bounds().size;
        auto turn = [](double offset, double d, double size) {
            return d == 0 || size <= 0 ? offset : (std::round(offset / size) + (d > 0 ? 1 : -1)) * size;
        };
        target = clamp({turn(from.x, delta.x, page.width), turn(from.y, delta.y, page.height)});
    } else {
        target = clamp({from.x + delta.x, from.y + delta.y});
    }
    if (target == from) return false;
    for (auto observers = wheelObservers_; auto& o : observers) o(*this);
    if (pagingEnabled_) {
        settle(target);
        return true;
    }
    ++scrollGeneration_;
    decelerating_ = false;
    CGRect b = bounds();
    UIView::performWithoutAnimation([&] { setBounds(CGRect(target, b.size)); });
    setNeedsLayout();
    contentOffsetDidChange();
    if (auto d = scrollDelegate()) d->scrollViewDidScroll(*this);
    return true;
}

void UIScrollView::addWheelObserver(std::function<void(UIScrollView&)> observer) {
    if (observer) wheelObservers_.push_back(std::move(observer));
}
