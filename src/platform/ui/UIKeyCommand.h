#pragma once
// Hardware keys. A responder lists the key presses it answers
// (`UIResponder::keyCommands`); a press goes to the first responder's chain
// and, when nothing edits text, to the chain of the highest screen on
// display. Before that, the toolkit itself handles the editing keys:
//   Tab / Shift+Tab   the next / previous text field of the window (in
//                     reading order), also when none is being edited
//   Escape            ends editing, when a field is being edited
//   Ctrl+A            selects all of the field being edited
//   Ctrl+C / Ctrl+X   the edited view's copy() / cut()
//   Return            the field's return key ("\n" to it), unless the
//                     field disables it while empty
// An old-style alert on display is cancelled by an Escape nobody answers.

#include <functional>
#include <string>

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

namespace UIKeyRouting {

// Offers one key press to the toolkit; true when something took it.
bool press(const std::string& input, unsigned modifierFlags = 0);

}  // namespace UIKeyRouting
