#pragma once
// Driving the toolkit as a player would, for tests (and the host's own
// synthetic input): touches in screen points through the application's
// windows, keys and input-method text through the first responder, and
// finding views by their text. Every call runs a display pass first, so
// layout is current.

#include <functional>
#include <memory>
#include <string>

#include "platform/graphics/Geometry.h"
#include "platform/ui/NSAttributedString.h"
#include "platform/ui/UIView.h"

class UIButton;
class UILabel;

namespace uitest {

// Touch phases of one finger (0 unless several fingers are down).
bool touchDown(CGPoint p, int finger = 0);
bool touchMove(CGPoint p, int finger = 0);
bool touchUp(CGPoint p, int finger = 0);
bool touchCancel(int finger = 0);
// Down and up at one point; false when no window took the touch.
bool tap(CGPoint p);
// A tap at the centre of the view's visible frame in the screen.
bool tapView(const UIView& view);
// Down at `from`, `steps` moves to `to`, up. With a test clock installed,
// each step advances it by `seconds / steps` (velocities are then defined).
bool drag(CGPoint from, CGPoint to, int steps = 10, double seconds = 0.2);
// Two fingers about `center`, from `fromDistance` apart to `toDistance` apart, horizontally.
bool pinch(CGPoint center, double fromDistance, double toDistance, int steps = 10);

// Text input to the first responder (false without a text-input responder).
bool insertText(const std::string& text);
bool setMarkedText(const std::string& text, NSRange selectedRange);
bool unmarkText();
bool deleteBackward();
bool pressReturn();
// A hardware key press as the host routes it (UIKeyCommand.h): "\t", "\r",
// UIKeyInputEscape or a character, with UIKeyModifier flags.
bool pressKey(const std::string& input, unsigned modifierFlags = 0);

// The view's frame in screen points.
CGRect screenFrame(const UIView& view);
// Searches the visible windows from the top (visible views only).
std::shared_ptr<UIView> findView(const std::function<bool(UIView&)>& predicate);
std::shared_ptr<UILabel> findLabel(const std::string& text);
std::shared_ptr<UIButton> findButton(const std::string& title);
// Taps the visible button with that title; false when there is none.
bool tapButton(const std::string& title);
// Lays out all windows now (what the main loop would do next).
void layout();

}  // namespace uitest
