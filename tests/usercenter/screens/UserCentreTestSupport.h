#pragma once
// The fixture of the user centre's screen tests: the screen-test set-up
// (stand-in, test clock) with the screens linked in, web pages on recording
// web views, outside addresses recorded instead of opened, and a player
// "player01" of game "G1" logged in as far as the screens can tell.

#include <memory>
#include <string>
#include <vector>

#include "ScreenTestSupport.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UITableView.h"
#include "platform/web/RecordingWebView.h"
#include "ui/ZVRefresh.h"
#include "usercenter/screens/shell/ZVSuTabBarVC.h"
#include "usercenter/screens/shell/ZVSuWebVC.h"

class UserCentreTest : public ScreenTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The floating button's user centre, shown.
    std::shared_ptr<ZVSuTabBarVC> openUserCentre();
    std::shared_ptr<ZVSuTabBarVC> userCentre() const;
    // The root screen of a tab.
    template <class VC>
    std::shared_ptr<VC> tabRoot(ZVSuTabBarVC& centre, size_t index) {
        auto nav = std::dynamic_pointer_cast<UINavigationController>(centre.viewControllers().at(index));
        return nav ? std::dynamic_pointer_cast<VC>(nav->viewControllers().front()) : nullptr;
    }
    // Shows `root` in a navigation stack of the user centre's kind.
    std::shared_ptr<UINavigationController> showInNavigation(std::shared_ptr<UIViewController> root);
    // Runs the loop until `done` holds (the screens finish their refreshes on the main queue).
    bool settle(const std::function<bool()>& done);
    // The journal's requests of an endpoint of the API.
    size_t requests(const std::string& endpoint);

    // Rewrites the game's keys (ZV.plist) with this game and application id.
    void setGameID(const std::string& gameID, const std::string& appID = "88");

    std::vector<std::shared_ptr<RecordingWebView>> webViews;
    std::vector<std::string> opened;  // addresses handed to the desktop
};

// The footer of a list's table, or nullptr.
std::shared_ptr<ZVRefreshFooter> footerOf(const std::shared_ptr<UITableView>& table);
