#pragma once
// The navigation controller of every user-centre stack: a white bar with
// black titles over a "#f0f0f0" line, and on every pushed screen an image
// back button (instead of the bar's own) while the tab bar hides. Pushes
// are always animated.

#include <memory>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UINavigationController.h"

class ZVNavigationController : public UINavigationController, public UIGestureRecognizerDelegate {
public:
    static constexpr double kBackButtonSide = 25;

    using UINavigationController::UINavigationController;
    static std::shared_ptr<ZVNavigationController> withRoot(std::shared_ptr<UIViewController> root);

    void viewDidLoad() override;
    void pushViewController(const std::shared_ptr<UIViewController>& vc, bool animated) override;

    // The image back button of a pushed screen, as its left bar item.
    void addbackBtn(UIViewController& vc);
    void backBtnClick();

    // The back button every pushed screen gets (25 × 25, "ZV_nav_back.png").
    static std::shared_ptr<UIButton> makeBackButton();
};
