#pragma once
// The user centre: the five-tab controller the floating button opens over
// the game ("我的", "福利", "任务", "攻略", "客服"), each tab a
// ZVNavigationController. It hands the opener's two blocks to the account
// page and keeps to one dismiss rule: a dismiss goes through only while it
// presents another controller or once a logout has set isShouldDismiss;
// otherwise it is ignored and its completion never runs.
//
// The Tasks and customer-service addresses are built once, when the
// controller loads (they keep that moment's time stamp and user name).
// Root back buttons of its screens call close(), which closes the user
// centre as the account page's back does.
//
// Escape (with nothing being edited) closes what is on top, one step at a
// time: a panel of the account page, then the top pushed screen of the
// selected tab, then the user centre itself; on a publisher page it is the
// page's "<" (its history first). Whatever is presented over the user
// centre (an alert) keeps the key for itself (an alert's is its cancel).

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UITabBarController.h"
#include "usercenter/core/ZVUserCentre.h"

class ZVSuTabBarVC : public UITabBarController, public ZVUserCentreController {
public:
    // The selected tab's title (and its icon) in the purple the user centre's screens use.
    static constexpr const char* kSelectedTitleColour = "#6036E7";

    std::function<void()> logoutBlock, backBlock;
    bool isShouldDismiss = false;

    void setLogoutBlock(std::function<void()> block) override { logoutBlock = std::move(block); }
    void setBackBlock(std::function<void()> block) override { backBlock = std::move(block); }

    void viewDidLoad() override;
    bool shouldAutorotate() const override { return false; }
    UIInterfaceOrientation preferredInterfaceOrientationForPresentation() const override {
        return UIInterfaceOrientation::Portrait;
    }
    void dismissViewControllerAnimated(bool animated, std::function<void()> completion = {}) override;

    // Builds the five tabs (once, from viewDidLoad).
    void addChildVcs();
    void addChildViewController(const std::shared_ptr<UIViewController>& vc, const std::string& title,
                                const std::string& image, const std::string& selectedImage);

    // The account page's ways out.
    void logout();
    void close();
    // Escape's step (above).
    void escape();
    std::vector<UIKeyCommand> keyCommands() const override;

    // The addresses the Tasks and customer-service tabs were given.
    const std::string& tasksURL() const { return tasksURL_; }
    const std::string& customerServiceURL() const { return serviceURL_; }

    // The user centre `vc` is shown in, or nullptr.
    static std::shared_ptr<ZVSuTabBarVC> containing(const UIViewController& vc);
    // Closes the user centre `vc` is shown in; outside one, dismisses vc's
    // stack and then shows the floating button (unless it is kept hidden).
    static void closeContaining(UIViewController& vc);

private:
    using UITabBarController::addChildViewController;
    std::string tasksURL_, serviceURL_;
};

// The publisher pages of the user centre's tabs, addressed under the API
// base URL; each query value percent-encoded, the sign over the raw values.
namespace ZVUserCentrePages {
// ".../Agreement/rw?username=&device=ios&imel=&gameid=&logintime=&sign=",
// the time stamp taken now.
std::string tasksURL();
// ".../sdkservicesdk/sdk_kefu_index?username=&type=ios&cpsId=&appid=".
std::string customerServiceURL();
}  // namespace ZVUserCentrePages
