#pragma once
// A view controller: owns one root view, made on first use (loadView, then
// viewDidLoad), with the appearance callbacks of the platform.

#include <memory>
#include <string>

#include "platform/ui/UIView.h"

enum class UIStatusBarStyle { Default = 0, LightContent = 1 };

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

    // Makes the root view; the default is a plain view the size of the screen.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool animated) {}
    virtual void viewDidAppear(bool animated) {}
    virtual void viewWillDisappear(bool animated) {}
    virtual void viewDidDisappear(bool animated) {}
    virtual void viewWillLayoutSubviews() {}
    virtual void viewDidLayoutSubviews() {}

    virtual UIStatusBarStyle preferredStatusBarStyle() const { return UIStatusBarStyle::Default; }

    const std::string& title() const { return title_; }
    void setTitle(const std::string& t) { title_ = t; }

    // The identifier it was instantiated under from a storyboard, if any.
    const std::string& storyboardIdentifier() const { return storyboardIdentifier_; }
    void setStoryboardIdentifier(const std::string& id) { storyboardIdentifier_ = id; }

    std::shared_ptr<UIResponder> nextResponder() const override;

private:
    std::shared_ptr<UIView> view_;
    std::string title_;
    std::string storyboardIdentifier_;
};
