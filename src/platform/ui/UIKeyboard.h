#pragma once
// The emulated software keyboard. When a text input (or a responder with an
// input view) becomes first responder, the keyboard "shows": it posts
// UIKeyboardWillShowNotification and UIKeyboardDidShowNotification with its
// end frame and a duration of 0.25 s, and puts the responder's input view
// (or the on-screen keyboard, KeyboardPanel.h) in a window at the bottom of
// the screen, where it can be tapped. Resigning hides it with the
// will/did-hide pair. Keys also come from the GTK host's input method and
// from test injection.

#include <memory>

#include "platform/foundation/Value.h"
#include "platform/graphics/Geometry.h"

class UIResponder;
class UIWindow;

inline const char* const UIKeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline const char* const UIKeyboardDidShowNotification = "UIKeyboardDidShowNotification";
inline const char* const UIKeyboardWillHideNotification = "UIKeyboardWillHideNotification";
inline const char* const UIKeyboardDidHideNotification = "UIKeyboardDidHideNotification";
// User-info keys: the frames are dictionaries {"x", "y", "width", "height"}, the duration seconds.
inline const char* const UIKeyboardFrameBeginUserInfoKey = "UIKeyboardFrameBeginUserInfoKey";
inline const char* const UIKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline const char* const UIKeyboardAnimationDurationUserInfoKey = "UIKeyboardAnimationDurationUserInfoKey";

Value NSValueWithCGRect(const CGRect& r);
CGRect CGRectFromNSValue(const Value& v);

namespace UIKeyboard {

// Called by windows when their first responder changes.
void firstResponderChanged(const std::shared_ptr<UIResponder>& responder);
bool isVisible();
CGRect frame();  // screen coordinates; zero when hidden
std::shared_ptr<UIWindow> window();
// Height of the plain keyboard panel for the current screen profile.
double standardHeight();

}  // namespace UIKeyboard
