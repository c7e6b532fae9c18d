#include "platform/ui/UIEventInjection.h"

#include "platform/ui/UIKeyCommand.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/ui/DisplayLoop.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UITextInput.h"

namespace uitest {

void layout() { DisplayLoop::runPass(); }

namespace {
bool send(int finger, UITouchPhase phase, CGPoint p) {
    layout();
    return UIApplication::sharedApplication().dispatchTouch(finger, phase, p);
}
void advance(double seconds) {
    if (seconds <= 0) return;
    if (auto* tc = dynamic_cast<TestClock*>(&Clock::current())) tc->advance(std::chrono::nanoseconds(int64_t(seconds * 1e9)));
}
// As the host types: only into a text input a click could reach.
UIKeyInput* keyInput() {
    auto r = UIKeyRouting::typingResponder();
    return dynamic_cast<UIKeyInput*>(r.get());
}
bool visibleInTree(const UIView& v) {
    for (const UIView* x = &v; x; x = x->superview().get())
        if (x->isHidden() || x->alpha() <= 0.01) return false;
    return true;
}
}  // namespace

bool touchDown(CGPoint p, int finger) { return send(finger, UITouchPhase::Began, p); }
bool touchMove(CGPoint p, int finger) { return send(finger, UITouchPhase::Moved, p); }
bool touchUp(CGPoint p, int finger) { return send(finger, UITouchPhase::Ended, p); }
bool touchCancel(int finger) { return send(finger, UITouchPhase::Cancelled, {}); }

bool tap(CGPoint p) {
    if (!touchDown(p)) return false;
    return touchUp(p);
}

CGRect screenFrame(const UIView& view) { return view.convertRectToView(view.bounds(), nullptr); }

bool tapView(const UIView& view) {
    CGRect f = screenFrame(view);
    return tap({f.midX(), f.midY()});
}

bool drag(CGPoint from, CGPoint to, int steps, double seconds) {
    if (steps < 1) steps = 1;
    if (!touchDown(from)) return false;
    for (int i = 1; i <= steps; ++i) {
        advance(seconds / steps);
        double t = double(i) / steps;
        touchMove({from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t});
    }
    return touchUp(to);
}

bool pinch(CGPoint c, double d0, double d1, int steps) {
    if (steps < 1) steps = 1;
    if (!touchDown({c.x - d0 / 2, c.y}, 0)) return false;
    touchDown({c.x + d0 / 2, c.y}, 1);
    for (int i = 1; i <= steps; ++i) {
        double d = d0 + (d1 - d0) * double(i) / steps;
        touchMove({c.x - d / 2, c.y}, 0);
        touchMove({c.x + d / 2, c.y}, 1);
    }
    touchUp({c.x + d1 / 2, c.y}, 1);
    return touchUp({c.x - d1 / 2, c.y}, 0);
}

bool insertText(const std::string& text) {
    layout();
    auto* k = keyInput();
    if (!k) return false;
    k->insertText(text);
    return true;
}

bool setMarkedText(const std::string& text, NSRange sel) {
    auto* k = keyInput();
    if (!k) return false;
    k->setMarkedText(text, sel);
    return true;
}

bool unmarkText() {
    auto* k = keyInput();
    if (!k) return false;
    k->unmarkText();
    return true;
}

bool deleteBackward() {
    auto* k = keyInput();
    if (!k) return false;
    k->deleteBackward();
    return true;
}

bool pressReturn() { return insertText("\n"); }

bool pressKey(const std::string& input, unsigned modifierFlags) {
    bool taken = UIKeyRouting::press(input, modifierFlags);
    layout();
    return taken;
}

std::shared_ptr<UIView> findView(const std::function<bool(UIView&)>& predicate) {
    layout();
    std::function<std::shared_ptr<UIView>(const std::shared_ptr<UIView>&)> walk =
        [&](const std::shared_ptr<UIView>& v) -> std::shared_ptr<UIView> {
        if (v->isHidden()) return nullptr;
        auto subs = v->subviews();
        for (auto it = subs.rbegin(); it != subs.rend(); ++it)
            if (auto f = walk(*it)) return f;
        return predicate(*v) ? v : nullptr;
    };
    auto ws = UIApplication::sharedApplication().windows();
    for (auto it = ws.rbegin(); it != ws.rend(); ++it)
        if (auto f = walk(*it)) return f;
    return nullptr;
}

std::shared_ptr<UILabel> findLabel(const std::string& text) {
    return std::static_pointer_cast<UILabel>(findView([&](UIView& v) {
        auto* l = dynamic_cast<UILabel*>(&v);
        return l && l->text() == text && visibleInTree(v);
    }));
}

std::shared_ptr<UIButton> findButton(const std::string& title) {
    return std::static_pointer_cast<UIButton>(findView([&](UIView& v) {
        auto* b = dynamic_cast<UIButton*>(&v);
        return b && b->currentTitle() == title && visibleInTree(v);
    }));
}

bool tapButton(const std::string& title) {
    auto b = findButton(title);
    return b && tapView(*b);
}

}  // namespace uitest
