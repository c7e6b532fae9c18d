#include "usercenter/screens/account/ZVSuSubNameVC.h"

#include "imagecache/setters/UIImageViewZVExtension.h"
#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ShareVale.h"

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
    nameL->setText("当前账号：" + ShareVale::sharedInstance().userName());
    nameL->setFont(UIFont::systemFontOfSize(15));
    nameL->setTextAlignment(NSTextAlignment::Center);
    noteL = std::make_shared<UILabel>();
    noteL->setText(kNoChoice);
    noteL->setFont(UIFont::systemFontOfSize(14));
    noteL->setTextColor(UIColor::fromRGB(0x999999));
    noteL->setTextAlignment(NSTextAlignment::Center);
    noteL->setNumberOfLines(0);
    for (auto& v : std::vector<std::shared_ptr<UIView>>{iconView, nameL, noteL}) view()->addSubview(v);
}

void ZVSuSubNameVC::viewWillLayoutSubviews() {
    double w = view()->bounds().width(), top = UIScreen::mainScreen().navigationBarTop();
    iconView->setFrame(CGRect((w - 72) / 2, top + 40, 72, 72));
    nameL->setFrame(CGRect(20, top + 126, w - 40, 22));
    double noteH = noteL->sizeThatFits({w - 60, 0}).height;
    noteL->setFrame(CGRect(30, top + 164, w - 60, noteH));
}

void ZVSuSubNameVC::doLogout() {
    if (logoutBlock) logoutBlock();
}
