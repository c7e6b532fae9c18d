#include "platform/ui/UIKeyCommand.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
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

void collectFields(const std::shared_ptr<UIView>& v, std::vector<std::shared_ptr<UIView>>& out) {
    if (v->isHidden() || v->alpha() <= 0) return;
    if (takesText(*v)) out.push_back(v);
    for (auto& s : v->subviews()) collectFields(s, out);
}

// The window's text fields in reading order: by line from the top, then from the left.
std::vector<std::shared_ptr<UIView>> fieldsOf(const std::shared_ptr<UIWindow>& w) {
    std::vector<std::shared_ptr<UIView>> fields;
    collectFields(w, fields);
    std::stable_sort(fields.begin(), fields.end(), [](auto& a, auto& b) {
        CGRect fa = a->convertRectToView(a->bounds(), nullptr), fb = b->convertRectToView(b->bounds(), nullptr);
        if (std::fabs(fa.minY() - fb.minY()) > 4) return fa.minY() < fb.minY();
        return fa.minX() < fb.minX();
    });
    return fields;
}

bool moveFocus(const std::shared_ptr<UIResponder>& current, bool backwards) {
    auto view = std::dynamic_pointer_cast<UIView>(current);
    auto window = view ? view->window() : nullptr;
    if (!window) {
        auto screens = screenWindows();
        if (screens.empty()) return false;
        window = screens.front();
    }
    auto fields = fieldsOf(window);
    if (fields.empty()) return false;
    auto at = std::find(fields.begin(), fields.end(), view);
    long n = long(fields.size()), i = at == fields.end() ? (backwards ? 0 : -1) : long(at - fields.begin());
    long next = ((i + (backwards ? -1 : 1)) % n + n) % n;
    return fields[size_t(next)]->becomeFirstResponder();
}

bool endEditing(const std::shared_ptr<UIResponder>& r) {
    auto view = std::dynamic_pointer_cast<UIView>(r);
    if (auto w = view ? view->window() : nullptr) return w->endEditing(true);
    return r->resignFirstResponder();
}

}  // namespace

bool press(const std::string& input, unsigned modifiers) {
    auto responder = UIApplication::sharedApplication().textInputResponder();
    auto* editing = dynamic_cast<UIKeyInput*>(responder.get());
    if (input == UIKeyInputTab) return moveFocus(editing ? responder : nullptr, modifiers & UIKeyModifierShift);
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
