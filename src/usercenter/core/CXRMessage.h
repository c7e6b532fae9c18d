#pragma once
// The user-centre SDK's toast: a black rounded box with white bold text at
// two thirds of a view's height, shown fully for 0.3 s and then fading out
// over 2 s, after which it removes itself. Touches reach the views under
// it all the while. Text wider than the view less 40 points wraps (never at
// a negative width, however narrow the view). And the window for toasts
// that have no view of their own, and the device's model name.

#include <memory>
#include <string>

#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"

class CXRMessage {
public:
    // Shows `message` over `view` (nothing for a null view).
    static void showMessage(const std::string& message, const std::shared_ptr<UIView>& view);
    // The same on CXRWindowManager::topWindow().
    static void showMessage(const std::string& message);
    // Width of the text on one line in the regular system font of
    // `fontSize` (13 when <= 0); an empty text is measured as "无".
    static double getWidthWithText(const std::string& text, double height, double fontSize);
};

class CXRWindowManager {
public:
    // The key window when it covers the screen, is visible and opaque; else
    // the front-most window that does; else the key window.
    static std::shared_ptr<UIWindow> topWindow();
};

class DeveicePlatform {
public:
    // The model name of the device's machine name ("iPhone7,2" gives
    // "iPhone 6", "x86_64" gives "Simulator"); unknown names as they are.
    static std::string platform();
    static std::string platformOf(const std::string& machine);
};
