#pragma once
// The channel adapter's services forwarded to the user-centre SDK's facade.
// The application calls installZorviaSDKForwarder() once at start-up,
// before the aggregator starts.

#include "aggregator/ZorviaServices.h"

class ZorviaSDKForwarder : public ZorviaServices {
public:
    void didFinishLaunching() override;
    void loadLoginViewResultSuccess(LoginSuccess success, LoginFailure failed) override;
    void LoginOut() override;
    void SetUserInfoDataWithRoleId(const std::string& roleId, const std::string& roleName, const std::string& roleLevel,
                                   const std::string& zoneId, const std::string& zoneName, const std::string& attach,
                                   std::function<void(int)> block) override;
    void loadToPayVCWithroleid(const std::string& roleid, const std::string& money, const std::string& serverid,
                               const std::string& productName, const std::string& productDesc,
                               const std::string& attach, PaySuccess success, PayFailure faild) override;
    void application_handleOpenURL(UIApplication& app, const NSURL& url) override;
    void application_openURL_sourceApplication_annotation(UIApplication& app, const NSURL& url,
                                                          const std::string& sourceApplication,
                                                          const Value& annotation) override;
    void application_openURL_options(UIApplication& app, const NSURL& url, const Value& options) override;
    unsigned long application_supportedInterfaceOrientationsForWindow(UIApplication& app,
                                                                      const std::shared_ptr<UIWindow>& window) override;
    void showMessage(const std::string& message) override;
};

void installZorviaSDKForwarder();
