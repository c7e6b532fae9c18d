#include "platform/ui/UINavigationController.h"

#include <algorithm>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UITabBarController.h"

namespace {
// A container whose layout calls back into its controller.
class ContainerView : public UIView {
public:
    using UIView::UIView;
    std::function<void()> onLayout;
    void layoutSubviews() override {
        if (onLayout) onLayout();
    }
};
std::chrono::nanoseconds delayFor(bool animated) {
    return std::chrono::nanoseconds(animated ? int64_t(kUITransitionDuration * 1e9) : 0);
}
}  // namespace

// ---- UINavigationBar

UINavigationBar::UINavigationBar() {
    titleLabel_ = std::make_shared<UILabel>();
    titleLabel_->setFont(UIFont::systemFontOfSize(17, UIFontWeight::Semibold));
    titleLabel_->setTextAlignment(NSTextAlignment::Center);
    promptLabel_ = std::make_shared<UILabel>();
    promptLabel_->setFont(UIFont::systemFontOfSize(13));
    promptLabel_->setTextAlignment(NSTextAlignment::Center);
    promptLabel_->setHidden(true);
}

double UINavigationBar::contentHeight() const { return item_ && !item_->prompt.empty() ? 74 : 44; }

void UINavigationBar::setItems(UINavigationItem* top, std::string backTitle, bool showsBack, std::function<void()> onBack) {
    item_ = top;
    // Subviews can only be added once the bar is owned, so the labels join here.
    if (!titleLabel_->superview()) {
        addSubview(titleLabel_);
        addSubview(promptLabel_);
    }
    for (auto& v : itemViews_) v->removeFromSuperview();
    itemViews_.clear();
    if (backButton_) backButton_->removeFromSuperview();
    backButton_.reset();
    if (!top) return;
    if (showsBack && top->leftBarButtonItems.empty() && !top->hidesBackButton) {
        backButton_ = UIButton::buttonWithType(UIButtonType::System);
        backButton_->titleLabel()->setFont(UIFont::systemFontOfSize(17));
        backButton_->setTitle("‹ " + (backTitle.empty() ? std::string("返回") : backTitle), UIControlStateNormal);
        backButton_->addAction(UIControlEventTouchUpInside, [onBack](UIControl&) {
            if (onBack) onBack();
        });
        backButton_->sizeToFit();
        addSubview(backButton_);
    }
    for (auto& list : {top->leftBarButtonItems, top->rightBarButtonItems})
        for (auto& i : list)
            if (auto v = i->barView()) {
                addSubview(v);
                itemViews_.push_back(v);
            }
    if (top->titleView) {
        addSubview(top->titleView);
        itemViews_.push_back(top->titleView);
    }
    titleLabel_->setText(top->title());
    titleLabel_->setHidden(top->titleView != nullptr);
    if (titleTextAttributes.foregroundColor) titleLabel_->setTextColor(*titleTextAttributes.foregroundColor);
    if (titleTextAttributes.font) titleLabel_->setFont(titleTextAttributes.font);
    promptLabel_->setText(top->prompt);
    promptLabel_->setHidden(top->prompt.empty());
    setNeedsLayout();
    setNeedsDisplay();
}

void UINavigationBar::layoutSubviews() {
    CGRect b = bounds();
    double h = 44, top = b.maxY() - h;
    if (!promptLabel_->isHidden()) promptLabel_->setFrame(CGRect(0, top - 30, b.width(), 30));
    double left = 8, right = b.width() - 8;
    auto place = [&](const std::shared_ptr<UIView>& v, bool atLeft) {
        CGSize s = v->bounds().size;
        if (s.width <= 0 || s.height <= 0) s = v->sizeThatFits({0, 0});
        double y = top + (h - s.height) / 2;
        if (atLeft) {
            v->setFrame(CGRect(left, y, s.width, s.height));
            left += s.width + 8;
        } else {
            v->setFrame(CGRect(right - s.width, y, s.width, s.height));
            right -= s.width + 8;
        }
    };
    if (backButton_) place(backButton_, true);
    if (item_) {
        for (auto& i : item_->leftBarButtonItems)
            if (auto v = i->barView()) place(v, true);
        for (auto& i : item_->rightBarButtonItems)
            if (auto v = i->barView()) place(v, false);
    }
    // The title stays centred on the bar, narrowed to the room the items leave.
    double room = std::max(0.0, std::min(b.width() / 2 - left, right - b.width() / 2)) * 2;
    if (item_ && item_->titleView) {
        CGSize s = item_->titleView->bounds().size;
        item_->titleView->setCenter({b.width() / 2, top + h / 2});
        item_->titleView->setBounds(CGRect(0, 0, std::min(s.width, room > 0 ? room : s.width), s.height));
    }
    titleLabel_->setFrame(CGRect((b.width() - room) / 2, top, room, h));
}

