#pragma once
// The page's one alert: created with a title and a message, given buttons
// one by one, then shown. A tap sends the button's index to the page
// (onAlertViewClick); the system cancelling the alert sends -1. While an
// alert exists, creating another does nothing.

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/UIAlertController.h"

class UIAlertViewController : public UIAlertViewDelegate {
public:
    // True whenever both texts are given, also when an alert already
    // existed and nothing was created.
    static bool CreateWithTitle(const std::optional<std::string>& title, const std::optional<std::string>& message);
    static bool AddButton(const std::optional<std::string>& title);
    static bool Show();

    // The current alert (tests and the host).
    static std::shared_ptr<UIAlertView> current();

    std::shared_ptr<UIAlertView> alertView;

    void alertView_clickedButtonAtIndex(UIAlertView& alert, long index) override;
    void alertViewCancel(UIAlertView& alert) override;
    void alertView_didDismissWithButtonIndex(UIAlertView& alert, long index) override;
};
