#include "platform/ui/UIBarItems.h"

#include "platform/ui/UIButton.h"

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::withTitle(const std::string& title, UIBarButtonItemStyle style,
                                                            Action action) {
    auto i = std::make_shared<UIBarButtonItem>();
    i->title = title;
    i->style = style;
    i->action = std::move(action);
    return i;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::withImage(std::shared_ptr<UIImage> image, Action action) {
    auto i = std::make_shared<UIBarButtonItem>();
    i->image = std::move(image);
    i->action = std::move(action);
    return i;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::withCustomView(std::shared_ptr<UIView> view) {
    auto i = std::make_shared<UIBarButtonItem>();
    i->customView = std::move(view);
    return i;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::withSystemItem(UIBarButtonSystemItem item, Action action) {
    auto i = std::make_shared<UIBarButtonItem>();
    i->systemItem = item;
    i->action = std::move(action);
    switch (item) {
        case UIBarButtonSystemItem::Done: i->title = "完成"; i->style = UIBarButtonItemStyle::Done; break;
        case UIBarButtonSystemItem::Cancel: i->title = "取消"; break;
        case UIBarButtonSystemItem::Edit: i->title = "编辑"; break;
        case UIBarButtonSystemItem::Save: i->title = "存储"; break;
        case UIBarButtonSystemItem::Add: i->title = "+"; break;
        case UIBarButtonSystemItem::Close: i->title = "关闭"; break;
        default: break;
    }
    return i;
}

void UIBarButtonItem::setTitle(const std::string& t) {
    title = t;
    auto b = std::dynamic_pointer_cast<UIButton>(view_);
    if (!b) return;
    b->setTitle(t, UIControlStateNormal);
    b->sizeToFit();
    if (auto bar = b->superview()) bar->setNeedsLayout();
}

void UIBarButtonItem::setEnabled(bool e) {
    enabled_ = e;
    if (auto b = std::dynamic_pointer_cast<UIButton>(view_)) b->setEnabled(e);
}

UITextAttributes UIBarButtonItem::titleTextAttributes(unsigned state) const {
    auto it = titleAttributes_.find(state);
    if (it != titleAttributes_.end()) return it->second;
    it = titleAttributes_.find(0);
    return it == titleAttributes_.end() ? UITextAttributes{} : it->second;
}

std::shared_ptr<UIView> UIBarButtonItem::barView() {
    if (customView) return customView;
    if (systemItem == UIBarButtonSystemItem::FlexibleSpace || systemItem == UIBarButtonSystemItem::FixedSpace) return nullptr;
    if (!view_) {
        auto b = UIButton::buttonWithType(UIButtonType::System);
        auto normal = titleTextAttributes(0), disabled = titleTextAttributes(UIControlStateDisabled);
        b->titleLabel()->setFont(normal.font ? normal.font
                                             : UIFont::systemFontOfSize(17, style == UIBarButtonItemStyle::Done
                                                                                ? UIFontWeight::Semibold
                                                                                : UIFontWeight::Regular));
        if (!title.empty()) b->setTitle(title, UIControlStateNormal);
        if (image) b->setImage(image, UIControlStateNormal);
        if (normal.foregroundColor) b->setTitleColor(*normal.foregroundColor, UIControlStateNormal);
        if (disabled.foregroundColor) b->setTitleColor(*disabled.foregroundColor, UIControlStateDisabled);
        if (tintColor) b->setTintColor(tintColor);
        b->setEnabled(enabled_);
        std::weak_ptr<UIBarButtonItem> weak = shared_from_this();
        b->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto s = weak.lock()) s->sendAction();
        });
        b->sizeToFit();
        view_ = b;
    }
    return view_;
}

void UINavigationItem::setLeftBarButtonItem(std::shared_ptr<UIBarButtonItem> i, bool) {
    leftBarButtonItems.clear();
    if (i) leftBarButtonItems.push_back(std::move(i));
    changed();
}

void UINavigationItem::setRightBarButtonItem(std::shared_ptr<UIBarButtonItem> i, bool) {
    rightBarButtonItems.clear();
    if (i) rightBarButtonItems.push_back(std::move(i));
    changed();
}
