#include "usercenter/screens/account/ZVSuWalletVC.h"

#include "imagecache/setters/UIImageViewZVExtension.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIScreen.h"

void ZVSuWalletVC::viewDidLoad() {
    UIViewController::viewDidLoad();
    view()->setBackgroundColor(UIColor::whiteColor());
    navigationItem().setTitle("我的钱包");
    iconView = std::make_shared<UIImageView>();
    iconView->setBackgroundColor(UIColor::fromRGB(0xEEEEEE));
    iconView->layer()->setCornerRadius(36);
    iconView->setClipsToBounds(true);
    ZVExtension::setGameIconWithUrlStr(*iconView, dataDic["avatar"].textValue(), "zv_noPic.png");
    nickL = std::make_shared<UILabel>();
    nickL->setText(dataDic["nicename"].textValue());
    nickL->setFont(UIFont::systemFontOfSize(16, UIFontWeight::Medium));
    nickL->setTextAlignment(NSTextAlignment::Center);
    moneyL = std::make_shared<UILabel>();
    moneyL->setText("钱包余额：" + strings::format("%.2f", dataDic["wallet"].doubleValue()));
    moneyL->setFont(UIFont::systemFontOfSize(15));
    moneyL->setTextColor(UIColor::fromRGB(0x666666));
    moneyL->setTextAlignment(NSTextAlignment::Center);
    for (auto& v : std::vector<std::shared_ptr<UIView>>{iconView, nickL, moneyL}) view()->addSubview(v);
}

void ZVSuWalletVC::viewWillLayoutSubviews() {
    double w = view()->bounds().width(), top = UIScreen::mainScreen().navigationBarTop();
    iconView->setFrame(CGRect((w - 72) / 2, top + 40, 72, 72));
    nickL->setFrame(CGRect(20, top + 124, w - 40, 24));
    moneyL->setFrame(CGRect(20, top + 156, w - 40, 22));
}
