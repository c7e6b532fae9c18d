#include "platform/ui/UIViewController.h"

#include <algorithm>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/ui/UIBarItems.h"
#include "platform/ui/UINavigationController.h"
#include "platform/ui/UINib.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UITabBarController.h"
#include "platform/ui/UIWindow.h"

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
    if (!nibName_.empty()) {
        auto nib = UINib::nibWithNibName(nibName_);
        auto views = nib ? nib->instantiateWithOwner(this) : std::vector<std::shared_ptr<UIView>>{};
        if (!views.empty() && views.front()) {
            setView(views.front());
            return;
        }
        NSLog("Could not load the nib named \"%s\"", nibName_.c_str());
    }
    auto v = std::make_shared<UIView>(UIScreen::mainScreen().bounds());
    v->setBackgroundColor(UIColor::whiteColor());
    setView(v);
}

void UIViewController::setTitle(const std::string& t) {
    title_ = t;
    if (navigationItem_) navigationItem_->setTitle(t);
    if (auto nav = navigationController()) nav->updateBars();
}

std::shared_ptr<UIResponder> UIViewController::nextResponder() const {
    if (view_ && view_->superview()) return view_->superview();
    if (auto p = parent_.lock()) return p;
    return presenting_.lock();
}

std::shared_ptr<UIWindow> UIViewController::viewWindow() const { return view_ ? view_->window() : nullptr; }

// ---- Containment

void UIViewController::addChildViewController(const std::shared_ptr<UIViewController>& child) {
    if (!child || child.get() == this) return;
    if (auto old = child->parentViewController(); old && old.get() != this) child->removeFromParentViewController();
    if (std::find(children_.begin(), children_.end(), child) != children_.end()) return;
    child->willMoveToParentViewController(this);
    children_.push_back(child);
    child->parent_ = sharedController();
}

void UIViewController::removeFromParentViewController() {
    auto p = parent_.lock();
    if (!p) return;
    auto self = sharedController();
    std::erase(p->children_, self);
    parent_.reset();
    didMoveToParentViewController(nullptr);
}

void UIViewController::beginAppearanceTransition(bool appearing, bool animated) {
    if (appearing) {
        if (appearance_ == Appearance::Appeared || appearance_ == Appearance::Appearing) return;
        view();
        appearance_ = Appearance::Appearing;
        viewWillAppear(animated);
    } else {
        if (appearance_ == Appearance::Disappeared || appearance_ == Appearance::Disappearing) return;
        appearance_ = Appearance::Disappearing;
        viewWillDisappear(animated);
    }
    // Children whose views are shown inside this one follow.
    auto kids = children_;
    for (auto& c : kids)
        if (c->isViewLoaded() && view_ && c->view_->isDescendantOfView(view_.get()))
            c->beginAppearanceTransition(appearing, animated);
}

void UIViewController::endAppearanceTransition() {
    if (appearance_ == Appearance::Appearing) {
        appearance_ = Appearance::Appeared;
        viewDidAppear(false);
    } else if (appearance_ == Appearance::Disappearing) {
        appearance_ = Appearance::Disappeared;
        viewDidDisappear(false);
    } else {
        return;
    }
    auto kids = children_;
    for (auto& c : kids) c->endAppearanceTransition();
}

// ---- Presentation

namespace {
bool coversPresenter(UIModalPresentationStyle s) {
    return s != UIModalPresentationStyle::OverFullScreen && s != UIModalPresentationStyle::OverCurrentContext &&
           s != UIModalPresentationStyle::Custom;
}
std::chrono::nanoseconds transitionDelay(bool animated) {
    return std::chrono::nanoseconds(animated ? int64_t(kUITransitionDuration * 1e9) : 0);
}
}  // namespace

