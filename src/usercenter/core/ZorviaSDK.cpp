#include "usercenter/core/ZorviaSDK.h"

#include "logging/VLLog.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/ZVExternal.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZVPayVC.h"

namespace {

void showUpdateAlert() {
    auto& share = ShareVale::sharedInstance();
    std::string message = share.updateMessage.empty() ? std::string("发现新版本，请更新后再登录") : share.updateMessage;
    auto alert = std::make_shared<UIAlertView>("更新提示", message);
    alert->addButtonWithTitle("立即更新");
    std::string url = share.updateURL;
    alert->clickBlock = [url](long) {
        if (!url.empty()) ZVExternal::openURL(url);
    };
    alert->show();
}

// Every open-URL road of the platform ends here.
void handleOpenURL(const NSURL& url) {
    std::string expected = "ZorviaPaylinkScheme" + ShareVale::sharedInstance().gameID();
    if (strings::toLower(url.scheme()) != strings::toLower(expected)) return;
    const std::string& host = url.host();
    if (host == "payreturn") {
        ZVPayPlug::processOrderWithPaymentResult(url);
        return;
    }
    if (host.find("ZOR_QUICK") == std::string::npos) return;
    // "...ZOR_QUICK&<name>&<password>": the parts after the marker.
    auto parts = strings::split(host, "&");
    size_t marker = 0;
    while (marker < parts.size() && parts[marker].find("ZOR_QUICK") == std::string::npos) ++marker;
    if (marker + 2 >= parts.size()) {
        NSLog("ZorviaSDK: quick login without a name and password, ignored");
        return;
    }
    std::string name = strings::percentDecode(parts[marker + 1]);
    std::string password = strings::percentDecode(parts[marker + 2]);
    if (name.empty()) {
        NSLog("ZorviaSDK: quick login without a name, ignored");
        return;
    }
    auto& share = ShareVale::sharedInstance();
    share.setUserName(name);
    share.setPassword(password);
    NSNotificationCenter::defaultCenter().postNotificationName(kSendQuickLoginNotification);
}

}  // namespace

void ZorviaSDK::didFinishLaunching() {
    ZVLoginAPI::requestSdkInfo([](std::optional<SdkInfoResult> info) {
        auto& share = ShareVale::sharedInstance();
        if (!info) {
            VLLogWarn("ZorviaSDK: the SDK information request failed");
            return;
        }
        share.needsUpdate = info->needsUpdate;
        share.updateURL = info->updateURL;
        share.updateMessage = info->updateMessage;
        if (share.needsUpdate) showUpdateAlert();
    });
}

void ZorviaSDK::loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failed) {
    auto& share = ShareVale::sharedInstance();
    if (share.needsUpdate) {
        if (failed) failed(-10, "SDK需要更新");
        showUpdateAlert();
        return;
    }
    auto vc = ZVLoginVC::present(
        [success, failed](const LoginResult& result) {
            auto& share = ShareVale::sharedInstance();
            std::string userName = result.userName.empty() ? share.userName() : result.userName;
            std::string loginTime = result.loginTime;
            share.setUserName(userName);
            share.setToken(result.sign);
            share.setIsRz(result.rzStatus);
            share.setLoginStyle(1);
            share.rememberAccount(userName);
            share.isLogin = true;
            share.loginTime = loginTime;
            share.iosWapBoxUrl = result.iosWapBoxUrl;
            share.loginResult = std::make_shared<LoginResult>(result);
            auto button = CXRHelperBtn::sharedButton();
            button->attachLogin(failed);
            if (!share.isHideSuspend) CXRHelperBtn::show();
            if (success) success(loginTime, userName, result.sign, result.rzStatus);
        },
        [success, failed](int64_t code, const std::string& message) {
            auto& share = ShareVale::sharedInstance();
            // Closed while a login stands (Login tapped again): that login
            // goes on, and the game hears it again rather than a failure.
            if (code == ZVLoginVC::kCancelled && share.isLogin) {
                if (success) success(share.loginTime, share.userName(), share.token(), share.isRz());
                return;
            }
            if (failed) failed(int(code), message);
        });
    vc->logInAutomatically();
}

void ZorviaSDK::LoginOut() {
    auto& share = ShareVale::sharedInstance();
    auto button = CXRHelperBtn::sharedButton();
    CXRHelperBtn::hide();
    button->stopOnlineTimer();
    button->destoryWindow();
    if (!share.token().empty()) ZVLoginAPI::reportLogout(share.userName(), share.token());
    share.endLogin();
}

void ZorviaSDK::SetUserInfoDataWithRoleId(const std::string& roleId, const std::string& roleName,
                                          const std::string& roleLevel, const std::string& zoneId,
                                          const std::string& zoneName, const std::string& attach,
                                          std::function<void(int)> block) {
    if (roleId.empty() || roleName.empty() || roleLevel.empty() || zoneId.empty() || zoneName.empty()) {
        if (block) block(2);
        return;
    }
    Value role = Value::dict({{"roleId", roleId},
                              {"roleName", roleName},
                              {"roleLevel", roleLevel},
                              {"zoneId", zoneId},
                              {"zoneName", zoneName},
                              {"ext", attach}});
    ZVLoginAPI::uploadRole(role, [block](bool ok) {
        if (block) block(ok ? 1 : 0);
    });
}

void ZorviaSDK::loadToPayVCWithroleid(const std::string& roleid, const std::string& money, const std::string& serverid,
                                      const std::string& productName, const std::string& productDesc,
                                      const std::string& attach, PaySuccess success, PayFailure faild) {
    ZVPayOrder order{roleid, money, serverid, productName, productDesc, attach};
    ZVPayVC::present(order, std::move(success), std::move(faild));
}

void ZorviaSDK::application_handleOpenURL(UIApplication&, const NSURL& url) { handleOpenURL(url); }

void ZorviaSDK::application_openURL_sourceApplication_annotation(UIApplication&, const NSURL& url, const std::string&,
                                                                 const Value&) {
    handleOpenURL(url);
}

void ZorviaSDK::application_openURL_options(UIApplication&, const NSURL& url, const Value&) { handleOpenURL(url); }

unsigned long ZorviaSDK::application_supportedInterfaceOrientationsForWindow(UIApplication&,
                                                                              const std::shared_ptr<UIWindow>&) {
    const Value& entries = NSBundle::mainBundle().objectForInfoDictionaryKey("UISupportedInterfaceOrientations");
    bool portrait = false, landscape = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string* s = entries[i].getString();
        if (!s) continue;
        if (strings::contains(*s, "Left") || strings::contains(*s, "Right")) landscape = true;
        else if (strings::contains(*s, "Portrait")) portrait = true;
    }
    if (portrait && landscape) return UIInterfaceOrientationMaskAllButUpsideDown;
    if (portrait) return UIInterfaceOrientationMaskPortrait;
    return UIInterfaceOrientationMaskLandscape;
}