void UINavigationBar::drawRect(CGContext& ctx, const CGRect&) {
    CGRect b = bounds();
    if (backgroundImage) backgroundImage->drawInRect(ctx, b);
    else {
        ctx.setFillColor(barTintColor.value_or(UIColor::colorWithWhite(0.97, translucent ? 0.94 : 1)));
        ctx.fillRect(b);
    }
    CGRect line(0, b.maxY(), b.width(), 0.5);
    if (shadowImage) {
        line.size.height = shadowImage->size().height;
        shadowImage->drawInRect(ctx, line);
    } else {
        ctx.setFillColor(UIColor::colorWithWhite(0, 0.3));
        ctx.fillRect(line);
    }
}

// ---- UIToolbar

UIToolbar::UIToolbar() {}

void UIToolbar::setItems(std::vector<std::shared_ptr<UIBarButtonItem>> items, bool) {
    for (auto& v : views_) v->removeFromSuperview();
    views_.clear();
    items_ = std::move(items);
    for (auto& i : items_)
        if (auto v = i->barView()) {
            addSubview(v);
            views_.push_back(v);
        }
    setNeedsLayout();
}

void UIToolbar::layoutSubviews() {
    CGRect b = bounds();
    double h = 44;
    double fixed = 0;
    int flexible = 0;
    for (auto& i : items_) {
        if (i->systemItem == UIBarButtonSystemItem::FlexibleSpace) ++flexible;
        else if (i->systemItem == UIBarButtonSystemItem::FixedSpace) fixed += i->width;
        else if (auto v = i->barView()) {
            CGSize s = v->bounds().size;
            if (s.width <= 0) s = v->sizeThatFits({0, 0});
            fixed += s.width;
        }
    }
    double margin = 16;
    double spare = std::max(0.0, b.width() - 2 * margin - fixed);
    double flex = flexible > 0 ? spare / flexible : 0;
    double x = margin;
    for (auto& i : items_) {
        if (i->systemItem == UIBarButtonSystemItem::FlexibleSpace) x += flex;
        else if (i->systemItem == UIBarButtonSystemItem::FixedSpace) x += i->width;
        else if (auto v = i->barView()) {
            CGSize s = v->bounds().size;
            if (s.width <= 0) s = v->sizeThatFits({0, 0});
            v->setFrame(CGRect(x, (h - s.height) / 2, s.width, s.height));
            x += s.width;
        }
    }
}

void UIToolbar::drawRect(CGContext& ctx, const CGRect&) {
    CGRect b = bounds();
    ctx.setFillColor(barTintColor.value_or(UIColor::colorWithWhite(0.97, 0.94)));
    ctx.fillRect(b);
    ctx.setFillColor(UIColor::colorWithWhite(0, 0.3));
    ctx.fillRect(CGRect(0, 0, b.width(), 0.5));
}

// ---- UINavigationController

UINavigationController::UINavigationController() = default;

UINavigationController::UINavigationController(std::shared_ptr<UIViewController> root) {
    if (root) stack_.push_back(std::move(root));
}

std::shared_ptr<UINavigationController> UINavigationController::withRoot(std::shared_ptr<UIViewController> root) {
    auto nav = std::make_shared<UINavigationController>();
    if (root) nav->setViewControllers({root});
    return nav;
}

const std::shared_ptr<UINavigationBar>& UINavigationController::navigationBar() {
    if (!bar_) bar_ = std::make_shared<UINavigationBar>();
    return bar_;
}

const std::shared_ptr<UIToolbar>& UINavigationController::toolbar() {
    if (!toolbar_) {
        toolbar_ = std::make_shared<UIToolbar>();
        toolbar_->setHidden(toolbarHidden_);
    }
    return toolbar_;
}

const std::shared_ptr<UIPanGestureRecognizer>& UINavigationController::interactivePopGestureRecognizer() {
    if (!popGesture_) {
        popGesture_ = std::make_shared<UIPanGestureRecognizer>();
        std::weak_ptr<UINavigationController> weak = std::static_pointer_cast<UINavigationController>(sharedController());
        popGesture_->addTarget([weak](UIGestureRecognizer& g) {
            auto self = weak.lock();
            if (!self || g.state() != UIGestureRecognizerState::Ended || self->stack_.size() < 2) return;
            auto& pan = static_cast<UIPanGestureRecognizer&>(g);
            CGPoint t = pan.translationInView(self->view().get());
            CGPoint start{pan.locationInView(self->view().get()).x - t.x, 0};
            // Only a swipe that starts at the left edge and crosses a third of the width pops.
            if (start.x <= 20 && t.x > self->view()->bounds().width() / 3) self->popViewControllerAnimated(true);
        });
    }
    return popGesture_;
}