void UIViewController::presentViewController(const std::shared_ptr<UIViewController>& vc, bool animated,
                                             std::function<void()> completion) {
    if (!vc) return;
    auto window = viewWindow();
    if (!window) {
        NSLog("Warning: Attempt to present a view controller on one whose view is not in the window hierarchy");
        return;
    }
    if (presented_) {
        NSLog("Warning: Attempt to present a view controller on one which is already presenting");
        return;
    }
    if (vc->presentingViewController() || vc->parentViewController()) {
        NSLog("Application tried to present a controller that is already presented or has a parent");
        return;
    }
    auto self = sharedController();
    presented_ = vc;
    vc->presenting_ = self;
    vc->beingPresented_ = true;
    bool covers = coversPresenter(vc->modalPresentationStyle_);
    auto v = vc->view();
    CGRect target = window->bounds();
    vc->beginAppearanceTransition(true, animated);
    if (covers) beginAppearanceTransition(false, animated);
    UIView::performWithoutAnimation([&] {
        v->setFrame(target);
        v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        window->addSubview(v);
    });
    NSNotificationCenter::defaultCenter().postNotificationName(UIViewControllerPresentationsDidChangeNotification, this);
    if (animated && vc->fadesWhenPresented()) {
        double a = v->alpha();
        UIView::performWithoutAnimation([&] { v->setAlpha(0); });
        UIView::animateWithDuration(kUITransitionDuration, [&] { v->setAlpha(a); });
    } else if (animated) {
        // Slides up from the bottom edge.
        UIView::performWithoutAnimation([&] { v->setCenter({target.midX(), target.midY() + target.height()}); });
        UIView::animateWithDuration(kUITransitionDuration, [&] { v->setCenter({target.midX(), target.midY()}); });
    }
    std::weak_ptr<UIViewController> weakSelf = self;
    DispatchQueue::main()->asyncAfter(transitionDelay(animated), [weakSelf, vc, covers, completion = std::move(completion)] {
        vc->beingPresented_ = false;
        vc->endAppearanceTransition();
        if (auto s = weakSelf.lock(); s && covers) s->endAppearanceTransition();
        if (completion) completion();
    });
}

void UIViewController::dismissViewControllerAnimated(bool animated, std::function<void()> completion) {
    if (!presented_) {
        if (auto p = presenting_.lock()) p->dismissViewControllerAnimated(animated, std::move(completion));
        return;
    }
    finishDismissal(animated, std::move(completion));
}

void UIViewController::finishDismissal(bool animated, std::function<void()> completion) {
    auto self = sharedController();
    auto vc = presented_;
    if (vc->beingDismissed_) return;
    // Everything presented above goes at once, without its own animation.
    if (vc->presented_) vc->finishDismissal(false, {});
    vc->beingDismissed_ = true;
    bool covers = coversPresenter(vc->modalPresentationStyle_);
    vc->beginAppearanceTransition(false, animated);
    if (covers) beginAppearanceTransition(true, animated);
    auto v = vc->view();
    if (animated && vc->fadesWhenPresented()) {
        // The view keeps its alpha for the next presentation once it is removed.
        double a = v->alpha();
        UIView::animateWithDuration(kUITransitionDuration, [&] { v->setAlpha(0); });
        DispatchQueue::main()->asyncAfter(transitionDelay(true), [v, a] { UIView::performWithoutAnimation([&] { v->setAlpha(a); }); });
    } else if (animated) {
        CGRect b = v->bounds();
        CGPoint c = v->center();
        UIView::animateWithDuration(kUITransitionDuration, [&] { v->setCenter({c.x, c.y + b.height()}); });
    }
    DispatchQueue::main()->asyncAfter(transitionDelay(animated), [self, vc, covers, completion = std::move(completion)] {
        vc->view()->removeFromSuperview();
        vc->endAppearanceTransition();
        if (covers) self->endAppearanceTransition();
        if (self->presented_ == vc) self->presented_.reset();
        vc->presenting_.reset();
        vc->beingDismissed_ = false;
        NSNotificationCenter::defaultCenter().postNotificationName(UIViewControllerPresentationsDidChangeNotification,
                                                                   self.get());
        if (completion) completion();
    });
}

// ---- Bars

std::shared_ptr<UINavigationController> UIViewController::navigationController() const {
    for (auto p = parent_.lock(); p; p = p->parent_.lock())
        if (auto nav = std::dynamic_pointer_cast<UINavigationController>(p)) return nav;
    return nullptr;
}

std::shared_ptr<UITabBarController> UIViewController::tabBarController() const {
    for (auto p = parent_.lock(); p; p = p->parent_.lock())
        if (auto tab = std::dynamic_pointer_cast<UITabBarController>(p)) return tab;
    return nullptr;
}

UINavigationItem& UIViewController::navigationItem() {
    if (!navigationItem_) {
        navigationItem_ = std::make_unique<UINavigationItem>();
        navigationItem_->setTitle(title_);
    }
    return *navigationItem_;
}

UITabBarItem& UIViewController::tabBarItem() {
    if (!tabBarItem_) {
        tabBarItem_ = std::make_unique<UITabBarItem>();
        tabBarItem_->title = title_;
    }
    return *tabBarItem_;
}

void UIViewController::setToolbarItems(std::vector<std::shared_ptr<UIBarButtonItem>> items, bool) {
    toolbarItems_ = std::move(items);
    if (auto nav = navigationController()) nav->updateBars();
}
