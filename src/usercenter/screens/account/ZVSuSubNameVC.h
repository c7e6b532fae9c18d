#pragma once
// The sub-account screen (storyboard "ZVSuTabBarVC", scene "ZVSuSubNameVC").
// No sub-account can be chosen in this build: the screen shows the avatar
// at `iconUrl` and the account, and says plainly that vouchers and gift
// packs are claimed for the account itself. `logoutBlock` is what the
// screen's logout runs (doLogout); no control of this screen offers it, as
// logging out would choose no sub-account either.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"

class ZVSuSubNameVC : public UIViewController {
public:
    static constexpr const char* kNoChoice = "本版本不能选择小号，抵扣券和礼包都领取到当前账号。";

    std::string iconUrl;
    std::function<void()> logoutBlock;
    std::shared_ptr<UIImageView> iconView;
    std::shared_ptr<UILabel> nameL, noteL;

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    void doLogout();
};
