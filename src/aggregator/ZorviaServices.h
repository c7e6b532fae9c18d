#pragma once
// What the channel adapter asks of the user-centre SDK's facade. The
// adapter calls these on the main thread and every block runs there.
//
// The application installs the forwarder to the real facade at start-up
// (aggregator/zorvia/ZorviaSDKForwarder.h); tests install doubles. With
// nothing installed the adapter logs and does without: its init still
// reports success, a login opens nothing.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"

class UIApplication;
class UIWindow;

class ZorviaServices {
public:
    // A login: login time, user name, sign (the login token) and the
    // real-name status text of the login reply.
    using LoginSuccess = std::function<void(const std::string& loginTime, const std::string& userName,
                                            const std::string& sign, const std::string& realNameStatus)>;
    // -10 update required, -9 logged out from the floating button,
    // kLoginCancelled the player closed the login window, -8 and the
    // server's own codes for failed attempts.
    using LoginFailure = std::function<void(int code, const std::string& message)>;
    static constexpr int kLoginCancelled = -100;
    using PaySuccess = std::function<void(const Value& first, const Value& second)>;
    using PayFailure = std::function<void(const Value& first, int code, const Value& third)>;

    virtual ~ZorviaServices() = default;

    virtual void didFinishLaunching() = 0;
    virtual void loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failed) = 0;
    virtual void LoginOut() = 0;
    // The block gets 2 at once when a text is empty, else 1 (uploaded) or 0.
    virtual void SetUserInfoDataWithRoleId(const std::string& roleId, const std::string& roleName,
                                           const std::string& roleLevel, const std::string& zoneId,
                                           const std::string& zoneName, const std::string& attach,
                                           std::function<void(int)> block) = 0;
    virtual void loadToPayVCWithroleid(const std::string& roleid, const std::string& money,
                                       const std::string& serverid, const std::string& productName,
                                       const std::string& productDesc, const std::string& attach, PaySuccess success,
                                       PayFailure faild) = 0;
    virtual void application_handleOpenURL(UIApplication& app, const NSURL& url) = 0;
    virtual void application_openURL_sourceApplication_annotation(UIApplication& app, const NSURL& url,
                                                                  const std::string& sourceApplication,
                                                                  const Value& annotation) = 0;
    virtual void application_openURL_options(UIApplication& app, const NSURL& url, const Value& options) = 0;
    virtual unsigned long application_supportedInterfaceOrientationsForWindow(
        UIApplication& app, const std::shared_ptr<UIWindow>& window) = 0;
    // A toast over whatever is on top.
    virtual void showMessage(const std::string& message) = 0;

    // The installed services; nullptr when none is.
    static std::shared_ptr<ZorviaServices> current();
    static void install(std::shared_ptr<ZorviaServices> services);
};
