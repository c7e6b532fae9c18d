#include "usercenter/screens/ZVSuSubNameVC.h"

#include "imagecache/setters/UIImageViewZVExtension.h"
#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVScreenWindow.h"

void ZVSuSubNameVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(UIColor::whiteColor());
    navigationItem().setTitle("小号管理");
    iconView = std::make_shared<UIImageView>();
    iconView->setBackgroundColor(UIColor::fromRGB(0xEEEEEE));
    iconView->layer()->setCornerRadius(36);
    iconView->setClipsToBounds(true);
    ZVExtension::setGameIconWithUrlStr(*iconView, iconUrl, "zv_noPic.png");
    nameL = std::make_shared<UILabel>();
    const std::string& name = ShareVale::sharedInstance().xiaohao_nickName;
    nameL->setText("当前小号：" + (name.empty() ? std::string("未选择") : name));
    nameL->setFont(UIFont::systemFontOfSize(15));
    nameL->setTextAlignment(NSTextAlignment::Center);
    logoutBtn = ZVStyle::actionButton("退出登录并切换小号");
    logoutBtn->layer()->setCornerRadius(22);
    std::weak_ptr<ZVSuSubNameVC> weak = std::static_pointer_cast<ZVSuSubNameVC>(sharedController());
    logoutBtn->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
        if (auto self = weak.lock()) self->doLogout();
    });
    for (auto& v : std::vector<std::shared_ptr<UIView>>{iconView, nameL, logoutBtn}) view()->addSubview(v);
}

void ZVSuSubNameVC::viewWillLayoutSubviews() {
    double w = view()->bounds().width(), top = UIScreen::mainScreen().navigationBarTop();
    iconView->setFrame(CGRect((w - 72) / 2, top + 40, 72, 72));
    nameL->setFrame(CGRect(20, top + 126, w - 40, 22));
    logoutBtn->setFrame(CGRect(30, top + 180, w - 60, 44));
}

void ZVSuSubNameVC::doLogout() {
    if (logoutBlock) logoutBlock();
}