void UINavigationController::loadView() {
    auto v = std::make_shared<ContainerView>(UIScreen::mainScreen().bounds());
    v->setBackgroundColor(UIColor::whiteColor());
    std::weak_ptr<UINavigationController> weak = std::static_pointer_cast<UINavigationController>(sharedController());
    v->onLayout = [weak] {
        if (auto s = weak.lock()) s->layoutBars();
    };
    setView(v);
}

void UINavigationController::viewDidLoad() {
    view()->addSubview(navigationBar());
    view()->addSubview(toolbar());
    view()->addGestureRecognizer(interactivePopGestureRecognizer());
    auto stack = stack_;
    stack_.clear();
    if (!stack.empty()) setViewControllers(stack, false);
}

double UINavigationController::navigationBarBottom() const {
    if (navigationBarHidden_ || !bar_) return 0;
    return UIScreen::mainScreen().statusBarHeight() + bar_->contentHeight();
}

void UINavigationController::layoutBars() {
    CGRect b = view()->bounds();
    double status = UIScreen::mainScreen().statusBarHeight();
    bar_->setHidden(navigationBarHidden_);
    bar_->setFrame(CGRect(0, 0, b.width(), status + bar_->contentHeight()));
    double bottomInset = UIScreen::mainScreen().safeAreaInsets().bottom;
    toolbar_->setFrame(CGRect(0, b.height() - 44 - bottomInset, b.width(), 44 + bottomInset));
    if (auto top = topViewController(); top && top->isViewLoaded() && top->view()->superview() == view())
        top->view()->setFrame(b);
    view()->bringSubviewToFront(bar_);
    view()->bringSubviewToFront(toolbar_);
}

void UINavigationController::updateBars() {
    if (!isViewLoaded()) return;
    auto top = topViewController();
    std::string backTitle;
    if (stack_.size() >= 2) {
        auto& prev = stack_[stack_.size() - 2];
        backTitle = prev->navigationItem().backBarButtonItem ? prev->navigationItem().backBarButtonItem->title
                                                             : prev->navigationItem().title();
        if (backTitle.size() > 12) backTitle = "返回";
    }
    std::weak_ptr<UINavigationController> weak = std::static_pointer_cast<UINavigationController>(sharedController());
    if (top) {
        top->navigationItem().onChange = [weak] {
            if (auto s = weak.lock()) s->updateBars();
        };
    }
    bar_->setItems(top ? &top->navigationItem() : nullptr, backTitle, stack_.size() >= 2, [weak] {
        if (auto s = weak.lock()) s->popViewControllerAnimated(true);
    });
    toolbar_->setItems(top ? top->toolbarItems() : std::vector<std::shared_ptr<UIBarButtonItem>>{});
    if (auto tab = tabBarController()) tab->updateTabBarVisibility();
    view()->setNeedsLayout();
}

std::shared_ptr<UIViewController> UINavigationController::visibleViewController() const {
    auto top = topViewController();
    if (auto p = presentedViewController()) return p;
    return top;
}

void UINavigationController::install(const std::shared_ptr<UIViewController>& vc) {
    auto v = vc->view();
    UIView::performWithoutAnimation([&] {
        v->setFrame(view()->bounds());
        v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        view()->insertSubviewBelow(v, bar_);
    });
}

void UINavigationController::setViewControllers(std::vector<std::shared_ptr<UIViewController>> vcs, bool animated) {
    if (!isViewLoaded()) {
        // Children are attached now; views come when the controller's view loads.
        for (auto& vc : stack_) vc->removeFromParentViewController();
        stack_ = std::move(vcs);
        for (auto& vc : stack_) addChildViewController(vc);
        return;
    }
    auto oldTop = topViewController();
    auto oldStack = stack_;
    for (auto& vc : oldStack)
        if (std::find(vcs.begin(), vcs.end(), vc) == vcs.end()) vc->removeFromParentViewController();
    stack_ = std::move(vcs);
    for (auto& vc : stack_) addChildViewController(vc);
    auto newTop = topViewController();
    if (newTop == oldTop) {
        updateBars();
        return;
    }
    transition(oldTop, newTop, true, animated, {});
}

