#include "Classes/ViewController/AppDelegate.h"

#include "aggregator/RUVURazuzEVE.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIStoryboard.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/RelaySDKPlugin.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "Classes/ViewController/MainViewController.h"

// The "Main" scene is found by name only: keep its object file linked.
[[maybe_unused]] static std::string (*volatile kKeepMainScene)() = &MainViewController::GetCurrentTimestamp;

namespace {

RUVURazuzEVE& aggregator() { return RUVURazuzEVE::defaultInstance(); }

}  // namespace

bool AppDelegate::application_didFinishLaunchingWithOptions(UIApplication& app, const Value& options) {
    registerSDKPlugins();
    // The aggregator's interface is registered before the plug-ins load, or
    // the aggregator plug-in would register no event callbacks.
    auto relay = std::make_shared<RelaySDKInterface>();
    IOSPlugin::SetInterface(relay, "RelaySDK");
    IOSPlugin::Load();
    // The aggregator's start (device facts, the keychain, its init that
    // waits for the network) comes after the start page's load, which the
    // controller posts to the main queue, so that it runs while the engine
    // starts its processes: nothing of it is needed to show the page, and
    // on a first launch it writes to disk. Two hops put it behind that post.
    DispatchQueue::main()->async([relay, &app, options] {
        DispatchQueue::main()->async([relay, &app, options] {
            // A missing text stays missing (the channel file may supply it).
            auto& bundle = NSBundle::mainBundle();
            relay->InitWithApplication(app, options, bundle.infoText("RELAY_PRODUCT_KEY"),
                                       bundle.infoText("RELAY_PRODUCT_CODE"));
        });
    });

    auto storyboard = UIStoryboard::storyboardWithName("Main");
    auto controller = storyboard ? storyboard->instantiateViewControllerWithIdentifier("MainViewController") : nullptr;
    if (!controller) {
        NSLog("the storyboard \"Main\" has no scene \"MainViewController\"");
        return true;
    }
    IOSPlugin::SetRootController(controller);

    window_ = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
    window_->setRootViewController(controller);  // loads the view: web view, channels, start page
    window_->makeKeyAndVisible();
    app.setStatusBarStyle(UIStatusBarStyle::LightContent);
    return true;
}

unsigned long AppDelegate::application_supportedInterfaceOrientationsForWindow(
    UIApplication& app, const std::shared_ptr<UIWindow>& window) {
    // The channel hears the question; the game is portrait whatever it answers.
    aggregator().application_supportedInterfaceOrientationsForWindow(app, window);
    return UIInterfaceOrientationMaskPortrait;
}

void AppDelegate::applicationWillResignActive(UIApplication& app) { aggregator().applicationWillResignActive(app); }

void AppDelegate::applicationDidEnterBackground(UIApplication& app) {
    SysPlugin::OnEnterBackground();
    aggregator().applicationDidEnterBackground(app);
}

void AppDelegate::applicationWillEnterForeground(UIApplication& app) {
    SysPlugin::OnEnterForeground();
    aggregator().applicationWillEnterForeground(app);
}

void AppDelegate::applicationDidBecomeActive(UIApplication& app) { aggregator().applicationDidBecomeActive(app); }

void AppDelegate::applicationWillTerminate(UIApplication& app) {
    IOSPlugin::Unload();
    aggregator().applicationWillTerminate(app);
}

void AppDelegate::application_didRegisterForRemoteNotificationsWithDeviceToken(UIApplication& app, const Data& token) {
    aggregator().application_didRegisterForRemoteNotificationsWithDeviceToken(app, token);
}

void AppDelegate::application_didFailToRegisterForRemoteNotificationsWithError(UIApplication& app,
                                                                               const Error& error) {
    aggregator().application_didFailToRegisterForRemoteNotificationsWithError(app, error);
}

void AppDelegate::application_didReceiveRemoteNotification(UIApplication& app, const Value& userInfo) {
    aggregator().application_didReceiveRemoteNotification(app, userInfo);
}

// The page's launch URL is the latest one before the channel sees it.
bool AppDelegate::application_handleOpenURL(UIApplication& app, const NSURL& url) {
    SysPlugin::SetLaunchUrl(url);
    aggregator().openURL_application(url, app);
    return true;
}

bool AppDelegate::application_openURL_sourceApplication_annotation(UIApplication& app, const NSURL& url,
                                                                   const std::string& sourceApplication,
                                                                   const Value& annotation) {
    SysPlugin::SetLaunchUrl(url);
    aggregator().openURL_sourceApplication_application_annotation(url, sourceApplication, app, annotation);
    return true;
}

bool AppDelegate::application_openURL_options(UIApplication& app, const NSURL& url, const Value& options) {
    SysPlugin::SetLaunchUrl(url);
    aggregator().openURL_application_options(url, app, options);
    return true;
}
