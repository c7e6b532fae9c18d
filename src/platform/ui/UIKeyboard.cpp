#include "platform/ui/UIKeyboard.h"

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/ui/KeyboardPanel.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UITextInput.h"
#include "platform/ui/UIWindow.h"

Value NSValueWithCGRect(const CGRect& r) {
    return Value::dict({{"x", r.origin.x}, {"y", r.origin.y}, {"width", r.size.width}, {"height", r.size.height}});
}

CGRect CGRectFromNSValue(const Value& v) {
    return CGRect(v["x"].doubleValue(), v["y"].doubleValue(), v["width"].doubleValue(), v["height"].doubleValue());
}

namespace UIKeyboard {
namespace {

struct State {
    std::shared_ptr<UIWindow> window;
    std::weak_ptr<UIResponder> owner;
    std::shared_ptr<UIView> shown;  // the view in the keyboard window
    std::shared_ptr<KeyboardPanel> panel;
    CGRect frame;
    bool visible = false;
};
State& state() {
    static auto* s = new State();
    return *s;
}

bool wantsKeyboard(const std::shared_ptr<UIResponder>& r) {
    if (!r) return false;
    return dynamic_cast<UIKeyInput*>(r.get()) != nullptr || r->inputView() != nullptr;
}

void post(const char* name, const CGRect& begin, const CGRect& end) {
    NSNotificationCenter::defaultCenter().postNotificationName(
        name, nullptr,
        Value::dict({{UIKeyboardFrameBeginUserInfoKey, NSValueWithCGRect(begin)},
                     {UIKeyboardFrameEndUserInfoKey, NSValueWithCGRect(end)},
                     {UIKeyboardAnimationDurationUserInfoKey, 0.25}}));
}

}  // namespace

double standardHeight() { return 216 + UIScreen::mainScreen().safeAreaInsets().bottom; }

void firstResponderChanged(const std::shared_ptr<UIResponder>& responder) {
    auto& s = state();
    CGRect screen = UIScreen::mainScreen().bounds();
    if (!wantsKeyboard(responder)) {
        // Another window's responder may still hold the keyboard.
        auto owner = s.owner.lock();
        if (!s.visible || (owner && owner != responder && owner->isFirstResponder())) return;
        CGRect begin = s.frame;
        CGRect end(0, screen.height(), screen.width(), begin.height());
        post(UIKeyboardWillHideNotification, begin, end);
        s.visible = false;
        s.owner.reset();
        if (s.window) s.window->setHidden(true);
        if (s.shown) s.shown->removeFromSuperview();
        s.shown.reset();
        s.frame = CGRect();
        post(UIKeyboardDidHideNotification, begin, end);
        return;
    }
    std::shared_ptr<UIView> content = responder->inputView();
    if (!content) {
        if (!s.panel) s.panel = std::make_shared<KeyboardPanel>(CGRect(0, 0, screen.width(), standardHeight()));
        if (s.owner.lock() != responder || !s.visible) s.panel->prepareFor(responder);
        content = s.panel;
    }
    double h = content->bounds().height() > 0 ? content->bounds().height() : standardHeight();
    CGRect end(0, screen.height() - h, screen.width(), h);
    CGRect begin = s.visible ? s.frame : CGRect(0, screen.height(), screen.width(), h);
    bool changed = !s.visible || s.shown != content || s.frame != end;
    s.owner = responder;
    if (!changed) return;
    post(UIKeyboardWillShowNotification, begin, end);
    if (!s.window) {
        s.window = std::make_shared<UIWindow>(screen);
        s.window->setWindowLevel(UIWindowLevelKeyboard);
        s.window->setBackgroundColor(UIColor::clearColor());
        s.window->setOpaque(false);
    }
    if (s.shown && s.shown != content) s.shown->removeFromSuperview();
    s.shown = content;
    s.window->setFrame(end);
    content->setFrame(CGRect(0, 0, end.width(), h));
    s.window->addSubview(content);
    s.window->setHidden(false);
    s.visible = true;
    s.frame = end;
    post(UIKeyboardDidShowNotification, begin, end);
}

bool isVisible() { return state().visible; }
CGRect frame() { return state().frame; }
std::shared_ptr<UIWindow> window() { return state().window; }

}  // namespace UIKeyboard
