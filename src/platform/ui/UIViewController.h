#pragma once
// A view controller: owns one root view, made on first use (loadView, then
// viewDidLoad), with the appearance callbacks of the platform, child
// controllers, and modal presentation (the presented controller's view
// covers the presenter's window; completions run when the transition's
// duration has passed on the replaceable clock).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIView.h"

enum class UIStatusBarStyle { Default = 0, LightContent = 1 };
enum class UIModalPresentationStyle { FullScreen = 0, PageSheet, FormSheet, CurrentContext, Custom, OverFullScreen, OverCurrentContext };
enum class UIInterfaceOrientation { Unknown = 0, Portrait = 1, PortraitUpsideDown = 2, LandscapeLeft = 4, LandscapeRight = 3 };

class UINavigationController;
class UITabBarController;
class UINavigationItem;
class UITabBarItem;
class UIBarButtonItem;

// Seconds a presentation, dismissal, push or pop takes when animated.
inline constexpr double kUITransitionDuration = 0.3;

// Ours: posted when a controller starts being presented and when a
// dismissal has ended (object: the presenter), for what follows the
// screens on display (an overlay hiding while one covers the game).
inline const char* const UIViewControllerPresentationsDidChangeNotification =
    "UIViewControllerPresentationsDidChangeNotification";

class UIViewController : public UIResponder {
public:
    UIViewController();
    ~UIViewController() override;

    std::shared_ptr<UIViewController> sharedController() {
        return std::static_pointer_cast<UIViewController>(shared_from_this());
    }

    // The root view, loaded on first access.
    std::shared_ptr<UIView> view();
    bool isViewLoaded() const { return view_ != nullptr; }
    void setView(const std::shared_ptr<UIView>& view);

    // Makes the root view: the first top-level view of the nib named by
    // nibName() (this controller its owner), else a plain white view the
    // size of the screen.
    virtual void loadView();
    // The nib the root view comes from ("" for none); set before the view loads.
    const std::string& nibName() const { return nibName_; }
    void setNibName(const std::string& name) { nibName_ = name; }
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool animated) {}
    virtual void viewDidAppear(bool animated) {}
    virtual void viewWillDisappear(bool animated) {}
    virtual void viewDidDisappear(bool animated) {}
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}

    virtual UIStatusBarStyle preferredStatusBarStyle() const { return UIStatusBarStyle::Default; }
    virtual bool shouldAutorotate() const { return true; }
    virtual UIInterfaceOrientation preferredInterfaceOrientationForPresentation() const {
        return UIInterfaceOrientation::Portrait;
    }

    const std::string& title() const { return title_; }
    void setTitle(const std::string& t);

    // The identifier it was instantiated under from a storyboard, if any.
    const std::string& storyboardIdentifier() const { return storyboardIdentifier_; }
    void setStoryboardIdentifier(const std::string& id) { storyboardIdentifier_ = id; }

    std::shared_ptr<UIResponder> nextResponder() const override;

    // ---- Containment
    std::shared_ptr<UIViewController> parentViewController() const { return parent_.lock(); }
    const std::vector<std::shared_ptr<UIViewController>>& childViewControllers() const { return children_; }
    virtual void addChildViewController(const std::shared_ptr<UIViewController>& child);
    virtual void removeFromParentViewController();
    virtual void willMoveToParentViewController(UIViewController* parent) {}
    virtual void didMoveToParentViewController(UIViewController* parent) {}
    // True during the appearance callbacks of a push (or of being added).
    bool isMovingToParentViewController() const { return movingToParent_; }
    bool isMovingFromParentViewController() const { return movingFromParent_; }
    bool isBeingPresented() const { return beingPresented_; }
    bool isBeingDismissed() const { return beingDismissed_; }

    // Appearance forwarding (containers call these for their children).
    void beginAppearanceTransition(bool isAppearing, bool animated);
    void endAppearanceTransition();
    bool isAppeared() const { return appearance_ == Appearance::Appeared; }

    // ---- Modal presentation
    UIModalPresentationStyle modalPresentationStyle() const { return modalPresentationStyle_; }
    void setModalPresentationStyle(UIModalPresentationStyle s) { modalPresentationStyle_ = s; }
    std::shared_ptr<UIViewController> presentedViewController() const { return presented_; }
    std::shared_ptr<UIViewController> presentingViewController() const { return presenting_.lock(); }
    // Refused (with a log line, completion not run) when this controller is
    // not in a window or already presents another one, as on the platform.
    virtual void presentViewController(const std::shared_ptr<UIViewController>& vc, bool animated,
                                       std::function<void()> completion = {});
    // On the presenter: dismisses what it presents (and everything above);
    // on a presented controller with nothing above it: asks its presenter.
    virtual void dismissViewControllerAnimated(bool animated, std::function<void()> completion = {});

    // Controllers shown over their presenter (alerts) fade in and out instead of sliding.
    virtual bool fadesWhenPresented() const { return false; }

    // ---- Bars
    std::shared_ptr<UINavigationController> navigationController() const;
    std::shared_ptr<UITabBarController> tabBarController() const;
    UINavigationItem& navigationItem();
    UITabBarItem& tabBarItem();
    bool hidesBottomBarWhenPushed() const { return hidesBottomBarWhenPushed_; }
    void setHidesBottomBarWhenPushed(bool h) { hidesBottomBarWhenPushed_ = h; }
    const std::vector<std::shared_ptr<UIBarButtonItem>>& toolbarItems() const { return toolbarItems_; }
    void setToolbarItems(std::vector<std::shared_ptr<UIBarButtonItem>> items, bool animated = false);
    bool automaticallyAdjustsScrollViewInsets() const { return automaticallyAdjustsScrollViewInsets_; }
    void setAutomaticallyAdjustsScrollViewInsets(bool v) { automaticallyAdjustsScrollViewInsets_ = v; }

    // The window the controller's view is in.
    std::shared_ptr<UIWindow> viewWindow() const;

protected:
    std::shared_ptr<UIWindow> responderWindow() const override { return viewWindow(); }

private:
    friend class UINavigationController;
    friend class UITabBarController;
    enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
    void finishDismissal(bool animated, std::function<void()> completion);

    std::shared_ptr<UIView> view_;
    std::string title_;
    std::string storyboardIdentifier_;
    std::string nibName_;
    std::weak_ptr<UIViewController> parent_;
    std::vector<std::shared_ptr<UIViewController>> children_;
    bool movingToParent_ = false, movingFromParent_ = false;
    bool beingPresented_ = false, beingDismissed_ = false;
    Appearance appearance_ = Appearance::Disappeared;
    UIModalPresentationStyle modalPresentationStyle_ = UIModalPresentationStyle::FullScreen;
    std::shared_ptr<UIViewController> presented_;
    std::weak_ptr<UIViewController> presenting_;
    bool transitioning_ = false;
    std::unique_ptr<UINavigationItem> navigationItem_;
    std::unique_ptr<UITabBarItem> tabBarItem_;
    bool hidesBottomBarWhenPushed_ = false;
    std::vector<std::shared_ptr<UIBarButtonItem>> toolbarItems_;
    bool automaticallyAdjustsScrollViewInsets_ = true;
};
