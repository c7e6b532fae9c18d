#pragma once
// A navigation controller: a stack of controllers with a navigation bar
// (title or title view, prompt, left and right items, a back button on
// pushed screens) and an optional toolbar. Content views fill the
// controller's bounds; the bars lie over them (screens place their content
// below the bar themselves). Pushes and pops slide over 0.3 s on the clock.

#include <memory>
#include <vector>

#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"

class UINavigationBar : public UIView {
public:
    UINavigationBar();
    std::optional<UIColor> barTintColor;
    UITextAttributes titleTextAttributes;
    std::shared_ptr<UIImage> shadowImage;
    std::shared_ptr<UIImage> backgroundImage;
    bool translucent = true;

    // What the bar shows (set by the navigation controller).
    void setItems(UINavigationItem* top, std::string backTitle, bool showsBack, std::function<void()> onBack);
    std::shared_ptr<UIButton> backButton() const { return backButton_; }
    const std::shared_ptr<UILabel>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<UILabel>& promptLabel() const { return promptLabel_; }
    // Height of the bar's content (44, plus 30 with a prompt).
    double contentHeight() const;

    void layoutSubviews() override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;

private:
    UINavigationItem* item_ = nullptr;
    std::shared_ptr<UILabel> titleLabel_, promptLabel_;
    std::shared_ptr<UIButton> backButton_;
    std::vector<std::shared_ptr<UIView>> itemViews_;
};

class UIToolbar : public UIView {
public:
    UIToolbar();
    std::optional<UIColor> barTintColor;
    const std::vector<std::shared_ptr<UIBarButtonItem>>& items() const { return items_; }
    void setItems(std::vector<std::shared_ptr<UIBarButtonItem>> items, bool animated = false);
    void layoutSubviews() override;
    void drawRect(CGContext& ctx, const CGRect& rect) override;

private:
    std::vector<std::shared_ptr<UIBarButtonItem>> items_;
    std::vector<std::shared_ptr<UIView>> views_;
};

class UINavigationController;

class UINavigationControllerDelegate {
public:
    virtual ~UINavigationControllerDelegate() = default;
    virtual void navigationController_willShowViewController(UINavigationController& nav, UIViewController& vc,
                                                             bool animated) {}
    virtual void navigationController_didShowViewController(UINavigationController& nav, UIViewController& vc,
                                                            bool animated) {}
};

class UINavigationController : public UIViewController {
public:
    UINavigationController();
    explicit UINavigationController(std::shared_ptr<UIViewController> root);
    static std::shared_ptr<UINavigationController> withRoot(std::shared_ptr<UIViewController> root);

    const std::vector<std::shared_ptr<UIViewController>>& viewControllers() const { return stack_; }
    void setViewControllers(std::vector<std::shared_ptr<UIViewController>> vcs, bool animated = false);
    std::shared_ptr<UIViewController> topViewController() const { return stack_.empty() ? nullptr : stack_.back(); }
    std::shared_ptr<UIViewController> visibleViewController() const;

    virtual void pushViewController(const std::shared_ptr<UIViewController>& vc, bool animated);
    virtual std::shared_ptr<UIViewController> popViewControllerAnimated(bool animated);
    std::vector<std::shared_ptr<UIViewController>> popToRootViewControllerAnimated(bool animated);
    std::vector<std::shared_ptr<UIViewController>> popToViewController(const std::shared_ptr<UIViewController>& vc, bool animated);

    const std::shared_ptr<UINavigationBar>& navigationBar();
    const std::shared_ptr<UIToolbar>& toolbar();
    bool isNavigationBarHidden() const { return navigationBarHidden_; }
    void setNavigationBarHidden(bool hidden, bool animated = false);
    bool isToolbarHidden() const { return toolbarHidden_; }
    void setToolbarHidden(bool hidden, bool animated = false);
    // Present for delegates to be set; the edge swipe pops the top screen.
    const std::shared_ptr<UIPanGestureRecognizer>& interactivePopGestureRecognizer();
    std::weak_ptr<UINavigationControllerDelegate> delegate;

    void loadView() override;
    void viewDidLoad() override;
    // Rebuilds the bars from the top controller's items.
    void updateBars();
    // The height the bars take at the top (status bar included).
    double navigationBarBottom() const;

private:
    void install(const std::shared_ptr<UIViewController>& vc);
    void transition(const std::shared_ptr<UIViewController>& from, const std::shared_ptr<UIViewController>& to,
                    bool push, bool animated, std::vector<std::shared_ptr<UIViewController>> removed);
    void layoutBars();

    std::vector<std::shared_ptr<UIViewController>> stack_;
    std::shared_ptr<UINavigationBar> bar_;
    std::shared_ptr<UIToolbar> toolbar_;
    std::shared_ptr<UIPanGestureRecognizer> popGesture_;
    bool navigationBarHidden_ = false;
    bool toolbarHidden_ = true;
};
