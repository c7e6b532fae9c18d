#include "platform/ui/UIKeyCommand.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIControl.h"
#include "platform/ui/UITextInput.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

namespace UIKeyRouting {
namespace {

bool matches(const UIKeyCommand& c, const std::string& input, unsigned modifiers) {
    constexpr unsigned relevant = UIKeyModifierShift | UIKeyModifierControl | UIKeyModifierAlternate;
    return c.input == input && (c.modifierFlags & relevant) == (modifiers & relevant) && c.action;
}

// The first command along the chain from `r` that matches, run.
bool runCommand(std::shared_ptr<UIResponder> r, const std::string& input, unsigned modifiers) {
    for (; r; r = r->nextResponder())
        for (auto& c : r->keyCommands())
            if (matches(c, input, modifiers)) {
                c.action();
                return true;
            }
    return false;
}

// Visible windows that hold screens, highest first (the keyboard's own window is no screen).
std::vector<std::shared_ptr<UIWindow>> screenWindows() {
    std::vector<std::shared_ptr<UIWindow>> out;
    auto ws = UIApplication::sharedApplication().windows();
    for (auto it = ws.rbegin(); it != ws.rend(); ++it)
        if (!(*it)->isHidden() && (*it)->windowLevel() < UIWindowLevelKeyboard && (*it)->rootViewController())
            out.push_back(*it);
    return out;
}

std::shared_ptr<UIViewController> topController(const UIWindow& w) {
    auto vc = w.rootViewController();
    while (vc && vc->presentedViewController()) vc = vc->presentedViewController();
    return vc;
}

bool takesText(UIView& v) {
    return dynamic_cast<UIKeyInput*>(&v) && v.canBecomeFirstResponder() && !v.isHidden() && v.alpha() > 0;
}

bool stopsTab(UIView& v) { return takesText(v) || v.canBecomeFocused(); }

// What a click at `p` (screen points) would reach: the highest window that
// takes it, as touches go. The software keyboard belongs to the editing and
// covers nothing.
std::shared_ptr<UIView> viewAt(CGPoint p) {
    auto ws = UIApplication::sharedApplication().windows();
    for (auto it = ws.rbegin(); it != ws.rend(); ++it) {
        if ((*it)->windowLevel() >= UIWindowLevelKeyboard || !(*it)->isUserInteractionEnabled()) continue;
        if (auto hit = (*it)->hitTestWindow(p)) return hit;
    }
    return nullptr;
}

// The part of `v` that every ancestor's bounds leave, in window points.
CGRect visibleRect(const UIView& v) {
    CGRect r = v.convertRectToView(v.bounds(), nullptr);
    for (auto a = v.superview(); a; a = a->superview()) {
        CGRect ar = a->convertRectToView(a->bounds(), nullptr);
        r = r.intersection(ar);
        if (r.isEmpty()) break;
    }
    return r;
}

void collectStops(const std::shared_ptr<UIView>& v, std::vector<std::shared_ptr<UIView>>& out) {
    if (v->isHidden() || v->alpha() <= 0) return;
    if (stopsTab(*v) && isReachable(*v)) out.push_back(v);
    for (auto& s : v->subviews()) collectStops(s, out);
}

// Reading order: by line from the top (tops within 4 points share a line), then from the left.
void sortInReadingOrder(std::vector<std::shared_ptr<UIView>>& views) {
    struct Placed {
        std::shared_ptr<UIView> view;
        CGRect frame;
        int line = 0;
    };
    std::vector<Placed> placed;
    for (auto& v : views) placed.push_back({v, v->convertRectToView(v->bounds(), nullptr)});
    std::stable_sort(placed.begin(), placed.end(), [](auto& a, auto& b) { return a.frame.minY() < b.frame.minY(); });
    int line = -1;
    double lineTop = 0;
    for (auto& p : placed) {
        if (line < 0 || p.frame.minY() - lineTop > 4) {
            ++line;
            lineTop = p.frame.minY();
        }
        p.line = line;
    }
    std::stable_sort(placed.begin(), placed.end(), [](auto& a, auto& b) {
        return a.line != b.line ? a.line < b.line : a.frame.minX() < b.frame.minX();
    });
    for (size_t i = 0; i < placed.size(); ++i) views[i] = placed[i].view;
}

// A window's Tab stops: those of its last presented controller's view.
std::vector<std::shared_ptr<UIView>> stopsOf(const std::shared_ptr<UIWindow>& w) {
    std::shared_ptr<UIView> root = w;
    if (auto top = topController(*w); top && top->isViewLoaded() && top->view()->window() == w) root = top->view();
    std::vector<std::shared_ptr<UIView>> stops;
    collectStops(root, stops);
    sortInReadingOrder(stops);
    return stops;
}

struct Scope {
    std::shared_ptr<UIWindow> window;
    std::vector<std::shared_ptr<UIView>> stops;
};

Scope focusScope() {
    for (auto& w : screenWindows())
        if (auto stops = stopsOf(w); !stops.empty()) return {w, std::move(stops)};
    return {};
}

// Where Tab stands: the text being edited, else a window's focused control.
std::shared_ptr<UIView> currentStop() {
    if (auto r = std::dynamic_pointer_cast<UIView>(UIApplication::sharedApplication().textInputResponder())) return r;
    for (auto& w : screenWindows())
        if (auto f = w->focusedView()) return f;
    return nullptr;
}

bool endEditing(const std::shared_ptr<UIResponder>& r) {
    auto view = std::dynamic_pointer_cast<UIView>(r);
    if (auto w = view ? view->window() : nullptr) return w->endEditing(true);
    return r->resignFirstResponder();
}

bool focus(UIWindow& window, const std::shared_ptr<UIView>& stop) {
    if (takesText(*stop)) return stop->becomeFirstResponder();
    if (auto r = UIApplication::sharedApplication().textInputResponder()) endEditing(r);
    for (auto& w : screenWindows())
        if (w.get() != &window) w->setFocusedView(nullptr);
    window.setFocusedView(stop);
    return true;
}

bool moveFocus(bool backwards) {
    auto [window, stops] = focusScope();
    if (stops.empty()) return false;
    long n = long(stops.size());
    auto at = std::find(stops.begin(), stops.end(), currentStop());
    long next;
    if (at != stops.end()) {
        next = ((long(at - stops.begin()) + (backwards ? -1 : 1)) % n + n) % n;
    } else if (backwards) {
        next = n - 1;
    } else {
        auto text = std::find_if(stops.begin(), stops.end(), [](auto& v) { return takesText(*v); });
        next = text == stops.end() ? 0 : long(text - stops.begin());
    }
    return focus(*window, stops[size_t(next)]);
}

bool activateFocusedControl() {
    auto control = std::dynamic_pointer_cast<UIControl>(focusedControl());
    if (!control) return false;
    control->performPrimaryAction();
    return true;
}

}  // namespace

bool isReachable(const UIView& view) {
    auto w = view.window();
    if (!w || w->isHidden()) return false;
    w->layoutIfNeeded();
    CGRect r = visibleRect(view);
    if (r.size.width < 1 || r.size.height < 1) return false;
    // The middle first, then eight points near the edges: a toast over the
    // middle leaves a field reachable, a cover over all of it does not.
    for (double fy : {0.5, 0.1, 0.9})
        for (double fx : {0.5, 0.1, 0.9}) {
            CGPoint p = w->pointToSuperview({r.minX() + r.size.width * fx, r.minY() + r.size.height * fy});
            auto hit = viewAt(p);
            if (hit && (hit.get() == &view || hit->isDescendantOfView(&view))) return true;
        }
    return false;
}

std::shared_ptr<UIResponder> typingResponder() {
    auto r = UIApplication::sharedApplication().textInputResponder();
    auto view = std::dynamic_pointer_cast<UIView>(r);
    if (!view || isReachable(*view)) return r;
    endEditing(r);
    return nullptr;
}

std::vector<std::shared_ptr<UIView>> tabStops() { return focusScope().stops; }

std::shared_ptr<UIView> focusedControl() {
    for (auto& w : screenWindows())
        if (auto f = w->focusedView(); f && f->window() == w && f->canBecomeFocused() && isReachable(*f)) return f;
    return nullptr;
}

bool press(const std::string& input, unsigned modifiers) {
    auto responder = typingResponder();
    auto* editing = dynamic_cast<UIKeyInput*>(responder.get());
    if (input == UIKeyInputTab) return moveFocus(modifiers & UIKeyModifierShift);
    if (editing) {
        if (input == UIKeyInputEscape) return endEditing(responder);
        if (modifiers & UIKeyModifierControl) {
            char key = input.size() == 1 ? char(std::tolower(static_cast<unsigned char>(input[0]))) : 0;
            if (key == 'a') editing->selectAll();
            else if (key == 'c') editing->copy();
            else if (key == 'x') editing->cut();
            if (key == 'a' || key == 'c' || key == 'x') return true;
        }
        if (input == UIKeyInputReturn) {
            if (editing->returnKeyEnabled()) editing->insertText("\n");
            return true;
        }
    }
    bool plain = !(modifiers & (UIKeyModifierControl | UIKeyModifierAlternate));
    if (!editing && plain && (input == " " || input == UIKeyInputReturn) && activateFocusedControl()) return true;
    if (responder && runCommand(responder, input, modifiers)) return true;
    auto alerts = UIAlertView::visibleAlertViews();
    if (input == UIKeyInputEscape && !alerts.empty()) {
        alerts.back()->cancel();
        return true;
    }
    for (auto& w : screenWindows())
        if (runCommand(topController(*w), input, modifiers)) return true;
    return false;
}

}  // namespace UIKeyRouting
