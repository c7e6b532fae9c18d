#pragma once
// Gesture recognizers: tap, long press, pan and pinch, with the platform's
// state machine (possible → began → changed → ended, or recognized for
// discrete gestures; failed, cancelled). While a recognizer is recognizing,
// the view's touches are cancelled (cancelsTouchesInView). Long presses
// wait on the replaceable clock.

#include <functional>
#include <memory>
#include <vector>

#include "platform/dispatch/DispatchSync.h"
#include "platform/ui/UIEvent.h"
#include "platform/ui/UIView.h"

enum class UIGestureRecognizerState { Possible, Began, Changed, Ended, Cancelled, Failed, Recognized = Ended };

class UIGestureRecognizer;

class UIGestureRecognizerDelegate {
public:
    virtual ~UIGestureRecognizerDelegate() = default;
    virtual bool gestureRecognizerShouldBegin(UIGestureRecognizer& g) { return true; }
    virtual bool gestureRecognizer_shouldRecognizeSimultaneouslyWithGestureRecognizer(UIGestureRecognizer& g,
                                                                                      UIGestureRecognizer& other) {
        return false;
    }
};

class UIGestureRecognizer : public NSObject, public std::enable_shared_from_this<UIGestureRecognizer> {
public:
    using Action = std::function<void(UIGestureRecognizer&)>;
    UIGestureRecognizer() = default;
    explicit UIGestureRecognizer(Action action) { addTarget(std::move(action)); }
    ~UIGestureRecognizer() override;

    // Target-action; hold the target weakly inside the closure.
    void addTarget(Action action) { actions_.push_back(std::move(action)); }
    template <class T>
    void addTarget(const std::shared_ptr<T>& target, void (T::*method)()) {
        std::weak_ptr<T> weak = target;
        addTarget([weak, method](UIGestureRecognizer&) {
            if (auto t = weak.lock()) ((*t).*method)();
        });
    }
    template <class T, class G>
    void addTarget(const std::shared_ptr<T>& target, void (T::*method)(G*)) {
        std::weak_ptr<T> weak = target;
        addTarget([weak, method](UIGestureRecognizer& g) {
            if (auto t = weak.lock()) ((*t).*method)(dynamic_cast<G*>(&g));
        });
    }

    UIGestureRecognizerState state() const { return state_; }
    std::shared_ptr<UIView> view() const { return view_.lock(); }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool e);
    bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
    void setCancelsTouchesInView(bool c) { cancelsTouchesInView_ = c; }
    std::weak_ptr<UIGestureRecognizerDelegate> delegate;

    // Centroid of the touches in a view's space.
    CGPoint locationInView(const UIView* view) const;
    size_t numberOfTouches() const { return touches_.size(); }

    // Called by the window.
    void setView(const std::shared_ptr<UIView>& v) { view_ = v; }
    virtual void touchesBegan(const UITouchSet& touches, UIEvent* event);
    virtual void touchesMoved(const UITouchSet& touches, UIEvent* event);
    virtual void touchesEnded(const UITouchSet& touches, UIEvent* event);
    virtual void touchesCancelled(const UITouchSet& touches, UIEvent* event);
    virtual void reset();
    // True once the recognizer claimed its touches (began or recognized).
    bool isRecognizing() const {
        return state_ == UIGestureRecognizerState::Began || state_ == UIGestureRecognizerState::Changed ||
               state_ == UIGestureRecognizerState::Ended;
    }

protected:
    // Moves the state and sends the actions for the states that carry them.
    void setState(UIGestureRecognizerState s);
    std::vector<std::shared_ptr<UITouch>> touches_;

private:
    std::weak_ptr<UIView> view_;
    std::vector<Action> actions_;
    UIGestureRecognizerState state_ = UIGestureRecognizerState::Possible;
    bool enabled_ = true;
    bool cancelsTouchesInView_ = true;
};

class UITapGestureRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;
    int numberOfTapsRequired = 1;
    int numberOfTouchesRequired = 1;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void reset() override;

private:
    CGPoint start_;
    int taps_ = 0;
};

class UILongPressGestureRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;
    double minimumPressDuration = 0.5;
    double allowableMovement = 10;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;
    void reset() override;

private:
    CGPoint start_;
    std::shared_ptr<DispatchTimer> timer_;
};

class UIPanGestureRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;
    int minimumNumberOfTouches = 1;
    int maximumNumberOfTouches = 1000;
    CGPoint translationInView(const UIView* view) const;
    void setTranslation(CGPoint t, const UIView* view);
    // Points per second in the view's space, from the last movement.
    CGPoint velocityInView(const UIView* view) const;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void reset() override;

protected:
    virtual bool shouldStartWithTranslation(CGPoint windowTranslation) const;

private:
    CGPoint start_;       // window space
    CGPoint offset_{};    // from setTranslation, window space
    CGPoint velocity_{};  // window space
    Clock::Monotonic lastTime_{};
    CGPoint lastPoint_{};
};

class UIPinchGestureRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;
    double scale = 1;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void reset() override;

private:
    double startDistance_ = 0;
    double distance() const;
};
