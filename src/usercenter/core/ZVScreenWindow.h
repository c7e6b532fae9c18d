#pragma once
// The SDK's screens (login, payment) each run in a window of their own over
// the game, at a level above the floating button.

#include <memory>

#include "platform/ui/UIViewController.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UITextField.h"
#include "platform/ui/UIWindow.h"

class UIButton;

inline constexpr double kZVScreenWindowLevel = UIWindowLevelStatusBar + 2;

// A screen-sized key window showing `root`.
std::shared_ptr<UIWindow> ZVOpenScreenWindow(const std::shared_ptr<UIViewController>& root);
// Hides the window and lets its controller go.
void ZVCloseScreenWindow(const std::shared_ptr<UIWindow>& window);

// Panels sit on a dimming cover their host made for them: takes `cover` off
// screen, unless it is a window or a controller's own view, or something
// else still sits on it.
void ZVRemoveCover(const std::shared_ptr<UIView>& cover);

// Shared looks of the SDK's panels.
namespace ZVStyle {
UIColor blue();       // "#4988FD"
UIColor textGray();   // "#666666"
UIColor lineGray();   // "#E5E5E5"
// A full-width rounded action button (darker while held).
std::shared_ptr<UIButton> actionButton(const std::string& title);
// Its colours: blue, or grey while what it would act on is still loading.
void paintActionButton(UIButton& button, bool waiting);
// The "✕" that closes a panel, for its top right corner.
std::shared_ptr<UIButton> closeButton();
// A text field of the panels' look: grey, rounded, its text `inset` from the left.
std::shared_ptr<UITextField> field(const std::string& placeholder, const CGRect& frame, double inset);
}  // namespace ZVStyle
