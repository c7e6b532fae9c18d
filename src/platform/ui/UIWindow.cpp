#include "platform/ui/UIWindow.h"

#include "platform/ui/UIApplication.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIViewController.h"

UIWindow::UIWindow() : UIWindow(UIScreen::mainScreen().bounds()) {}

UIWindow::UIWindow(const CGRect& frame) : UIView(frame) { UIView::setHidden(true); }

UIWindow::~UIWindow() = default;

std::shared_ptr<UIWindow> UIWindow::window() const {
    return std::static_pointer_cast<UIWindow>(std::const_pointer_cast<UIResponder>(shared_from_this()));
}

void UIWindow::setRootViewController(const std::shared_ptr<UIViewController>& vc) {
    if (rootViewController_ == vc) return;
    if (rootViewController_ && rootViewController_->isViewLoaded()) rootViewController_->view()->removeFromSuperview();
    rootViewController_ = vc;
    if (!vc) return;
    auto v = vc->view();
    v->setFrame(bounds());
    v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    addSubview(v);
}

void UIWindow::setWindowLevel(UIWindowLevel level) {
    windowLevel_ = level;
    UIApplication::sharedApplication().windowsDidChange();
}

void UIWindow::makeKeyAndVisible() {
    setHidden(false);
    makeKeyWindow();
}

void UIWindow::makeKeyWindow() { UIApplication::sharedApplication().setKeyWindow(sharedWindow()); }

bool UIWindow::isKeyWindow() const { return UIApplication::sharedApplication().keyWindow().get() == this; }

void UIWindow::setHidden(bool hidden) {
    bool changed = hidden != isHidden();
    UIView::setHidden(hidden);
    if (!changed) return;
    auto& app = UIApplication::sharedApplication();
    if (hidden) app.removeWindow(this);
    else app.addWindow(sharedWindow());
}
