#pragma once
// Touches and events. A touch keeps the view it began in and its path in
// window coordinates; the window delivers it to gesture recognizers on that
// view and its ancestors, then to the view's touch methods.

#include <memory>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/graphics/Geometry.h"

class UIView;
class UIWindow;
class UIGestureRecognizer;

enum class UITouchPhase { Began, Moved, Stationary, Ended, Cancelled };

class UITouch {
public:
    UITouchPhase phase() const { return phase_; }
    int tapCount() const { return tapCount_; }
    std::shared_ptr<UIView> view() const { return view_.lock(); }
    std::shared_ptr<UIWindow> window() const { return window_.lock(); }
    // Location in a view's bounds space (a null view: the window).
    CGPoint locationInView(const UIView* view) const;
    CGPoint previousLocationInView(const UIView* view) const;
    Clock::Monotonic timestamp() const { return timestamp_; }

    // Set by the window as the touch moves.
    UITouchPhase phase_ = UITouchPhase::Began;
    int tapCount_ = 1;
    std::weak_ptr<UIView> view_;
    std::weak_ptr<UIWindow> window_;
    CGPoint location_, previous_;  // window space
    Clock::Monotonic timestamp_{};
    int id_ = 0;
    // Recognizers that see this touch (found when it began).
    std::vector<std::weak_ptr<UIGestureRecognizer>> recognizers_;
    bool deliveredToView_ = true;
};

class UIEvent {
public:
    enum class Type { Touches, Presses };
    Type type() const { return Type::Touches; }
    const std::vector<std::shared_ptr<UITouch>>& allTouches() const { return touches_; }

    std::vector<std::shared_ptr<UITouch>> touches_;
};
