#pragma once
// The application object: its delegate, its windows and the life cycle the
// platform reports (active, background, terminate), driven by the GTK host
// in the running program and by calls in tests.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSURL.h"
#include "platform/foundation/Value.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

class UIApplication;

// Orientation masks.
inline constexpr unsigned long UIInterfaceOrientationMaskPortrait = 2;
inline constexpr unsigned long UIInterfaceOrientationMaskLandscape = 24;
inline constexpr unsigned long UIInterfaceOrientationMaskAllButUpsideDown = 26;

class UIApplicationDelegate {
public:
    virtual ~UIApplicationDelegate() = default;
    // The application's main window, for a delegate that keeps one.
    virtual std::shared_ptr<UIWindow> window() const { return nullptr; }
    virtual bool application_didFinishLaunchingWithOptions(UIApplication& app, const Value& options) { return true; }
    virtual unsigned long application_supportedInterfaceOrientationsForWindow(UIApplication& app,
                                                                              const std::shared_ptr<UIWindow>& window) {
        return UIInterfaceOrientationMaskPortrait;
    }
    virtual void applicationWillResignActive(UIApplication& app) {}
    virtual void applicationDidEnterBackground(UIApplication& app) {}
    virtual void applicationWillEnterForeground(UIApplication& app) {}
    virtual void applicationDidBecomeActive(UIApplication& app) {}
    virtual void applicationWillTerminate(UIApplication& app) {}
    virtual void application_didRegisterForRemoteNotificationsWithDeviceToken(UIApplication& app, const Data& token) {}
    virtual void application_didFailToRegisterForRemoteNotificationsWithError(UIApplication& app, const Error& error) {}
    virtual void application_didReceiveRemoteNotification(UIApplication& app, const Value& userInfo) {}
    virtual bool application_handleOpenURL(UIApplication& app, const NSURL& url) { return false; }
    virtual bool application_openURL_sourceApplication_annotation(UIApplication& app, const NSURL& url,
                                                                  const std::string& sourceApplication,
                                                                  const Value& annotation) {
        return false;
    }
    virtual bool application_openURL_options(UIApplication& app, const NSURL& url, const Value& options) { return false; }
};

enum class UIApplicationState { Active, Inactive, Background };

class UIApplication {
public:
    static UIApplication& sharedApplication();

    std::shared_ptr<UIApplicationDelegate> delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<UIApplicationDelegate> d) { delegate_ = std::move(d); }

    // Visible windows, lowest level first (equal levels: order shown).
    std::vector<std::shared_ptr<UIWindow>> windows() const;
    std::shared_ptr<UIWindow> keyWindow() const { return keyWindow_.lock(); }
    void setKeyWindow(const std::shared_ptr<UIWindow>& w);

    UIStatusBarStyle statusBarStyle() const { return statusBarStyle_; }
    void setStatusBarStyle(UIStatusBarStyle s) { statusBarStyle_ = s; }
    UIApplicationState applicationState() const { return state_; }

    // The network activity indicator: recorded (the desktop has no status
    // bar to show it in). Main thread. The observer hears each change.
    bool isNetworkActivityIndicatorVisible() const { return networkActivityIndicatorVisible_; }
    void setNetworkActivityIndicatorVisible(bool visible);
    void setNetworkActivityIndicatorObserver(std::function<void(bool visible)> o) {
        networkActivityIndicatorObserver_ = std::move(o);
    }

    // Life-cycle events, as the platform delivers them: the delegate first,
    // then the matching notification.
    void didFinishLaunching(const Value& options);
    void willResignActive();
    void didEnterBackground();
    void willEnterForeground();
    void didBecomeActive();
    void willTerminate();
    // A URL opened with the application (the host's command line or a test).
    bool openURLFromOutside(const NSURL& url, const Value& options = Value());

    // Observers of window-list changes (the GTK host).
    using WindowsObserver = std::function<void()>;
    void setWindowsObserver(WindowsObserver o) { windowsObserver_ = std::move(o); }

    // Input from the host or from tests, in screen points. A touch that
    // begins goes to the highest window that takes it; its later phases
    // follow it there. False when no window took it.
    bool dispatchTouch(int touchId, UITouchPhase phase, CGPoint location);
    // A wheel or touchpad turn at `location` (screen points), `delta` points
    // along each axis: the highest window that takes a touch there gets it,
    // and of the scroll views around the view hit, the innermost that can
    // move that way scrolls. False when no window took it (it then belongs
    // to what lies under the toolkit); true even when nothing could scroll.
    bool dispatchScroll(CGPoint location, CGPoint delta);
    // The responder typed text goes to: the key window's first responder,
    // else the highest window's that has one.
    std::shared_ptr<UIResponder> textInputResponder() const;

    // Called by UIWindow.
    void addWindow(const std::shared_ptr<UIWindow>& w);
    void removeWindow(const UIWindow* w);
    void windowsDidChange();

private:
    std::shared_ptr<UIApplicationDelegate> delegate_;
    std::vector<std::shared_ptr<UIWindow>> windows_;
    std::weak_ptr<UIWindow> keyWindow_;
    UIStatusBarStyle statusBarStyle_ = UIStatusBarStyle::Default;
    UIApplicationState state_ = UIApplicationState::Inactive;
    WindowsObserver windowsObserver_;
    bool networkActivityIndicatorVisible_ = false;
    std::function<void(bool)> networkActivityIndicatorObserver_;
    std::map<int, std::weak_ptr<UIWindow>> touchWindows_;
};

// Runs the application: sets up the GTK host (or runs headless when there
// is no display), makes the delegate, reports launch and runs the main loop
// until the application quits. Returns the process status.
int UIApplicationMain(int argc, char** argv, std::function<std::shared_ptr<UIApplicationDelegate>()> makeDelegate);
