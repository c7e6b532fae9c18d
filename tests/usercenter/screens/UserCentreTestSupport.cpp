#include "UserCentreTestSupport.h"

#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/screens/shell/ZVNavigationController.h"
#include "usercenter/screens/shell/ZVScreenRegistry.h"

void UserCentreTest::SetUp() {
    ScreenTest::SetUp();
    ZVLinkUserCentreScreens();
    ZVSuWebVC::setWebViewFactory([this](const CGRect& frame, std::shared_ptr<WKWebViewConfiguration> configuration) {
        auto view = RecordingWebView::create(std::move(configuration), frame);
        webViews.push_back(view);
        return view;
    });
    ZVExternal::setOpener([this](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    setGameID("G1");
    // The demo's SDK bundle, for the screens' pictures.
    std::filesystem::create_directory_symlink(testsupport::sourceDir() / "examples/DemoGame.app/ZVSDK.bundle",
                                              env->bundle().path() / "ZVSDK.bundle");
    auto& share = ShareVale::sharedInstance();
    share.setUserName("player01");
    share.iosWapBoxUrl = "https://box.example.invalid/";
}

void UserCentreTest::TearDown() {
    ZVSuWebVC::setWebViewFactory(nullptr);
    ShareVale::sharedInstance().iosWapBoxUrl.clear();
    ScreenTest::TearDown();
    webViews.clear();
}

void UserCentreTest::setGameID(const std::string& gameID, const std::string& appID) {
    Value keys = uctest::zvPlist();
    keys.set("ZORVIA_GAMEID", gameID);
    keys.set("ZORVIA_APPID", appID);
    auto xml = keys.toXMLPlist();
    env->bundle().writeFile("ZV.plist", std::string(xml.begin(), xml.end()));
    ShareVale::sharedInstance().reloadSettings();
}

std::shared_ptr<ZVSuTabBarVC> UserCentreTest::openUserCentre() {
    CXRHelperBtn::sharedButton()->doShowHelperVC();
    advance(0.5);
    return userCentre();
}

std::shared_ptr<ZVSuTabBarVC> UserCentreTest::userCentre() const {
    auto window = CXRHelperBtn::sharedButton()->helperWindow();
    auto root = window ? window->rootViewController() : nullptr;
    return root ? std::dynamic_pointer_cast<ZVSuTabBarVC>(root->presentedViewController()) : nullptr;
}

std::shared_ptr<UINavigationController> UserCentreTest::showInNavigation(std::shared_ptr<UIViewController> root) {
    auto nav = ZVNavigationController::withRoot(std::move(root));
    makeWindow(nav);
    uitest::layout();
    return nav;
}

bool UserCentreTest::settle(const std::function<bool()>& done) {
    return testsupport::waitFor([&] {
        uitest::layout();
        return done();
    });
}

size_t UserCentreTest::requests(const std::string& endpoint) {
    return env->standin().journal().count(standin::UserCentreStandin::path(endpoint));
}

std::shared_ptr<ZVRefreshFooter> footerOf(const std::shared_ptr<UITableView>& table) {
    return ZVRefresh::ZV_footer(table);
}
