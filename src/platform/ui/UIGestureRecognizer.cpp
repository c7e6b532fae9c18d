#include "platform/ui/UIGestureRecognizer.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/UIWindow.h"

CGPoint UITouch::locationInView(const UIView* view) const {
    if (!view) return location_;
    return view->convertPointFromView(location_, nullptr);
}

CGPoint UITouch::previousLocationInView(const UIView* view) const {
    if (!view) return previous_;
    return view->convertPointFromView(previous_, nullptr);
}

UIGestureRecognizer::~UIGestureRecognizer() = default;

void UIGestureRecognizer::setEnabled(bool e) {
    enabled_ = e;
    if (e) return;
    // A disabled recognizer lets go of the touches it has: a gesture under
    // way is cancelled, one not yet recognized fails (and starts over when
    // its touches end).
    if (isRecognizing()) setState(UIGestureRecognizerState::Cancelled);
    else if (state_ == UIGestureRecognizerState::Possible && !touches_.empty()) setState(UIGestureRecognizerState::Failed);
}

void UIGestureRecognizer::setState(UIGestureRecognizerState s) {
    if (s == UIGestureRecognizerState::Began || (s == UIGestureRecognizerState::Ended &&
                                                  state_ == UIGestureRecognizerState::Possible)) {
        auto d = delegate.lock();
        if (d && !d->gestureRecognizerShouldBegin(*this)) {
            state_ = UIGestureRecognizerState::Failed;
            return;
        }
    }
    state_ = s;
    if (s == UIGestureRecognizerState::Failed || s == UIGestureRecognizerState::Possible) return;
    auto self = shared_from_this();  // an action may drop the last owner
    auto actions = actions_;
    for (auto& a : actions) a(*this);
}

CGPoint UIGestureRecognizer::locationInView(const UIView* view) const {
    if (touches_.empty()) return {};
    double x = 0, y = 0;
    for (auto& t : touches_) {
        CGPoint p = t->locationInView(view);
        x += p.x, y += p.y;
    }
    return {x / touches_.size(), y / touches_.size()};
}

void UIGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent*) {
    for (auto& t : touches)
        if (std::find(touches_.begin(), touches_.end(), t) == touches_.end()) touches_.push_back(t);
}
void UIGestureRecognizer::touchesMoved(const UITouchSet&, UIEvent*) {}
void UIGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent*) {
    for (auto& t : touches) std::erase(touches_, t);
}
void UIGestureRecognizer::touchesCancelled(const UITouchSet& touches, UIEvent*) {
    for (auto& t : touches) std::erase(touches_, t);
    if (isRecognizing() && state_ != UIGestureRecognizerState::Ended) setState(UIGestureRecognizerState::Cancelled);
    else if (state_ == UIGestureRecognizerState::Possible) setState(UIGestureRecognizerState::Failed);
}
void UIGestureRecognizer::reset() {
    state_ = UIGestureRecognizerState::Possible;
    touches_.clear();
}

namespace {
double dist(CGPoint a, CGPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }
}  // namespace

// ---- Tap

void UITapGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent* e) {
    UIGestureRecognizer::touchesBegan(touches, e);
    if (int(touches_.size()) > numberOfTouchesRequired) setState(UIGestureRecognizerState::Failed);
    if (taps_ == 0) start_ = touches.front()->locationInView(nullptr);
}

void UITapGestureRecognizer::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (state() != UIGestureRecognizerState::Possible) return;
    for (auto& t : touches)
        if (dist(t->locationInView(nullptr), start_) > 10) setState(UIGestureRecognizerState::Failed);
}

void UITapGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent* e) {
    UIGestureRecognizer::touchesEnded(touches, e);
    if (state() != UIGestureRecognizerState::Possible || !touches_.empty()) return;
    if (++taps_ >= numberOfTapsRequired) {
        // Locations of the last touch stay readable in the action.
        touches_ = touches;
        setState(UIGestureRecognizerState::Ended);
        touches_.clear();
    }
}

void UITapGestureRecognizer::reset() {
    // A multi-tap keeps counting while its taps come in a row.
    bool pending = state() == UIGestureRecognizerState::Possible && taps_ > 0 && taps_ < numberOfTapsRequired;
    UIGestureRecognizer::reset();
    if (!pending) taps_ = 0;
}

// ---- Long press

void UILongPressGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent* e) {
    UIGestureRecognizer::touchesBegan(touches, e);
    start_ = touches.front()->locationInView(nullptr);
    if (timer_) timer_->cancel();
    timer_ = DispatchTimer::create(DispatchQueue::main());
    std::weak_ptr<UIGestureRecognizer> weak = shared_from_this();
    timer_->setEventHandler([weak] {
        auto self = std::static_pointer_cast<UILongPressGestureRecognizer>(weak.lock());
        if (!self || self->state() != UIGestureRecognizerState::Possible || self->touches_.empty()) return;
        self->setState(UIGestureRecognizerState::Began);
    });
    timer_->schedule(std::chrono::nanoseconds(int64_t(minimumPressDuration * 1e9)));
    timer_->resume();
}

void UILongPressGestureRecognizer::touchesMoved(const UITouchSet& touches, UIEvent*) {
    if (state() == UIGestureRecognizerState::Possible) {
        if (dist(touches.front()->locationInView(nullptr), start_) > allowableMovement) {
            if (timer_) timer_->cancel();
            setState(UIGestureRecognizerState::Failed);
        }
    } else if (isRecognizing()) {
        setState(UIGestureRecognizerState::Changed);
    }
}

void UILongPressGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent* e) {
    if (timer_) timer_->cancel();
    if (state() == UIGestureRecognizerState::Began || state() == UIGestureRecognizerState::Changed)
        setState(UIGestureRecognizerState::Ended);
    else if (state() == UIGestureRecognizerState::Possible)
        setState(UIGestureRecognizerState::Failed);
    UIGestureRecognizer::touchesEnded(touches, e);
}

void UILongPressGestureRecognizer::touchesCancelled(const UITouchSet& touches, UIEvent* e) {
    if (timer_) timer_->cancel();
    UIGestureRecognizer::touchesCancelled(touches, e);
}

void UILongPressGestureRecognizer::reset() {
    if (timer_) timer_->cancel();
    timer_.reset();
    UIGestureRecognizer::reset();
}

// ---- Pan

bool UIPanGestureRecognizer::shouldStartWithTranslation(CGPoint t) const { return std::hypot(t.x, t.y) > 10; }

void UIPanGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent* e) {
    UIGestureRecognizer::touchesBegan(touches, e);
    if (int(touches_.size()) > maximumNumberOfTouches) {
        if (isRecognizing()) setState(UIGestureRecognizerState::Ended);
        else setState(UIGestureRecognizerState::Failed);
        return;
    }
    start_ = locationInView(nullptr);
    lastPoint_ = start_;
    lastTime_ = Clock::current().now();
    offset_ = {};
    velocity_ = {};
}

void UIPanGestureRecognizer::touchesMoved(const UITouchSet&, UIEvent*) {
    if (int(touches_.size()) < minimumNumberOfTouches) return;
    CGPoint p = locationInView(nullptr);
    auto now = Clock::current().now();
    double dt = std::chrono::duration<double>(now - lastTime_).count();
    if (dt > 0) velocity_ = {(p.x - lastPoint_.x) / dt, (p.y - lastPoint_.y) / dt};
    lastPoint_ = p;
    lastTime_ = now;
    if (state() == UIGestureRecognizerState::Possible) {
        CGPoint t{p.x - start_.x, p.y - start_.y};
        if (shouldStartWithTranslation(t)) setState(UIGestureRecognizerState::Began);
    } else if (isRecognizing()) {
        setState(UIGestureRecognizerState::Changed);
    }
}

void UIPanGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent* e) {
    // The last location counts for the final translation.
    bool last = touches_.size() <= touches.size();
    if (last && (state() == UIGestureRecognizerState::Began || state() == UIGestureRecognizerState::Changed))
        setState(UIGestureRecognizerState::Ended);
    else if (last && state() == UIGestureRecognizerState::Possible)
        setState(UIGestureRecognizerState::Failed);
    UIGestureRecognizer::touchesEnded(touches, e);
}

void UIPanGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    offset_ = {};
}

CGPoint UIPanGestureRecognizer::translationInView(const UIView* view) const {
    CGPoint p = touches_.empty() ? lastPoint_ : locationInView(nullptr);
    CGPoint t{p.x - start_.x + offset_.x, p.y - start_.y + offset_.y};
    if (!view) return t;
    CGPoint a = view->convertPointFromView({0, 0}, nullptr), b = view->convertPointFromView(t, nullptr);
    return {b.x - a.x, b.y - a.y};
}

void UIPanGestureRecognizer::setTranslation(CGPoint t, const UIView* view) {
    CGPoint want = t;
    if (view) {
        CGPoint a = view->convertPointToView({0, 0}, nullptr), b = view->convertPointToView(t, nullptr);
        want = {b.x - a.x, b.y - a.y};
    }
    CGPoint p = touches_.empty() ? lastPoint_ : locationInView(nullptr);
    offset_ = {want.x - (p.x - start_.x), want.y - (p.y - start_.y)};
}

CGPoint UIPanGestureRecognizer::velocityInView(const UIView* view) const {
    if (!view) return velocity_;
    CGPoint a = view->convertPointFromView({0, 0}, nullptr), b = view->convertPointFromView(velocity_, nullptr);
    return {b.x - a.x, b.y - a.y};
}

// ---- Pinch

double UIPinchGestureRecognizer::distance() const {
    if (touches_.size() < 2) return 0;
    return dist(touches_[0]->locationInView(nullptr), touches_[1]->locationInView(nullptr));
}

void UIPinchGestureRecognizer::touchesBegan(const UITouchSet& touches, UIEvent* e) {
    UIGestureRecognizer::touchesBegan(touches, e);
    if (touches_.size() == 2) startDistance_ = distance();
}

void UIPinchGestureRecognizer::touchesMoved(const UITouchSet&, UIEvent*) {
    if (touches_.size() < 2 || startDistance_ <= 0) return;
    double d = distance();
    if (state() == UIGestureRecognizerState::Possible) {
        if (std::fabs(d - startDistance_) > 4) {
            scale = d / startDistance_;
            setState(UIGestureRecognizerState::Began);
        }
    } else if (isRecognizing()) {
        scale = d / startDistance_;
        setState(UIGestureRecognizerState::Changed);
    }
}

void UIPinchGestureRecognizer::touchesEnded(const UITouchSet& touches, UIEvent* e) {
    if (state() == UIGestureRecognizerState::Began || state() == UIGestureRecognizerState::Changed)
        setState(UIGestureRecognizerState::Ended);
    else if (state() == UIGestureRecognizerState::Possible && touches_.size() <= touches.size())
        setState(UIGestureRecognizerState::Failed);
    UIGestureRecognizer::touchesEnded(touches, e);
}

void UIPinchGestureRecognizer::reset() {
    UIGestureRecognizer::reset();
    scale = 1;
    startDistance_ = 0;
}
