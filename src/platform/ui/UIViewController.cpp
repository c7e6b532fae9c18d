#include "platform/ui/UIViewController.h"

#include "platform/ui/UIScreen.h"

UIViewController::UIViewController() = default;
UIViewController::~UIViewController() = default;

std::shared_ptr<UIView> UIViewController::view() {
    if (!view_) {
        loadView();
        if (!view_) setView(std::make_shared<UIView>(UIScreen::mainScreen().bounds()));
        viewDidLoad();
    }
    return view_;
}

void UIViewController::setView(const std::shared_ptr<UIView>& view) {
    view_ = view;
    if (view_) view_->setViewController(sharedController());
}

void UIViewController::loadView() {
    auto v = std::make_shared<UIView>(UIScreen::mainScreen().bounds());
    v->setBackgroundColor(UIColor::whiteColor());
    setView(v);
}

std::shared_ptr<UIResponder> UIViewController::nextResponder() const {
    return view_ ? view_->superview() : nullptr;
}
