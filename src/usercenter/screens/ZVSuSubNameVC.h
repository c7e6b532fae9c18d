#pragma once
// The sub-account screen (storyboard "ZVSuTabBarVC", scene "ZVSuSubNameVC"),
// a minimal one: the avatar at `iconUrl`, the selected sub-account's name,
// and a logout (choosing another sub-account takes a new login) that runs
// `logoutBlock`.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"

class ZVSuSubNameVC : public UIViewController {
public:
    std::string iconUrl;
    std::function<void()> logoutBlock;
    std::shared_ptr<UIImageView> iconView;
    std::shared_ptr<UILabel> nameL;
    std::shared_ptr<UIButton> logoutBtn;

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    void doLogout();
};
