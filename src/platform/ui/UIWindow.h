#pragma once
// A window: the root of a view tree, shown over the others by its level.
// It delivers touches (through gesture recognizers to views), holds the
// first responder and shows the emulated keyboard for it.

#include <map>
#include <memory>

#include "platform/ui/UIEvent.h"
#include "platform/ui/UIView.h"

class UIViewController;

using UIWindowLevel = double;
inline constexpr UIWindowLevel UIWindowLevelNormal = 0;
inline constexpr UIWindowLevel UIWindowLevelStatusBar = 1000;
inline constexpr UIWindowLevel UIWindowLevelAlert = 2000;
// The emulated keyboard's window sits above everything else.
inline constexpr UIWindowLevel UIWindowLevelKeyboard = 10000000;

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

    // ---- Events (window coordinates)
    // One touch phase of finger `touchId`; returns false when nothing in
    // the window took the touch (it began outside every interactive view).
    bool sendTouch(int touchId, UITouchPhase phase, CGPoint location);
    // The view a touch at `location` would go to (after layout).
    std::shared_ptr<UIView> hitTestWindow(CGPoint location);
    bool hasActiveTouches() const { return !touches_.empty(); }

    // ---- First responder
    std::shared_ptr<UIResponder> firstResponder() const { return firstResponder_.lock(); }
    // nullptr resigns the current one. `force` ignores canResignFirstResponder.
    bool makeFirstResponder(const std::shared_ptr<UIResponder>& responder, bool force = false);
    void firstResponderInputViewsChanged();

    // ---- Keyboard focus on a control (a Tab stop that is no text input;
    // UIKeyCommand.h). It goes when a responder takes typing, a touch
    // begins in the window or the window hides. Drawn with a focus ring.
    std::shared_ptr<UIView> focusedView() const { return focusedView_.lock(); }
    void setFocusedView(const std::shared_ptr<UIView>& view);

    // Draws the window (its tree as it looks now) into a bitmap at the screen scale.
    std::shared_ptr<CGImage> renderImage(double scale = 2) const;
    bool writePNG(const std::string& path, double scale = 2) const;

private:
    void deliver(const std::shared_ptr<UITouch>& touch, UITouchPhase phase);

    std::shared_ptr<UIViewController> rootViewController_;
    UIWindowLevel windowLevel_ = UIWindowLevelNormal;
    std::weak_ptr<UIResponder> firstResponder_;
    std::weak_ptr<UIView> focusedView_;
    std::map<int, std::shared_ptr<UITouch>> touches_;
};
