#include "platform/ui/UIScrollView.h"

#include <cmath>

#include "platform/dispatch/DispatchQueue.h"

namespace {
constexpr double kSettleDuration = 0.3;

// Starts only for movement along an axis the view scrolls, so that a
// vertical list inside a horizontal pager leaves sideways swipes to the pager.
class ScrollPan : public UIPanGestureRecognizer {
public:
    std::function<bool(CGPoint)> accepts;
protected:
    bool shouldStartWithTranslation(CGPoint t) const override {
        return UIPanGestureRecognizer::shouldStartWithTranslation(t) && (!accepts || accepts(t));
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
}

void UIScrollView::setContentSize(CGSize s) {
    contentSize_ = s;
    setNeedsLayout();
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
    switch (pan.state()) {
        case UIGestureRecognizerState::Began:
            ++scrollGeneration_;
            dragging_ = true;
            decelerating_ = false;
            dragStart_ = contentOffset();
            if (d) d->scrollViewWillBeginDragging(*this);
            [[fallthrough]];
        case UIGestureRecognizerState::Changed: {
            // The view's own space moves with the offset: measure in the window's.
            CGPoint t = pan.translationInView(nullptr);
            CGPoint p{scrollsHorizontally() ? dragStart_.x - t.x : dragStart_.x,
                      scrollsVertically() ? dragStart_.y - t.y : dragStart_.y};
            CGRect b = bounds();
            if (clamp(p) != b.origin) {
                UIView::performWithoutAnimation([&] { setBounds(CGRect(clamp(p), b.size)); });
                setNeedsLayout();
                contentOffsetDidChange();
                if (d) d->scrollViewDidScroll(*this);
            }
            break;
        }
        case UIGestureRecognizerState::Ended: {
            dragging_ = false;
            CGPoint v = pan.velocityInView(nullptr);
            CGPoint p = contentOffset();
            CGPoint target;
            if (pagingEnabled_) {
                CGSize page = bounds().size;
                auto pick = [](double offset, double start, double velocity, double size) {
                    if (size <= 0) return offset;
                    double from = std::round(start / size);
                    double moved = (offset - start) / size;
                    double idx = from;
                    if (moved > 0.5 || (moved > 0 && velocity < -300)) idx = from + 1;
                    else if (moved < -0.5 || (moved < 0 && velocity > 300)) idx = from - 1;
                    return idx * size;
                };
                target = clamp({pick(p.x, dragStart_.x, v.x, page.width), pick(p.y, dragStart_.y, v.y, page.height)});
            } else {
                target = clamp({p.x - v.x * 0.15, p.y - v.y * 0.15});
            }
            bool glides = target != p;
            if (d) d->scrollViewDidEndDragging(*this, glides);
            if (glides) settle(target);
            break;
        }
        case UIGestureRecognizerState::Cancelled:
        case UIGestureRecognizerState::Failed:
            dragging_ = false;
            break;
        default: break;
    }
}

void UIScrollView::settle(CGPoint target) {
    decelerating_ = true;
    CGRect b = bounds();
    UIView::animateWithDuration(kSettleDuration, 0, UIViewAnimationOptionCurveEaseOut,
                                [&] { setBounds(CGRect(target, b.size)); });
    setNeedsLayout();
    contentOffsetDidChange();
    if (auto d = scrollDelegate()) d->scrollViewDidScroll(*this);
    uint64_t gen = ++scrollGeneration_;
    std::weak_ptr<UIView> weak = sharedView();
    DispatchQueue::main()->asyncAfter(std::chrono::nanoseconds(int64_t(kSettleDuration * 1e9)), [weak, gen] {
        auto self = std::static_pointer_cast<UIScrollView>(weak.lock());
        if (!self || self->scrollGeneration_ != gen) return;
        self->decelerating_ = false;
        if (auto d = self->scrollDelegate()) d->scrollViewDidEndDecelerating(*self);
    });
}
