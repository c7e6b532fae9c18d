#include "usercenter/screens/ZVSuStrategyVC.h"

#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIScreen.h"

void ZVSuStrategyVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(UIColor::fromRGB(0xF7F8FA));
    navigationItem().setTitle("攻略");
    guides_ = std::make_shared<ZVStrategyVC>();
    addChildViewController(guides_);
    view()->addSubview(guides_->view());
}

void ZVSuStrategyVC::viewWillLayoutSubviews() {
    auto& screen = UIScreen::mainScreen();
    CGRect b = view()->bounds();
    double top = screen.navigationBarTop();
    guides_->view()->setFrame(CGRect(0, top, b.width(), b.height() - top - screen.tabBarHeight()));
}
