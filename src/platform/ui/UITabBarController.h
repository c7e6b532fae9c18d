#pragma once
// A tab bar controller: one child per tab, the selected child's view under
// a tab bar at the bottom (49 or 83 points by the screen profile). The bar
// hides while the selected tab's navigation stack shows a screen pushed
// with hidesBottomBarWhenPushed.

#include <memory>
#include <vector>

#include "platform/ui/UIBarItems.h"
#include "platform/ui/UIViewController.h"

class UITabBar : public UIView {
public:
    UITabBar();
    std::optional<UIColor> barTintColor;
    std::shared_ptr<UIImage> backgroundImage, shadowImage;
    std::optional<UIColor> unselectedItemTintColor;

    void setItems(std::vector<UITabBarItem*> items, size_t selected);
    size_t selectedIndex() const { return selected_; }
    // Frame of item `i` in the bar.
    CGRect itemFrame(size_t i) const;
    std::function<void(size_t)> onSelect;

    void drawRect(CGContext& ctx, const CGRect& rect) override;
    void touchesEnded(const UITouchSet& touches, UIEvent* event) override;
    void touchesBegan(const UITouchSet& touches, UIEvent* event) override {}

private:
    std::vector<UITabBarItem*> items_;
    size_t selected_ = 0;
};

class UITabBarController;

class UITabBarControllerDelegate {
public:
    virtual ~UITabBarControllerDelegate() = default;
    virtual bool tabBarController_shouldSelectViewController(UITabBarController& tab, UIViewController& vc) { return true; }
    virtual void tabBarController_didSelectViewController(UITabBarController& tab, UIViewController& vc) {}
};

class UITabBarController : public UIViewController {
public:
    UITabBarController() = default;

    const std::vector<std::shared_ptr<UIViewController>>& viewControllers() const { return tabs_; }
    void setViewControllers(std::vector<std::shared_ptr<UIViewController>> vcs, bool animated = false);
    size_t selectedIndex() const { return selected_; }
    void setSelectedIndex(size_t index);
    std::shared_ptr<UIViewController> selectedViewController() const;
    void setSelectedViewController(const std::shared_ptr<UIViewController>& vc);
    const std::shared_ptr<UITabBar>& tabBar();
    std::weak_ptr<UITabBarControllerDelegate> delegate;

    void loadView() override;
    void viewDidLoad() override;
    void updateTabBarVisibility();

private:
    void show(size_t index);
    void layout();

    std::vector<std::shared_ptr<UIViewController>> tabs_;
    size_t selected_ = 0;
    std::shared_ptr<UITabBar> bar_;
};
