#pragma once
// The user centre the floating button opens. Its screens are a subsystem
// of their own: when a controller class is registered under "ZVSuTabBarVC"
// (and answers ZVUserCentreController), that class is opened. Until then
// the button opens ZVEmptyUserCentreVC: a tab controller without tabs that
// offers only the two ways out every user centre has, back to the game and
// logging out.

#include <functional>
#include <memory>

#include "platform/ui/UIButton.h"
#include "platform/ui/UITabBarController.h"

class ZVUserCentreController {
public:
    virtual ~ZVUserCentreController() = default;
    // Run when the player logs out in the user centre.
    virtual void setLogoutBlock(std::function<void()> block) = 0;
    // Run when the player closes the user centre.
    virtual void setBackBlock(std::function<void()> block) = 0;
};

class ZVEmptyUserCentreVC : public UITabBarController, public ZVUserCentreController {
public:
    void setLogoutBlock(std::function<void()> block) override { logoutBlock_ = std::move(block); }
    void setBackBlock(std::function<void()> block) override { backBlock_ = std::move(block); }
    void viewDidLoad() override;
    bool shouldAutorotate() const override { return false; }

private:
    std::function<void()> logoutBlock_, backBlock_;
    std::shared_ptr<UIButton> backButton_, logoutButton_;
};

// A new user-centre controller: the registered "ZVSuTabBarVC", else the empty one.
std::shared_ptr<UIViewController> ZVMakeUserCentreController();
