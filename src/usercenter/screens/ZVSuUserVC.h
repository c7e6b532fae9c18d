#pragma once
// The "我的" tab until the account page is built: the player's name and the
// account page's two ways out, back to the game and logging out, through
// the blocks the user centre gives it.

#include <functional>
#include <memory>

#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"

class ZVSuUserVC : public UIViewController {
public:
    std::function<void()> logoutBlock, backBlock;

    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;

private:
    std::shared_ptr<UILabel> nameL_;
    std::shared_ptr<UIButton> backButton_, logoutButton_;
};
