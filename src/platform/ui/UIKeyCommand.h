#pragma once
// Hardware keys. A responder lists the key presses it answers
// (`UIResponder::keyCommands`); a press goes to the first responder's chain
// and, when nothing edits text, to the chain of the highest screen on
// display. Before that, the toolkit itself handles the editing keys:
//   Tab / Shift+Tab   the next / previous Tab stop of the focus scope (in
//                     reading order); from nowhere, Tab goes to the first
//                     text input and Shift+Tab to the last stop
//   Escape            ends editing, when a field is being edited
//   Ctrl+A            selects all of the field being edited
//   Ctrl+C / Ctrl+X   the edited view's copy() / cut()
//   Return            the field's return key ("\n" to it), unless the
//                     field disables it while empty
//   Space / Return    with a control focused (no text edited): what a tap
//                     on it does (UIControl::performPrimaryAction)
// An old-style alert on display is cancelled by an Escape nobody answers.
//
// Focus stays on the screen on top. The focus scope is the highest screen
// window that has a Tab stop, and in it the controller presented last. A
// Tab stop is a text input that can become first responder, or a view that
// canBecomeFocused() (an enabled control), that is reachable: not hidden,
// not under a hidden or transparent ancestor, and not covered, so that a
// click somewhere on it would reach it (a panel on a cover, a presented
// screen or a window above covers what lies under it; the software
// keyboard covers nothing). Typing goes only to a reachable text input: one
// that a panel came to cover stops being edited.

#include <functional>
#include <memory>
#include <string>
#include <vector>

enum UIKeyModifierFlags : unsigned {
    UIKeyModifierShift = 1 << 17,
    UIKeyModifierControl = 1 << 18,
    UIKeyModifierAlternate = 1 << 19,
};

inline const char* const UIKeyInputEscape = "UIKeyInputEscape";
inline const char* const UIKeyInputReturn = "\r";
inline const char* const UIKeyInputTab = "\t";

struct UIKeyCommand {
    std::string input;        // a character, or one of the UIKeyInput names above
    unsigned modifierFlags = 0;
    std::function<void()> action;
};

class UIResponder;
class UIView;

namespace UIKeyRouting {

// Offers one key press to the toolkit; true when something took it.
bool press(const std::string& input, unsigned modifierFlags = 0);

// The responder typed text goes to: the application's text input
// responder while it is reachable; one that is not stops editing here.
std::shared_ptr<UIResponder> typingResponder();
// The focus scope's Tab stops, in the order Tab visits them.
std::vector<std::shared_ptr<UIView>> tabStops();
// The control with keyboard focus in a screen window, while it is
// reachable (it holds the keys it does not use).
std::shared_ptr<UIView> focusedControl();
// A click somewhere on `view` would reach it (above).
bool isReachable(const UIView& view);

}  // namespace UIKeyRouting
