#include "aggregator/zorvia/ZorviaSDKForwarder.h"

#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ZVLoginVC.h"
#include "usercenter/core/ZorviaSDK.h"

static_assert(ZVLoginVC::kCancelled == ZorviaServices::kLoginCancelled, "one code for a closed login window");

void ZorviaSDKForwarder::didFinishLaunching() { ZorviaSDK::didFinishLaunching(); }

void ZorviaSDKForwarder::loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failed) {
    ZorviaSDK::loadLoginViewResultSuccess(std::move(success), std::move(failed));
}

void ZorviaSDKForwarder::LoginOut() { ZorviaSDK::LoginOut(); }

void ZorviaSDKForwarder::SetUserInfoDataWithRoleId(const std::string& roleId, const std::string& roleName,
                                                   const std::string& roleLevel, const std::string& zoneId,
                                                   const std::string& zoneName, const std::string& attach,
                                                   std::function<void(int)> block) {
    ZorviaSDK::SetUserInfoDataWithRoleId(roleId, roleName, roleLevel, zoneId, zoneName, attach, std::move(block));
}

void ZorviaSDKForwarder::loadToPayVCWithroleid(const std::string& roleid, const std::string& money,
                                               const std::string& serverid, const std::string& productName,
                                               const std::string& productDesc, const std::string& attach,
                                               PaySuccess success, PayFailure faild) {
    ZorviaSDK::loadToPayVCWithroleid(roleid, money, serverid, productName, productDesc, attach, std::move(success),
                                     std::move(faild));
}

void ZorviaSDKForwarder::application_handleOpenURL(UIApplication& app, const NSURL& url) {
    ZorviaSDK::application_handleOpenURL(app, url);
}

void ZorviaSDKForwarder::application_openURL_sourceApplication_annotation(UIApplication& app, const NSURL& url,
                                                                          const std::string& sourceApplication,
                                                                          const Value& annotation) {
    ZorviaSDK::application_openURL_sourceApplication_annotation(app, url, sourceApplication, annotation);
}

void ZorviaSDKForwarder::application_openURL_options(UIApplication& app, const NSURL& url, const Value& options) {
    ZorviaSDK::application_openURL_options(app, url, options);
}

unsigned long ZorviaSDKForwarder::application_supportedInterfaceOrientationsForWindow(
    UIApplication& app, const std::shared_ptr<UIWindow>& window) {
    return ZorviaSDK::application_supportedInterfaceOrientationsForWindow(app, window);
}

void ZorviaSDKForwarder::showMessage(const std::string& message) { CXRMessage::showMessage(message); }

void installZorviaSDKForwarder() { ZorviaServices::install(std::make_shared<ZorviaSDKForwarder>()); }
