#include "Classes/ViewController/AppDelegate.h"

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIStoryboard.h"
#include "plugin/iOS/RAZ5Orered/IOSPlugin.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "Classes/ViewController/MainViewController.h"

// The "Main" scene is found by name only: keep its object file linked.
[[maybe_unused]] static std::string (*volatile kKeepMainScene)() = &MainViewController::GetCurrentTimestamp;

bool AppDelegate::application_didFinishLaunchingWithOptions(UIApplication& app, const Value& options) {
    // The aggregator adapter is created, started and registered with the
    // bridge under "RelaySDK" here, before the plug-ins load, once the
    // aggregator is part of the build.
    IOSPlugin::Load();

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

unsigned long AppDelegate::application_supportedInterfaceOrientationsForWindow(UIApplication&,
                                                                               const std::shared_ptr<UIWindow>&) {
    return UIInterfaceOrientationMaskPortrait;
}

void AppDelegate::applicationWillResignActive(UIApplication&) {}

void AppDelegate::applicationDidEnterBackground(UIApplication&) { SysPlugin::OnEnterBackground(); }

void AppDelegate::applicationWillEnterForeground(UIApplication&) { SysPlugin::OnEnterForeground(); }

void AppDelegate::applicationDidBecomeActive(UIApplication&) {}

void AppDelegate::applicationWillTerminate(UIApplication&) { IOSPlugin::Unload(); }

bool AppDelegate::application_handleOpenURL(UIApplication&, const NSURL& url) {
    SysPlugin::SetLaunchUrl(url);
    return true;
}

bool AppDelegate::application_openURL_sourceApplication_annotation(UIApplication&, const NSURL& url,
                                                                   const std::string&, const Value&) {
    SysPlugin::SetLaunchUrl(url);
    return true;
}

bool AppDelegate::application_openURL_options(UIApplication&, const NSURL& url, const Value&) {
    SysPlugin::SetLaunchUrl(url);
    return true;
}
