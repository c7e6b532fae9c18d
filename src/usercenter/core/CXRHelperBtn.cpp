#include "usercenter/core/CXRHelperBtn.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/graphics/CGPath.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/ShareVale.h"
#include "usercenter/core/URLEncode.h"
#include "usercenter/core/ZVLoginAPI.h"
#include "usercenter/core/ZVUserCentre.h"

namespace {

// A screen-sized window that lets every touch through except those on its
// subviews' own subviews (the button), so the game underneath stays usable.
class PassThroughWindow : public UIWindow {
public:
    using UIWindow::UIWindow;
    std::shared_ptr<UIView> hitTest(CGPoint p, UIEvent* e) override {
        auto hit = UIWindow::hitTest(p, e);
        if (!hit || hit.get() == this) return nullptr;
        if (auto root = rootViewController(); root && root->isViewLoaded() && hit == root->view()) return nullptr;
        return hit;
    }
};

}  // namespace

std::shared_ptr<CXRHelperBtn> CXRHelperBtn::sharedButton() {
    static auto* button = new std::shared_ptr<CXRHelperBtn>([] {
        auto b = std::make_shared<CXRHelperBtn>();
        if (auto image = URLEncode::sdkImageNamed("ZV_float")) b->setImage(image, UIControlStateNormal);
        auto window = std::make_shared<PassThroughWindow>(UIScreen::mainScreen().bounds());
        window->setOpaque(false);
        window->setBackgroundColor(UIColor::clearColor());
        window->setWindowLevel(kWindowLevel);
        auto root = std::make_shared<UIViewController>();
        window->setRootViewController(root);
        root->view()->setBackgroundColor(UIColor::clearColor());
        root->view()->setOpaque(false);
        root->view()->addSubview(b);
        // It starts half tucked behind the left edge, covering only the page's margin; a drag brings it out.
        b->setFrame(CGRect(-kSide / 2, UIScreen::mainScreen().bounds().height() / 3, kSide, kSide));
        b->buttonWindow_ = window;
        std::weak_ptr<CXRHelperBtn> weak = b;
        b->addAction(UIControlEventTouchUpInside, [weak](UIControl&) {
            if (auto self = weak.lock()) self->doShowHelperVC();
        });
        auto pan = std::make_shared<UIPanGestureRecognizer>();
        pan->addTarget(b, &CXRHelperBtn::dragged);
        b->addGestureRecognizer(pan);
        b->setHidden(true);
        NSNotificationCenter::defaultCenter().addObserver(
            b.get(), UIViewControllerPresentationsDidChangeNotification, nullptr, [weak](const NSNotification&) {
                if (auto self = weak.lock()) self->placeWindow();
            });
        return b;
    }());
    return *button;
}

bool CXRHelperBtn::gameScreenShown() {
    for (auto& w : UIApplication::sharedApplication().windows()) {
        if (w->windowLevel() >= kWindowLevel || !w->rootViewController()) continue;
        for (auto vc = w->rootViewController()->presentedViewController(); vc; vc = vc->presentedViewController())
            if (!vc->fadesWhenPresented()) return true;
    }
    return false;
}

void CXRHelperBtn::placeWindow() { buttonWindow_->setHidden(!wanted_ || gameScreenShown()); }

CXRHelperBtn::CXRHelperBtn() {
    setAccessibilityIdentifier("helper_button");
    setOpaque(false);
}

void CXRHelperBtn::drawRect(CGContext& ctx, const CGRect& rect) {
    if (!currentImage()) {
        // Without the SDK bundle's image: a blue disc with a white ring.
        CGRect b = bounds();
        ctx.setFillColor(UIColor::fromRGB(0x4988FD, 0.9));
        ctx.fillEllipseInRect(b.insetBy(2, 2));
        ctx.setStrokeColor(UIColor::whiteColor());
        ctx.setLineWidth(3);
        CGPath ring;
        ring.addEllipseInRect(b.insetBy(14, 14));
        ctx.strokePath(ring);
    }
    UIButton::drawRect(ctx, rect);
}

void CXRHelperBtn::show() {
    auto b = sharedButton();
    b->wanted_ = true;
    b->setHidden(false);
    if (auto sv = b->superview()) sv->bringSubviewToFront(b);
    b->placeWindow();
}

void CXRHelperBtn::hide() {
    auto b = sharedButton();
    b->wanted_ = false;
    b->setHidden(true);
    b->placeWindow();
}

void CXRHelperBtn::attachLogin(LoginFailure failure) {
    loginFailure_ = std::move(failure);
    limitShown_ = false;
    startOnlineTimer();
}

