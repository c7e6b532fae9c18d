#include "usercenter/screens/shell/ZVSuTabBarVC.h"

#include "platform/device/DeviceFacts.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIStoryboard.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVApi.h"
#include "usercenter/core/ZVRequestCodec.h"
#include "usercenter/screens/common/ZVColorExtension.h"
#include "usercenter/screens/shell/ZVNavigationController.h"
#include "usercenter/screens/strategy/ZVSuStrategyVC.h"
#include "usercenter/screens/account/ZVSuUserVC.h"
#include "usercenter/screens/shell/ZVScene.h"
#include "usercenter/screens/shell/ZVSuWebVC.h"
#include "usercenter/screens/welfare/ZVSuWelfareVC.h"

namespace ZVUserCentrePages {

namespace {
std::string encoded(const std::string& value) { return strings::percentEncode(value); }
}  // namespace

std::string tasksURL() {
    auto& share = ShareVale::sharedInstance();
    std::string user = share.userName(), time = URLEncode::getNowTimeTimestamp();
    return ZVApi::baseURL() + ZVApi::kTasksPage + "?username=" + encoded(user) + "&device=ios&imel=" +
           encoded(device::advertisingIdentifier()) + "&gameid=" + encoded(share.gameID()) +
           "&logintime=" + encoded(time) + "&sign=" + ZVTasksSign(user, time);
}

std::string customerServiceURL() {
    auto& share = ShareVale::sharedInstance();
    return ZVApi::baseURL() + ZVApi::kServicePage + "?username=" + encoded(share.userName()) +
           "&type=ios&cpsId=" + encoded(share.chanelid()) + "&appid=" + encoded(share.appID());
}

}  // namespace ZVUserCentrePages

namespace {

std::shared_ptr<ZVSuWebVC> webPage(const std::string& name, const std::string& url) {
    auto web = ZVScene<ZVSuWebVC>("ZVSuWebVC");
    if (web) {
        web->name = name;
        web->url = url;
    }
    return web;
}
}  // namespace

void ZVSuTabBarVC::viewDidLoad() {
    UITabBarController::viewDidLoad();
    auto& bar = tabBar();
    bar->backgroundImage = ZVColor::imageWithColor(UIColor::whiteColor());
    bar->shadowImage = ZVColor::imageWithColor(UIColor::colorWithRed(250 / 255.0, 250 / 255.0, 250 / 255.0, 1));
    bar->setTintColor(XTExtention::colorWithHexString(kSelectedTitleColour));
    view()->setBackgroundColor(UIColor::whiteColor());
    tasksURL_ = ZVUserCentrePages::tasksURL();
    serviceURL_ = ZVUserCentrePages::customerServiceURL();
    addChildVcs();
}

void ZVSuTabBarVC::addChildVcs() {
    std::weak_ptr<ZVSuTabBarVC> weak = std::static_pointer_cast<ZVSuTabBarVC>(sharedController());
    if (auto user = ZVScene<ZVSuUserVC>("ZVSuUserVC")) {
        user->logoutBlock = [weak] {
            if (auto self = weak.lock()) self->logout();
        };
        user->backBlock = [weak] {
            if (auto self = weak.lock()) self->close();
        };
        addChildViewController(user, "我的", "zv_tabbar_one0", "zv_tabbar_one1");
    }
    addChildViewController(std::make_shared<ZVSuWelfareVC>(), "福利", "zv_tabbar_two0", "zv_tabbar_two1");
    addChildViewController(webPage("任务", tasksURL_), "任务", "zv_tabbar_three0", "zv_tabbar_three1");
    addChildViewController(std::make_shared<ZVSuStrategyVC>(), "攻略", "zv_tabbar_four0", "zv_tabbar_four1");
    addChildViewController(webPage("客服", serviceURL_), "客服", "zv_tabbar_five0", "zv_tabbar_five1");
}

void ZVSuTabBarVC::addChildViewController(const std::shared_ptr<UIViewController>& vc, const std::string& title,
                                          const std::string& image, const std::string& selectedImage) {
    if (!vc) return;
    auto& item = vc->tabBarItem();
    auto original = [](const std::string& name) {
        auto picture = ZVColor::sdkImageNamed(name);
        return picture ? picture->imageWithRenderingMode(UIImageRenderingMode::AlwaysOriginal) : nullptr;
    };
    item.image = original(image);
    item.selectedImage = original(selectedImage);
    item.title = title;
    item.setTitleTextAttributes({XTExtention::colorWithHexString(kSelectedTitleColour), nullptr}, UIControlStateSelected);
    auto nav = ZVNavigationController::withRoot(vc);
    nav->tabBarItem() = item;
    auto tabs = viewControllers();
    tabs.push_back(nav);
    setViewControllers(tabs);
}

void ZVSuTabBarVC::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
    if (!presentedViewController() && !isShouldDismiss) return;
    UITabBarController::dismissViewControllerAnimated(animated, std::move(completion));
}

void ZVSuTabBarVC::logout() {
    auto keep = sharedController();  // the opener's block lets the window go
    isShouldDismiss = true;
    if (logoutBlock) logoutBlock();
    dismissViewControllerAnimated(true);
}

void ZVSuTabBarVC::close() {
    auto keep = sharedController();
    if (backBlock) backBlock();
    dismissViewControllerAnimated(true);
}

void ZVSuTabBarVC::escape() {
    if (presentedViewController()) return;
    auto nav = std::dynamic_pointer_cast<UINavigationController>(selectedViewController());
    auto top = nav ? nav->topViewController() : nullptr;
    if (auto account = std::dynamic_pointer_cast<ZVSuUserVC>(top); account && account->closeTopPanel()) return;
    // A publisher page steps back as its "<" does: through its history first.
    if (auto page = std::dynamic_pointer_cast<ZVSuWebVC>(top)) {
        page->goBack();
        return;
    }
    if (nav && nav->viewControllers().size() > 1) {
        nav->popViewControllerAnimated(true);
        return;
    }
    close();
}

std::vector<UIKeyCommand> ZVSuTabBarVC::keyCommands() const {
    std::weak_ptr<ZVSuTabBarVC> weak =
        std::static_pointer_cast<ZVSuTabBarVC>(std::const_pointer_cast<UIResponder>(shared_from_this()));
    return {{UIKeyInputEscape, 0, [weak] {
                 if (auto self = weak.lock()) self->escape();
             }}};
}

std::shared_ptr<ZVSuTabBarVC> ZVSuTabBarVC::containing(const UIViewController& vc) {
    for (auto tab = vc.tabBarController(); tab; tab = tab->tabBarController())
        if (auto centre = std::dynamic_pointer_cast<ZVSuTabBarVC>(tab)) return centre;
    return nullptr;
}

void ZVSuTabBarVC::closeContaining(UIViewController& vc) {
    if (auto centre = containing(vc)) {
        centre->close();
        return;
    }
    auto nav = vc.navigationController();
    UIViewController& leaving = nav ? static_cast<UIViewController&>(*nav) : vc;
    leaving.dismissViewControllerAnimated(true, [] {
        if (!ShareVale::sharedInstance().isHideSuspend) CXRHelperBtn::show();
    });
}
