#pragma once
// Alerts and action sheets, presented like any controller (over the
// presenter, fading in). A tap on an action's button dismisses the alert
// and then runs the action's handler, so a handler may present again;
// Escape performs the cancel action (a tap beside an action sheet too). The
// old-style UIAlertView shows the same alert in a window of its own at the
// alert level and reports to its delegate by button index.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"

enum class UIAlertControllerStyle { ActionSheet = 0, Alert = 1 };
enum class UIAlertActionStyle { Default = 0, Cancel = 1, Destructive = 2 };

class UIAlertAction {
public:
    using Handler = std::function<void(UIAlertAction&)>;
    static std::shared_ptr<UIAlertAction> actionWithTitle(const std::string& title, UIAlertActionStyle style,
                                                          Handler handler = {});
    const std::string& title() const { return title_; }
    UIAlertActionStyle style() const { return style_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool e) { enabled_ = e; }
    const Handler& handler() const { return handler_; }

private:
    std::string title_;
    UIAlertActionStyle style_ = UIAlertActionStyle::Default;
    Handler handler_;
    bool enabled_ = true;
};

class UIAlertController : public UIViewController {
public:
    static std::shared_ptr<UIAlertController> alertControllerWithTitle(const std::string& title,
                                                                       const std::string& message,
                                                                       UIAlertControllerStyle style);
    UIAlertController(std::string title, std::string message, UIAlertControllerStyle style);

    const std::string& alertTitle() const { return alertTitle_; }
    const std::string& message() const { return message_; }
    void setMessage(const std::string& m) { message_ = m; }
    UIAlertControllerStyle preferredStyle() const { return style_; }
    void addAction(const std::shared_ptr<UIAlertAction>& action);
    const std::vector<std::shared_ptr<UIAlertAction>>& actions() const { return actions_; }
    std::shared_ptr<UIAlertAction> preferredAction;

    // The button shown for an action (after the view loaded), for tests and the host.
    std::shared_ptr<UIButton> buttonForAction(size_t index);
    // What a tap on the button of `index` does: dismiss, then the handler.
    void performAction(size_t index);
    // The first action of the Cancel style, performed; false when there is none.
    bool performCancelAction();
    // Escape: the cancel action.
    std::vector<UIKeyCommand> keyCommands() const override;

    void loadView() override;
    bool fadesWhenPresented() const override { return true; }

private:
    void build();
    std::string alertTitle_, message_;
    UIAlertControllerStyle style_;
    std::vector<std::shared_ptr<UIAlertAction>> actions_;
    std::vector<std::shared_ptr<UIButton>> buttons_;
    std::shared_ptr<UIView> box_;
    bool acting_ = false;
};

class UIAlertView;

class UIAlertViewDelegate {
public:
    virtual ~UIAlertViewDelegate() = default;
    virtual void alertView_clickedButtonAtIndex(UIAlertView& alert, long index) {}
    virtual void alertViewCancel(UIAlertView& alert) {}
    virtual void alertView_willDismissWithButtonIndex(UIAlertView& alert, long index) {}
    virtual void alertView_didDismissWithButtonIndex(UIAlertView& alert, long index) {}
};

class UIAlertView : public NSObject, public std::enable_shared_from_this<UIAlertView> {
public:
    UIAlertView(std::string title, std::string message, std::weak_ptr<UIAlertViewDelegate> delegate = {},
                std::string cancelButtonTitle = "", std::vector<std::string> otherButtonTitles = {});

    const std::string& title() const { return title_; }
    const std::string& message() const { return message_; }
    std::weak_ptr<UIAlertViewDelegate> delegate;
    long cancelButtonIndex() const { return cancelIndex_; }
    // Returns the new button's index (counted from 0 in the order added).
    long addButtonWithTitle(const std::string& title);
    long numberOfButtons() const { return long(buttons_.size()); }
    std::string buttonTitleAtIndex(long index) const;
    bool isVisible() const { return visible_; }
    // A click action kept with the alert (called after the delegate's click).
    std::function<void(long)> clickBlock;

    // Shows the alert in its own window above everything; it stays alive while shown.
    void show();
    void dismissWithClickedButtonIndex(long index, bool animated);
    // What the system does when it cancels an alert (the host's Escape key).
    void cancel();
    // Taps the button at `index` as the player would.
    void clickButtonAtIndex(long index);

    std::shared_ptr<UIWindow> alertWindow() const { return window_; }
    std::shared_ptr<UIAlertController> controller() const { return controller_; }
    // The alert views on screen, oldest first.
    static std::vector<std::shared_ptr<UIAlertView>> visibleAlertViews();

private:
    void finish(long index, bool animated);
    std::string title_, message_;
    std::vector<std::string> buttons_;
    long cancelIndex_ = -1;
    bool visible_ = false, dismissing_ = false;
    std::shared_ptr<UIWindow> window_;
    std::shared_ptr<UIAlertController> controller_;
    std::weak_ptr<UIWindow> previousKey_;
};
