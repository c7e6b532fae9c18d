#include "usercenter/core/ZVScreenWindow.h"

#include "platform/ui/UIButton.h"
#include "platform/ui/UIScreen.h"

std::shared_ptr<UIWindow> ZVOpenScreenWindow(const std::shared_ptr<UIViewController>& root) {
    auto window = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
    window->setOpaque(false);
    window->setBackgroundColor(UIColor::clearColor());
    window->setWindowLevel(kZVScreenWindowLevel);
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    return window;
}

void ZVCloseScreenWindow(const std::shared_ptr<UIWindow>& window) {
    if (!window) return;
    window->endEditing(true);
    window->setHidden(true);
    window->setRootViewController(nullptr);
}

void ZVRemoveCover(const std::shared_ptr<UIView>& cover) {
    if (cover && !std::dynamic_pointer_cast<UIWindow>(cover) && !cover->viewController() && cover->subviews().empty())
        cover->removeFromSuperview();
}

namespace ZVStyle {
UIColor blue() { return UIColor::fromRGB(0x4988FD); }
UIColor textGray() { return UIColor::fromRGB(0x666666); }
UIColor lineGray() { return UIColor::fromRGB(0xE5E5E5); }

std::shared_ptr<UIButton> closeButton() {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setTitle("✕", UIControlStateNormal);
    b->setTitleColor(textGray(), UIControlStateNormal);
    b->setTitleColor(textGray().colorWithAlphaComponent(0.3), UIControlStateHighlighted);
    b->titleLabel()->setFont(UIFont::systemFontOfSize(18));
    return b;
}

std::shared_ptr<UIButton> actionButton(const std::string& title) {
    auto b = UIButton::buttonWithType(UIButtonType::Custom);
    b->setTitle(title, UIControlStateNormal);
    b->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    b->titleLabel()->setFont(UIFont::systemFontOfSize(16, UIFontWeight::Medium));
    paintActionButton(*b, false);
    b->layer()->setCornerRadius(20);
    b->setClipsToBounds(true);
    return b;
}

void paintActionButton(UIButton& button, bool waiting) {
    // Darker while held: the pressed look.
    UIColor normal = waiting ? UIColor::fromRGB(0xC4C9D1) : blue();
    UIColor held = UIColor::fromRGB(waiting ? 0xAEB4BE : 0x2F6BD9);
    button.setBackgroundImage(UIImage::imageWithColor(normal), UIControlStateNormal);
    button.setBackgroundImage(UIImage::imageWithColor(held), UIControlStateHighlighted);
}

std::shared_ptr<UITextField> field(const std::string& placeholder, const CGRect& frame, double inset) {
    auto f = std::make_shared<UITextField>(frame);
    f->setPlaceholder(placeholder);
    f->setFont(UIFont::systemFontOfSize(15));
    f->placeholderColor = UIColor::fromRGB(0xAAAAAA);
    f->borderStyle = UITextBorderStyle::None;
    f->setBackgroundColor(UIColor::fromRGB(0xF5F6F8));
    f->layer()->setCornerRadius(6);
    f->leftView = std::make_shared<UIView>(CGRect(0, 0, inset, frame.height()));
    f->leftViewMode = UITextFieldViewMode::Always;
    return f;
}
}  // namespace ZVStyle
