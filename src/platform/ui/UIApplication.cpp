#include "platform/ui/UIApplication.h"

#include <algorithm>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/ui/UIScrollView.h"

UIApplication& UIApplication::sharedApplication() {
    static UIApplication* app = new UIApplication();
    return *app;
}

std::vector<std::shared_ptr<UIWindow>> UIApplication::windows() const {
    auto out = windows_;
    std::stable_sort(out.begin(), out.end(), [](auto& a, auto& b) { return a->windowLevel() < b->windowLevel(); });
    return out;
}

void UIApplication::setKeyWindow(const std::shared_ptr<UIWindow>& w) {
    keyWindow_ = w;
    windowsDidChange();
}

void UIApplication::addWindow(const std::shared_ptr<UIWindow>& w) {
    if (std::find(windows_.begin(), windows_.end(), w) == windows_.end()) windows_.push_back(w);
    windowsDidChange();
}

void UIApplication::removeWindow(const UIWindow* w) {
    std::erase_if(windows_, [&](auto& x) { return x.get() == w; });
    if (keyWindow_.lock().get() == w) {
        // The highest remaining window becomes key, as on the platform.
        auto rest = windows();
        keyWindow_ = rest.empty() ? nullptr : rest.back();
    }
    windowsDidChange();
}

void UIApplication::setNetworkActivityIndicatorVisible(bool visible) {
    if (visible == networkActivityIndicatorVisible_) return;
    networkActivityIndicatorVisible_ = visible;
    if (networkActivityIndicatorObserver_) networkActivityIndicatorObserver_(visible);
}

void UIApplication::windowsDidChange() {
    if (windowsObserver_) windowsObserver_();
}

void UIApplication::didFinishLaunching(const Value& options) {
    if (delegate_) delegate_->application_didFinishLaunchingWithOptions(*this, options);
}

void UIApplication::willResignActive() {
    if (state_ != UIApplicationState::Active) return;
    state_ = UIApplicationState::Inactive;
    if (delegate_) delegate_->applicationWillResignActive(*this);
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationWillResignActiveNotification);
}

void UIApplication::didEnterBackground() {
    if (state_ == UIApplicationState::Background) return;
    if (state_ == UIApplicationState::Active) willResignActive();
    state_ = UIApplicationState::Background;
    if (delegate_) delegate_->applicationDidEnterBackground(*this);
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidEnterBackgroundNotification);
}

void UIApplication::willEnterForeground() {
    if (state_ != UIApplicationState::Background) return;
    state_ = UIApplicationState::Inactive;
    if (delegate_) delegate_->applicationWillEnterForeground(*this);
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationWillEnterForegroundNotification);
}

void UIApplication::didBecomeActive() {
    if (state_ == UIApplicationState::Active) return;
    if (state_ == UIApplicationState::Background) willEnterForeground();
    state_ = UIApplicationState::Active;
    if (delegate_) delegate_->applicationDidBecomeActive(*this);
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidBecomeActiveNotification);
}

void UIApplication::willTerminate() {
    if (delegate_) delegate_->applicationWillTerminate(*this);
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationWillTerminateNotification);
}

bool UIApplication::openURLFromOutside(const NSURL& url, const Value& options) {
    if (!delegate_) return false;
    return delegate_->application_openURL_options(*this, url, options);
}

bool UIApplication::dispatchTouch(int touchId, UITouchPhase phase, CGPoint location) {
    if (phase == UITouchPhase::Began) {
        auto ws = windows();
        for (auto it = ws.rbegin(); it != ws.rend(); ++it) {
            auto& w = *it;
            if (!w->isUserInteractionEnabled()) continue;
            if (w->sendTouch(touchId, phase, location)) {
                touchWindows_[touchId] = w;
                return true;
            }
        }
        return false;
    }
    auto it = touchWindows_.find(touchId);
    if (it == touchWindows_.end()) return false;
    auto w = it->second.lock();
    if (phase == UITouchPhase::Ended || phase == UITouchPhase::Cancelled) touchWindows_.erase(it);
    return w && w->sendTouch(touchId, phase, location);
}

bool UIApplication::dispatchScroll(CGPoint location, CGPoint delta) {
    auto ws = windows();
    for (auto it = ws.rbegin(); it != ws.rend(); ++it) {
        auto& w = *it;
        if (!w->isUserInteractionEnabled()) continue;
        auto hit = w->hitTestWindow(location);
        if (!hit) continue;
        for (auto v = hit; v; v = v->superview())
            if (auto* scroll = dynamic_cast<UIScrollView*>(v.get()); scroll && scroll->scrollWheel(delta)) break;
        return true;
    }
    return false;
}

std::shared_ptr<UIResponder> UIApplication::textInputResponder() const {
    if (auto k = keyWindow())
        if (auto r = k->firstResponder()) return r;
    auto ws = windows();
    for (auto it = ws.rbegin(); it != ws.rend(); ++it)
        if (auto r = (*it)->firstResponder()) return r;
    return nullptr;
}
