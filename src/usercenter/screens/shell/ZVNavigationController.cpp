#include "usercenter/screens/shell/ZVNavigationController.h"

#include "usercenter/screens/common/ZVColorExtension.h"

std::shared_ptr<ZVNavigationController> ZVNavigationController::withRoot(std::shared_ptr<UIViewController> root) {
    return std::make_shared<ZVNavigationController>(std::move(root));
}

std::shared_ptr<UIButton> ZVNavigationController::makeBackButton() {
    auto button = UIButton::buttonWithType(UIButtonType::Custom);
    button->setFrame(CGRect(0, 0, kBackButtonSide, kBackButtonSide));
    button->setImage(ZVColor::sdkImageNamed("ZV_nav_back.png"), UIControlStateNormal);
    button->setAccessibilityIdentifier("nav_back");
    return button;
}

void ZVNavigationController::viewDidLoad() {
    UINavigationController::viewDidLoad();
    auto& bar = navigationBar();
    bar->titleTextAttributes.foregroundColor = UIColor::blackColor();
    bar->shadowImage = ZVColor::imageWithColor(XTExtention::colorWithHexString("#f0f0f0"));
    bar->barTintColor = UIColor::whiteColor();
    bar->setNeedsDisplay();
    interactivePopGestureRecognizer()->delegate =
        std::static_pointer_cast<ZVNavigationController>(sharedController());
}

void ZVNavigationController::pushViewController(const std::shared_ptr<UIViewController>& vc, bool) {
    if (!vc) return;
    if (!viewControllers().empty()) {
        addbackBtn(*vc);
        vc->setHidesBottomBarWhenPushed(true);
    }
    UINavigationController::pushViewController(vc, true);
}

void ZVNavigationController::addbackBtn(UIViewController& vc) {
    auto button = makeBackButton();
    std::weak_ptr<ZVNavigationController> weak = std::static_pointer_cast<ZVNavigationController>(sharedController());
    button->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->backBtnClick();
    });
    vc.navigationItem().setLeftBarButtonItem(UIBarButtonItem::withCustomView(button));
}

void ZVNavigationController::backBtnClick() { popViewControllerAnimated(true); }
