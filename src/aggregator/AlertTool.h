#pragma once
// The aggregator's alerts: an alert with a list of buttons and one action
// told the pressed button's index, and the texts of the account error
// codes. Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class UIViewController;

class AlertTool {
public:
    using Action = std::function<void(long buttonIndex)>;

    // Presents the alert over whatever `controller` already presents when
    // its window is the top one on screen. Otherwise (no controller, one
    // outside any window, or an SDK screen shown in a window above it) the
    // alert gets a window of its own at the alert level, so the player sees
    // it above everything. Buttons are counted from 0 in the given order.
    static void showAlertArrayWith(const std::shared_ptr<UIViewController>& controller, const std::string& title,
                                   const std::string& message, Action action,
                                   const std::vector<std::string>& buttonTitles);

    // The text of an account error: the table of known "code"s, else the
    // dictionary's "message".
    static std::string showAlertStringWihtCode(const Value& dict);

    // The controller at the top of what `root` presents (root itself when
    // it presents nothing); nullptr for nullptr.
    static std::shared_ptr<UIViewController> topPresenter(std::shared_ptr<UIViewController> root);
};