void CXRHelperBtn::startOnlineTimer() {
    stopOnlineTimer();
    timer_ = DispatchTimer::create(DispatchQueue::main());
    auto interval = std::chrono::nanoseconds(int64_t(kOnlineReportSeconds * 1e9));
    timer_->schedule(interval, interval);
    std::weak_ptr<CXRHelperBtn> weak = std::static_pointer_cast<CXRHelperBtn>(sharedView());
    timer_->setEventHandler([weak] {
        if (auto self = weak.lock()) self->onlineTimerFired();
    });
    timer_->resume();
}

void CXRHelperBtn::stopOnlineTimer() {
    if (!timer_) return;
    timer_->cancel();
    timer_.reset();
}

void CXRHelperBtn::onlineTimerFired() {
    if (!ShareVale::sharedInstance().isLogin) return;
    std::weak_ptr<CXRHelperBtn> weak = std::static_pointer_cast<CXRHelperBtn>(sharedView());
    ZVLoginAPI::reportOnlineTime(int64_t(kOnlineReportSeconds), [weak](const Value& reply) {
        auto self = weak.lock();
        if (!self || !self->timer_ || self->limitShown_) return;
        if (ZVReplyStatus(reply) != kPlayTimeOverStatus) return;
        // The day's play time is used up: tell the player, then log out.
        self->limitShown_ = true;
        self->stopOnlineTimer();
        std::string text = ZVReplyMessage(reply, "您今日的游戏时间已用完");
        auto alert = std::make_shared<UIAlertView>("温馨提示", text);
        alert->addButtonWithTitle("确定");
        alert->clickBlock = [weak](long) {
            if (auto s = weak.lock()) s->logoutFromUserCentre();
        };
        alert->show();
    });
}

void CXRHelperBtn::doShowHelperVC() {
    if (window_) return;  // already open
    auto centre = ZVMakeUserCentreController();
    if (!centre) return;
    auto window = std::make_shared<UIWindow>(UIScreen::mainScreen().bounds());
    window->setBackgroundColor(UIColor::whiteColor());
    window->setRootViewController(std::make_shared<UIViewController>());
    window->setWindowLevel(UIWindowLevelStatusBar + 1);
    window->makeKeyAndVisible();
    window_ = window;
    setHidden(true);

    centre->setModalPresentationStyle(UIModalPresentationStyle::FullScreen);
    auto* host = dynamic_cast<ZVUserCentreController*>(centre.get());
    std::weak_ptr<CXRHelperBtn> weak = std::static_pointer_cast<CXRHelperBtn>(sharedView());
    host->setLogoutBlock([weak] {
        if (auto self = weak.lock()) self->logoutFromUserCentre();
    });
    host->setBackBlock([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->destoryWindow();
        if (!ShareVale::sharedInstance().isHideSuspend) CXRHelperBtn::show();
    });
    window->rootViewController()->presentViewController(centre, false);
}

void CXRHelperBtn::logoutFromUserCentre() {
    auto failure = loginFailure_;
    if (failure) failure(-9, "注销");
    stopOnlineTimer();
    destoryWindow();
    // The player is logged out for the SDK too: the server hears of it and
    // the next start does not log in by itself.
    auto& share = ShareVale::sharedInstance();
    if (share.isLogin) ZVLoginAPI::reportLogout(share.userName(), share.token());
    share.endLogin();
    CXRHelperBtn::hide();
}

void CXRHelperBtn::destoryWindow() {
    auto window = window_;
    if (!window) return;
    window_.reset();
    UIView::animateWithDuration(
        0.3, [window] { window->setBackgroundColor(UIColor::clearColor()); },
        [window](bool) {
            auto root = window->rootViewController();
            if (root) root->removeFromParentViewController();
            window->setRootViewController(nullptr);
            window->setHidden(true);
        });
}

void CXRHelperBtn::dragged(UIPanGestureRecognizer* pan) {
    if (!pan) return;
    auto sv = superview();
    if (!sv) return;
    switch (pan->state()) {
    case UIGestureRecognizerState::Began: dragStart_ = center(); break;
    case UIGestureRecognizerState::Changed: {
        CGPoint t = pan->translationInView(sv.get());
        setCenter({dragStart_.x + t.x, dragStart_.y + t.y});
        break;
    }
    case UIGestureRecognizerState::Ended:
    case UIGestureRecognizerState::Cancelled: settleAtEdge(); break;
    default: break;
    }
}

void CXRHelperBtn::settleAtEdge() {
    auto sv = superview();
    if (!sv) return;
    CGRect area = sv->bounds();
    UIEdgeInsets safe = UIScreen::mainScreen().safeAreaInsets();
    double half = kSide / 2;
    double x = center().x < area.midX() ? half : area.width() - half;
    double y = std::clamp(center().y, safe.top + half, area.height() - safe.bottom - half);
    auto self = sharedView();
    UIView::animateWithDuration(0.2, [self, x, y] { self->setCenter({x, y}); });
}
