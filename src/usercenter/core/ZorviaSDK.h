#pragma once
// The user-centre SDK's facade: class methods only. Every call is made on
// the main thread and every block runs on the main thread.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class UIApplication;
class UIWindow;

class ZorviaSDK {
public:
    // Success of a login: login time, user name, sign (the login token) and
    // the real-name status text of the login reply.
    using LoginSuccess = std::function<void(const std::string& loginTime, const std::string& userName,
                                            const std::string& sign, const std::string& realNameStatus)>;
    // Failure of a login: a code (-10 update required, -9 logged out from the
    // floating button, -8 and the server's own codes) and a message.
    using LoginFailure = std::function<void(int code, const std::string& message)>;
    using PaySuccess = std::function<void(const Value& first, const Value& second)>;
    using PayFailure = std::function<void(const Value& first, int code, const Value& third)>;

    // Launch: the SDK information request and its update notice.
    static void didFinishLaunching();
    // The login window, which logs the kept account in by itself when the
    // automatic login allows (ZVLoginVC). Closing it reports
    // ZVLoginVC::kCancelled to `failed`, except while a login stands (Login
    // asked for again): the player stays logged in, and `success` hears
    // that login again.
    static void loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failed);
    static void LoginOut();
    // Block gets 2 at once when a text is empty, else 1 (uploaded) or 0 (failed).
    static void SetUserInfoDataWithRoleId(const std::string& roleId, const std::string& roleName,
                                          const std::string& roleLevel, const std::string& zoneId,
                                          const std::string& zoneName, const std::string& attach,
                                          std::function<void(int)> block);
    static void loadToPayVCWithroleid(const std::string& roleid, const std::string& money, const std::string& serverid,
                                      const std::string& productName, const std::string& productDesc,
                                      const std::string& attach, PaySuccess success, PayFailure faild);

    static void application_handleOpenURL(UIApplication& app, const NSURL& url);
    static void application_openURL_sourceApplication_annotation(UIApplication& app, const NSURL& url,
                                                                 const std::string& sourceApplication,
                                                                 const Value& annotation);
    static void application_openURL_options(UIApplication& app, const NSURL& url, const Value& options);
    // From the Info.plist's "UISupportedInterfaceOrientations": 2, 24 or 26.
    static unsigned long application_supportedInterfaceOrientationsForWindow(UIApplication& app,
                                                                              const std::shared_ptr<UIWindow>& window);
};
