#include "platform/ui/UIControl.h"

#include "platform/ui/UIEvent.h"

unsigned UIControl::state() const {
    unsigned s = UIControlStateNormal;
    if (highlighted_) s |= UIControlStateHighlighted;
    if (!enabled_) s |= UIControlStateDisabled;
    if (selected_) s |= UIControlStateSelected;
    return s;
}

void UIControl::setEnabled(bool e) {
    if (enabled_ == e) return;
    enabled_ = e;
    if (!e) highlighted_ = false;
    stateDidChange();
}

void UIControl::setSelected(bool s) {
    if (selected_ == s) return;
    selected_ = s;
    stateDidChange();
}

void UIControl::setHighlighted(bool h) {
    if (highlighted_ == h) return;
    highlighted_ = h;
    stateDidChange();
}

size_t UIControl::addAction(unsigned events, Action action) {
    size_t t = nextToken_++;
    actions_.push_back({t, events, std::move(action)});
    return t;
}

void UIControl::removeAction(size_t token) {
    std::erase_if(actions_, [&](const Entry& e) { return e.token == token; });
}

void UIControl::removeAllActions(unsigned events) {
    for (auto& e : actions_) e.events &= ~events;
    std::erase_if(actions_, [](const Entry& e) { return e.events == 0; });
}

size_t UIControl::actionCount(unsigned events) const {
    size_t n = 0;
    for (auto& e : actions_)
        if (e.events & events) ++n;
    return n;
}

void UIControl::sendActionsForControlEvents(unsigned events) {
    auto self = sharedView();  // an action may remove the control from its tree
    auto entries = actions_;
    for (auto& e : entries)
        if (e.events & events) e.action(*this);
}

void UIControl::touchesBegan(const UITouchSet& touches, UIEvent* event) {
    if (!enabled_) return;
    auto& t = *touches.front();
    tracking_ = beginTrackingWithTouch(t, event);
    touchInside_ = true;
    setHighlighted(true);
    sendActionsForControlEvents(UIControlEventTouchDown);
}

void UIControl::touchesMoved(const UITouchSet& touches, UIEvent* event) {
    if (!enabled_) return;
    auto& t = *touches.front();
    bool inside = pointInside(t.locationInView(this), event);
    bool was = touchInside_;
    touchInside_ = inside;
    setHighlighted(inside);
    if (tracking_) tracking_ = continueTrackingWithTouch(t, event);
    if (inside != was) sendActionsForControlEvents(inside ? UIControlEventTouchDragEnter : UIControlEventTouchDragExit);
    sendActionsForControlEvents(inside ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside);
}

void UIControl::touchesEnded(const UITouchSet& touches, UIEvent* event) {
    if (!enabled_) return;
    auto& t = *touches.front();
    bool inside = pointInside(t.locationInView(this), event);
    touchInside_ = inside;
    tracking_ = false;
    endTrackingWithTouch(t, event);
    setHighlighted(false);
    sendActionsForControlEvents(inside ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside);
}

void UIControl::touchesCancelled(const UITouchSet& touches, UIEvent* event) {
    if (!enabled_) return;
    tracking_ = false;
    cancelTrackingWithEvent(event);
    setHighlighted(false);
    sendActionsForControlEvents(UIControlEventTouchCancel);
}
