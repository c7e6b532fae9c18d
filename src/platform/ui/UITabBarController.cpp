#include "platform/ui/UITabBarController.h"

#include "platform/ui/TextLayout.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UIScreen.h"

namespace {
class TabContainerView : public UIView {
public:
    using UIView::UIView;
    std::function<void()> onLayout;
    void layoutSubviews() override {
        if (onLayout) onLayout();
    }
};
}  // namespace

UITabBar::UITabBar() {}

void UITabBar::setItems(std::vector<UITabBarItem*> items, size_t selected) {
    items_ = std::move(items);
    selected_ = selected;
    setNeedsDisplay();
}

CGRect UITabBar::itemFrame(size_t i) const {
    if (items_.empty()) return {};
    double w = bounds().width() / items_.size();
    return CGRect(w * i, 0, w, 49);
}

void UITabBar::drawRect(CGContext& ctx, const CGRect&) {
    CGRect b = bounds();
    if (backgroundImage) backgroundImage->drawInRect(ctx, b);
    else {
        ctx.setFillColor(barTintColor.value_or(UIColor::colorWithWhite(0.97, 0.94)));
        ctx.fillRect(b);
    }
    if (shadowImage) shadowImage->drawInRect(ctx, CGRect(0, 0, b.width(), std::max(0.5, shadowImage->size().height)));
    else {
        ctx.setFillColor(UIColor::colorWithWhite(0, 0.3));
        ctx.fillRect(CGRect(0, 0, b.width(), 0.5));
    }
    UIColor selectedColor = tintColor();
    UIColor normalColor = unselectedItemTintColor.value_or(UIColor::colorWithWhite(0.57));
    for (size_t i = 0; i < items_.size(); ++i) {
        auto* item = items_[i];
        bool sel = i == selected_;
        CGRect f = itemFrame(i);
        auto img = sel && item->selectedImage ? item->selectedImage : item->image;
        UIColor color = sel ? selectedColor : normalColor;
        auto attrs = item->titleAttributes.find(sel ? 4u : 0u);
        if (attrs != item->titleAttributes.end() && attrs->second.foregroundColor) color = *attrs->second.foregroundColor;
        if (img) {
            CGSize s = img->size();
            double k = s.height > 30 ? 30 / s.height : 1;
            CGRect r(f.midX() - s.width * k / 2, f.minY() + 5 + (30 - s.height * k) / 2, s.width * k, s.height * k);
            img->drawInRect(ctx, r, &color);
        }
        TextLayout::Options o;
        o.font = UIFont::systemFontOfSize(10, UIFontWeight::Medium);
        o.color = color;
        o.alignment = NSTextAlignment::Center;
        o.width = f.width();
        TextLayout(item->title, o).draw(ctx, {f.minX(), f.minY() + 35});
    }
}

void UITabBar::touchesEnded(const UITouchSet& touches, UIEvent*) {
    CGPoint p = touches.front()->locationInView(this);
    for (size_t i = 0; i < items_.size(); ++i)
        if (itemFrame(i).contains(p)) {
            if (onSelect) onSelect(i);
            return;
        }
}

const std::shared_ptr<UITabBar>& UITabBarController::tabBar() {
    if (!bar_) bar_ = std::make_shared<UITabBar>();
    return bar_;
}

void UITabBarController::loadView() {
    auto v = std::make_shared<TabContainerView>(UIScreen::mainScreen().bounds());
    v->setBackgroundColor(UIColor::whiteColor());
    std::weak_ptr<UITabBarController> weak = std::static_pointer_cast<UITabBarController>(sharedController());
    v->onLayout = [weak] {
        if (auto s = weak.lock()) s->layout();
    };
    setView(v);
}

void UITabBarController::viewDidLoad() {
    view()->addSubview(tabBar());
    std::weak_ptr<UITabBarController> weak = std::static_pointer_cast<UITabBarController>(sharedController());
    bar_->onSelect = [weak](size_t i) {
        auto s = weak.lock();
        if (!s || i >= s->tabs_.size()) return;
        if (auto d = s->delegate.lock(); d && !d->tabBarController_shouldSelectViewController(*s, *s->tabs_[i])) return;
        s->setSelectedIndex(i);
        if (auto d = s->delegate.lock()) d->tabBarController_didSelectViewController(*s, *s->tabs_[i]);
    };
    if (!tabs_.empty()) show(selected_);
}

void UITabBarController::layout() {
    CGRect b = view()->bounds();
    double h = UIScreen::mainScreen().tabBarHeight();
    bar_->setFrame(CGRect(0, b.height() - h, b.width(), h));
    if (auto vc = selectedViewController(); vc && vc->isViewLoaded()) vc->view()->setFrame(b);
    view()->bringSubviewToFront(bar_);
}

void UITabBarController::setViewControllers(std::vector<std::shared_ptr<UIViewController>> vcs, bool) {
    if (isViewLoaded())
        if (auto old = selectedViewController(); old && old->isViewLoaded()) {
            if (isAppeared()) old->beginAppearanceTransition(false, false);
            old->view()->removeFromSuperview();
            if (isAppeared()) old->endAppearanceTransition();
        }
    for (auto& vc : tabs_) vc->removeFromParentViewController();
    tabs_ = std::move(vcs);
    for (auto& vc : tabs_) addChildViewController(vc);
    selected_ = 0;
    if (isViewLoaded() && !tabs_.empty()) show(0);
}

std::shared_ptr<UIViewController> UITabBarController::selectedViewController() const {
    return selected_ < tabs_.size() ? tabs_[selected_] : nullptr;
}

void UITabBarController::setSelectedViewController(const std::shared_ptr<UIViewController>& vc) {
    auto it = std::find(tabs_.begin(), tabs_.end(), vc);
    if (it != tabs_.end()) setSelectedIndex(size_t(it - tabs_.begin()));
}

void UITabBarController::setSelectedIndex(size_t index) {
    if (index >= tabs_.size()) return;
    if (!isViewLoaded()) {
        selected_ = index;
        return;
    }
    if (index == selected_ && tabs_[index]->isViewLoaded() && tabs_[index]->view()->superview() == view()) return;
    auto old = selectedViewController();
    bool onScreen = isAppeared();
    if (old && old->isViewLoaded() && old->view()->superview() == view()) {
        if (onScreen) old->beginAppearanceTransition(false, false);
        old->view()->removeFromSuperview();
        if (onScreen) old->endAppearanceTransition();
    }
    selected_ = index;
    show(index);
}

void UITabBarController::show(size_t index) {
    auto vc = tabs_[index];
    bool onScreen = isAppeared();
    auto v = vc->view();
    v->setFrame(view()->bounds());
    v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    if (onScreen) vc->beginAppearanceTransition(true, false);
    view()->insertSubviewBelow(v, bar_);
    if (onScreen) vc->endAppearanceTransition();
    std::vector<UITabBarItem*> items;
    for (auto& t : tabs_) items.push_back(&t->tabBarItem());
    bar_->setItems(items, index);
    updateTabBarVisibility();
}

void UITabBarController::updateTabBarVisibility() {
    if (!bar_) return;
    bool hide = false;
    if (auto nav = std::dynamic_pointer_cast<UINavigationController>(selectedViewController())) {
        auto& stack = nav->viewControllers();
        for (size_t i = 1; i < stack.size(); ++i)
            if (stack[i]->hidesBottomBarWhenPushed()) hide = true;
    }
    bar_->setHidden(hide);
}
