#include "usercenter/screens/ZVSuUserVC.h"

#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVScreenWindow.h"

void ZVSuUserVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(UIColor::whiteColor());
    navigationItem().setTitle("我的");
    nameL_ = std::make_shared<UILabel>();
    nameL_->setText(ShareVale::sharedInstance().userName());
    nameL_->setFont(UIFont::systemFontOfSize(17, UIFontWeight::Medium));
    nameL_->setTextAlignment(NSTextAlignment::Center);
    view()->addSubview(nameL_);

    std::weak_ptr<ZVSuUserVC> weak = std::static_pointer_cast<ZVSuUserVC>(sharedController());
    backButton_ = ZVStyle::actionButton("返回游戏");
    backButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock(); self && self->backBlock) self->backBlock();
    });
    logoutButton_ = ZVStyle::actionButton("退出登录");
    logoutButton_->setBackgroundColor(UIColor::fromRGB(0xFF5A5A));
    logoutButton_->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock(); self && self->logoutBlock) self->logoutBlock();
    });
    view()->addSubview(backButton_);
    view()->addSubview(logoutButton_);
}

void ZVSuUserVC::viewWillLayoutSubviews() {
    double top = UIScreen::mainScreen().navigationBarTop(), width = view()->bounds().width();
    nameL_->setFrame(CGRect(30, top + 40, width - 60, 24));
    backButton_->setFrame(CGRect(30, top + 100, width - 60, 44));
    logoutButton_->setFrame(CGRect(30, top + 160, width - 60, 44));
}
