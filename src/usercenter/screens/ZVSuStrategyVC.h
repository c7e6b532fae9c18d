#pragma once
// The "攻略" tab until the strategy tab is built: the strategy-guide list
// under the navigation bar.

#include <memory>

#include "platform/ui/UIViewController.h"
#include "usercenter/screens/ZVStrategyVC.h"

class ZVSuStrategyVC : public UIViewController {
public:
    void viewDidLoad() override;
    void viewWillLayoutSubviews() override;
    const std::shared_ptr<ZVStrategyVC>& guides() const { return guides_; }

private:
    std::shared_ptr<ZVStrategyVC> guides_;
};
