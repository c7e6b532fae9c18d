#pragma once
// A window: the root of a view tree, shown over the others by its level.

#include <memory>

#include "platform/ui/UIView.h"

class UIViewController;

using UIWindowLevel = double;
inline constexpr UIWindowLevel UIWindowLevelNormal = 0;
inline constexpr UIWindowLevel UIWindowLevelStatusBar = 1000;
inline constexpr UIWindowLevel UIWindowLevelAlert = 2000;

class UIWindow : public UIView {
public:
    UIWindow();
    explicit UIWindow(const CGRect& frame);
    ~UIWindow() override;

    std::shared_ptr<UIWindow> sharedWindow() { return std::static_pointer_cast<UIWindow>(shared_from_this()); }

    std::shared_ptr<UIViewController> rootViewController() const { return rootViewController_; }
    // Installs the controller's view (loading it) as the window's content.
    virtual void setRootViewController(const std::shared_ptr<UIViewController>& vc);

    UIWindowLevel windowLevel() const { return windowLevel_; }
    void setWindowLevel(UIWindowLevel level);

    // Shows the window and makes it the application's key window.
    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;
    void setHidden(bool hidden) override;

    std::shared_ptr<UIWindow> window() const override;

private:
    std::shared_ptr<UIViewController> rootViewController_;
    UIWindowLevel windowLevel_ = UIWindowLevelNormal;
};
