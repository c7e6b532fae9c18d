#include "usercenter/core/ZVUserCentre.h"

#include "platform/foundation/NSObject.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIScreen.h"

std::shared_ptr<UIViewController> ZVMakeUserCentreController() {
    if (auto vc = ClassRegistry::createAs<UIViewController>("ZVSuTabBarVC")) {
        if (dynamic_cast<ZVUserCentreController*>(vc.get())) return vc;
    }
    return std::make_shared<ZVEmptyUserCentreVC>();
}

void ZVEmptyUserCentreVC::viewDidLoad() {
    UITabBarController::viewDidLoad();
    auto v = view();
    v->setBackgroundColor(UIColor::whiteColor());
    double top = UIScreen::mainScreen().statusBarHeight();
    double width = v->bounds().width();
    auto title = std::make_shared<UILabel>(CGRect(0, top, width, 44));
    title->setText("用户中心");
    title->setFont(UIFont::systemFontOfSize(18, UIFontWeight::Medium));
    title->setTextAlignment(NSTextAlignment::Center);
    title->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    v->addSubview(title);

    auto make = [&](const std::string& text, double y, const UIColor& color) {
        auto b = UIButton::buttonWithType(UIButtonType::Custom);
        b->setFrame(CGRect(30, y, width - 60, 44));
        b->setTitle(text, UIControlStateNormal);
        b->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
        b->setBackgroundColor(color);
        b->layer()->setCornerRadius(22);
        b->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        v->addSubview(b);
        return b;
    };
    backButton_ = make("返回游戏", top + 120, UIColor::fromRGB(0x4988FD));
    logoutButton_ = make("退出登录", top + 180, UIColor::fromRGB(0xFF5A5A));
    std::weak_ptr<ZVEmptyUserCentreVC> weak = std::static_pointer_cast<ZVEmptyUserCentreVC>(sharedController());
    backButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock(); self && self->backBlock_) self->backBlock_();
    });
    logoutButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock(); self && self->logoutBlock_) self->logoutBlock_();
    });
}
