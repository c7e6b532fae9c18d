#pragma once
// Controls: state (enabled, selected, highlighted), touch tracking and
// target-action. Actions hold their targets weakly (the templates take the
// target's shared_ptr and keep a weak_ptr).

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/UIView.h"

enum UIControlState : unsigned {
    UIControlStateNormal = 0,
    UIControlStateHighlighted = 1 << 0,
    UIControlStateDisabled = 1 << 1,
    UIControlStateSelected = 1 << 2,
};

enum UIControlEvents : unsigned {
    UIControlEventTouchDown = 1 << 0,
    UIControlEventTouchDownRepeat = 1 << 1,
    UIControlEventTouchDragInside = 1 << 2,
    UIControlEventTouchDragOutside = 1 << 3,
    UIControlEventTouchDragEnter = 1 << 4,
    UIControlEventTouchDragExit = 1 << 5,
    UIControlEventTouchUpInside = 1 << 6,
    UIControlEventTouchUpOutside = 1 << 7,
    UIControlEventTouchCancel = 1 << 8,
    UIControlEventValueChanged = 1 << 12,
    UIControlEventEditingDidBegin = 1 << 16,
    UIControlEventEditingChanged = 1 << 17,
    UIControlEventEditingDidEnd = 1 << 18,
    UIControlEventEditingDidEndOnExit = 1 << 19,
    UIControlEventAllTouchEvents = 0x00000FFF,
    UIControlEventAllEvents = 0xFFFFFFFF,
};

enum class UIControlContentHorizontalAlignment { Center, Left, Right, Fill };
enum class UIControlContentVerticalAlignment { Center, Top, Bottom, Fill };

class UIControl : public UIView {
public:
    using UIView::UIView;
    using Action = std::function<void(UIControl& sender)>;

    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool e);
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool s);
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool h);
    unsigned state() const;
    bool isTracking() const { return tracking_; }
    bool isTouchInside() const { return touchInside_; }
    UIControlContentHorizontalAlignment contentHorizontalAlignment = UIControlContentHorizontalAlignment::Center;
    UIControlContentVerticalAlignment contentVerticalAlignment = UIControlContentVerticalAlignment::Center;

    // Returns a token for removeAction.
    size_t addAction(unsigned events, Action action);
    template <class T>
    size_t addTarget(const std::shared_ptr<T>& target, void (T::*method)(), unsigned events) {
        std::weak_ptr<T> weak = target;
        return addAction(events, [weak, method](UIControl&) {
            if (auto t = weak.lock()) ((*t).*method)();
        });
    }
    template <class T, class S>
    size_t addTarget(const std::shared_ptr<T>& target, void (T::*method)(S*), unsigned events) {
        std::weak_ptr<T> weak = target;
        return addAction(events, [weak, method](UIControl& sender) {
            if (auto t = weak.lock()) ((*t).*method)(dynamic_cast<S*>(&sender));
        });
    }
    void removeAction(size_t token);
    void removeAllActions(unsigned events = UIControlEventAllEvents);
    size_t actionCount(unsigned events = UIControlEventAllEvents) const;
    virtual void sendActionsForControlEvents(unsigned events);

    // Keyboard focus: an enabled control is a Tab stop, and Space or Return
    // on it does what a tap does.
    bool canBecomeFocused() const override { return isEnabled(); }
    virtual void performPrimaryAction() { sendActionsForControlEvents(UIControlEventTouchUpInside); }

    // Touch tracking (overridable like the platform's).
    virtual bool beginTrackingWithTouch(UITouch& touch, UIEvent* event) { return true; }
    virtual bool continueTrackingWithTouch(UITouch& touch, UIEvent* event) { return true; }
    virtual void endTrackingWithTouch(UITouch& touch, UIEvent* event) {}
    virtual void cancelTrackingWithEvent(UIEvent* event) {}

    void touchesBegan(const UITouchSet& touches, UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, UIEvent* event) override;

protected:
    virtual void stateDidChange() { setNeedsDisplay(); setNeedsLayout(); }

private:
    struct Entry {
        size_t token;
        unsigned events;
        Action action;
    };
    std::vector<Entry> actions_;
    size_t nextToken_ = 1;
    bool enabled_ = true, selected_ = false, highlighted_ = false;
    bool tracking_ = false, touchInside_ = false;
};
