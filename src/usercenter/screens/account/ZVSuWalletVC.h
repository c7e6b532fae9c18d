#pragma once
// The wallet (storyboard "ZVSuTabBarVC", scene "ZVSuWalletVC"), a minimal
// screen: the account page hands it its reply's "uinfo" as `dataDic`, and
// it shows the avatar ("avatar"), the nickname and the wallet's balance.

#include <memory>

#include "platform/foundation/Value.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"

class ZVSuWalletVC : public UIViewController {
public:
    Value dataDic;
    std::shared_ptr<UIImageView> iconView;
    std::shared_ptr<UILabel> nickL, moneyL;

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
};