void UINavigationController::pushViewController(const std::shared_ptr<UIViewController>& vc, bool animated) {
    if (!vc || std::find(stack_.begin(), stack_.end(), vc) != stack_.end()) return;
    if (!isViewLoaded()) {
        stack_.push_back(vc);
        addChildViewController(vc);
        return;
    }
    auto from = topViewController();
    stack_.push_back(vc);
    addChildViewController(vc);
    transition(from, vc, true, animated, {});
}

std::shared_ptr<UIViewController> UINavigationController::popViewControllerAnimated(bool animated) {
    if (stack_.size() < 2) return nullptr;
    auto popped = popToViewController(stack_[stack_.size() - 2], animated);
    return popped.empty() ? nullptr : popped.back();
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::popToRootViewControllerAnimated(bool animated) {
    if (stack_.empty()) return {};
    return popToViewController(stack_.front(), animated);
}

std::vector<std::shared_ptr<UIViewController>> UINavigationController::popToViewController(
    const std::shared_ptr<UIViewController>& vc, bool animated) {
    auto it = std::find(stack_.begin(), stack_.end(), vc);
    if (it == stack_.end() || it + 1 == stack_.end()) return {};
    std::vector<std::shared_ptr<UIViewController>> removed(it + 1, stack_.end());
    auto from = topViewController();
    stack_.erase(it + 1, stack_.end());
    if (!isViewLoaded()) {
        for (auto& r : removed) r->removeFromParentViewController();
        return removed;
    }
    transition(from, vc, false, animated, removed);
    return removed;
}

void UINavigationController::transition(const std::shared_ptr<UIViewController>& from,
                                        const std::shared_ptr<UIViewController>& to, bool push, bool animated,
                                        std::vector<std::shared_ptr<UIViewController>> removed) {
    bool onScreen = isAppeared() || view()->window() != nullptr;
    if (!onScreen) animated = false;
    if (to) {
        to->movingToParent_ = push;
        if (auto d = delegate.lock()) d->navigationController_willShowViewController(*this, *to, animated);
    }
    if (from) from->movingFromParent_ = !push;
    if (to) to->view();  // loads before the old screen hears it goes
    if (onScreen && from && from != to) from->beginAppearanceTransition(false, animated);
    if (to) install(to);
    if (onScreen && to) to->beginAppearanceTransition(true, animated);
    updateBars();
    if (animated && to && from && from != to) {
        // The new screen slides in from the right on push; the old one slides out on pop.
        CGRect b = view()->bounds();
        if (push) {
            auto v = to->view();
            UIView::performWithoutAnimation([&] { v->setCenter({b.midX() + b.width(), b.midY()}); });
            UIView::animateWithDuration(kUITransitionDuration, [&] { v->setCenter({b.midX(), b.midY()}); });
        } else {
            auto v = from->view();
            view()->bringSubviewToFront(v);
            view()->bringSubviewToFront(bar_);
            UIView::animateWithDuration(kUITransitionDuration, [&] { v->setCenter({b.midX() + b.width(), b.midY()}); });
        }
    }
    auto self = std::static_pointer_cast<UINavigationController>(sharedController());
    DispatchQueue::main()->asyncAfter(delayFor(animated), [self, from, to, onScreen, animated, removed] {
        // A screen shown again before its slide out ended (back tapped while
        // it came in) keeps its view.
        bool fromShownAgain = from && self->topViewController() == from;
        if (from && from != to && !fromShownAgain && (!to || from->view() != to->view())) {
            from->view()->removeFromSuperview();
            UIView::performWithoutAnimation([&] { from->view()->setFrame(self->view()->bounds()); });
        }
        if (onScreen && from && from != to) from->endAppearanceTransition();
        if (onScreen && to) to->endAppearanceTransition();
        for (auto& r : removed)
            if (std::find(self->stack_.begin(), self->stack_.end(), r) == self->stack_.end())
                r->removeFromParentViewController();
        if (to) to->movingToParent_ = false;
        if (from) from->movingFromParent_ = false;
        if (to)
            if (auto d = self->delegate.lock()) d->navigationController_didShowViewController(*self, *to, animated);
    });
}

void UINavigationController::setNavigationBarHidden(bool hidden, bool) {
    navigationBarHidden_ = hidden;
    if (bar_) view()->setNeedsLayout();
}

void UINavigationController::setToolbarHidden(bool hidden, bool) {
    toolbarHidden_ = hidden;
    if (toolbar_) toolbar_->setHidden(hidden);
}
