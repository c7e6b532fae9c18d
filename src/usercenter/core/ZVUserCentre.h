#pragma once
// The user centre the floating button opens. Its screens are a subsystem
// of their own, found by name: the controller class registered under
// "ZVSuTabBarVC" (answering ZVUserCentreController) is opened. With none
// registered the button opens nothing and says so in the log.

#include <functional>
#include <memory>

#include "platform/ui/UIViewController.h"

class ZVUserCentreController {
public:
    virtual ~ZVUserCentreController() = default;
    // Run when the player logs out in the user centre.
    virtual void setLogoutBlock(std::function<void()> block) = 0;
    // Run when the player closes the user centre.
    virtual void setBackBlock(std::function<void()> block) = 0;
};

inline constexpr const char* kZVUserCentreClassName = "ZVSuTabBarVC";

// A new user-centre controller, or nullptr (logged) when none is registered.
std::shared_ptr<UIViewController> ZVMakeUserCentreController();
