#pragma once
// The application delegate: start-up starts the aggregator SDK and wires the
// script bridge, its plug-ins and the one window whose root controller
// hosts the game's web view; after that it forwards the platform's
// life-cycle callbacks to the plug-ins that must hear of them and to the
// aggregator.

#include <memory>

#include "platform/ui/UIApplication.h"
#include "platform/ui/UIWindow.h"

class AppDelegate : public UIResponder, public UIApplicationDelegate {
public:
    std::shared_ptr<UIWindow> window() const override { return window_; }
    void setWindow(std::shared_ptr<UIWindow> w) { window_ = std::move(w); }

    bool application_didFinishLaunchingWithOptions(UIApplication& app, const Value& options) override;
    unsigned long application_supportedInterfaceOrientationsForWindow(UIApplication& app,
                                                                      const std::shared_ptr<UIWindow>& window) override;
    void applicationWillResignActive(UIApplication& app) override;
    void applicationDidEnterBackground(UIApplication& app) override;
    void applicationWillEnterForeground(UIApplication& app) override;
    void applicationDidBecomeActive(UIApplication& app) override;
    void applicationWillTerminate(UIApplication& app) override;
    void application_didRegisterForRemoteNotificationsWithDeviceToken(UIApplication& app, const Data& token) override;
    void application_didFailToRegisterForRemoteNotificationsWithError(UIApplication& app, const Error& error) override;
    void application_didReceiveRemoteNotification(UIApplication& app, const Value& userInfo) override;
    bool application_handleOpenURL(UIApplication& app, const NSURL& url) override;
    bool application_openURL_sourceApplication_annotation(UIApplication& app, const NSURL& url,
                                                          const std::string& sourceApplication,
                                                          const Value& annotation) override;
    bool application_openURL_options(UIApplication& app, const NSURL& url, const Value& options) override;

private:
    std::shared_ptr<UIWindow> window_;
};
