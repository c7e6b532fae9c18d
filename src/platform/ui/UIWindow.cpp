#include "platform/ui/UIWindow.h"

#include <algorithm>

#include "platform/foundation/Files.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/DisplayLoop.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIGestureRecognizer.h"
#include "platform/ui/UIKeyboard.h"
#include "platform/ui/UIScreen.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/ViewRenderer.h"

UIWindow::UIWindow() : UIWindow(UIScreen::mainScreen().bounds()) {}

UIWindow::UIWindow(const CGRect& frame) : UIView(frame) { UIView::setHidden(true); }

UIWindow::~UIWindow() = default;

std::shared_ptr<UIWindow> UIWindow::window() const {
    // Not yet owned (inside the constructor): no window to report.
    return std::static_pointer_cast<UIWindow>(std::const_pointer_cast<UIResponder>(weak_from_this().lock()));
}

void UIWindow::setRootViewController(const std::shared_ptr<UIViewController>& vc) {
    if (rootViewController_ == vc) return;
    auto old = rootViewController_;
    bool visible = !isHidden();
    if (old && old->isViewLoaded()) {
        if (visible) old->beginAppearanceTransition(false, false);
        old->view()->removeFromSuperview();
        if (visible) old->endAppearanceTransition();
    }
    rootViewController_ = vc;
    if (!vc) return;
    auto v = vc->view();
    v->setFrame(bounds());
    v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    if (visible) vc->beginAppearanceTransition(true, false);
    addSubview(v);
    if (visible) vc->endAppearanceTransition();
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
    if (!changed) return;
    auto root = rootViewController_;
    // The root controller's appearance follows the window's visibility.
    if (root && root->isViewLoaded() && root->view()->superview().get() == this) root->beginAppearanceTransition(!hidden, false);
    UIView::setHidden(hidden);
    auto& app = UIApplication::sharedApplication();
    if (hidden) {
        touches_.clear();
        focusedView_.reset();
        if (firstResponder()) makeFirstResponder(nullptr, true);
        app.removeWindow(this);
    } else {
        app.addWindow(sharedWindow());
        setNeedsLayout();
    }
    if (root && root->isViewLoaded() && root->view()->superview().get() == this) root->endAppearanceTransition();
}

std::shared_ptr<UIView> UIWindow::hitTestWindow(CGPoint location) {
    layoutIfNeeded();
    return hitTest(pointFromSuperview(location), nullptr);
}

bool UIWindow::sendTouch(int touchId, UITouchPhase phase, CGPoint location) {
    auto self = sharedWindow();
    auto now = Clock::current().now();
    if (phase == UITouchPhase::Began) {
        auto hit = hitTestWindow(location);
        if (!hit) return false;
        setFocusedView(nullptr);  // the pointer took over from the keyboard
        auto touch = std::make_shared<UITouch>();
        touch->id_ = touchId;
        touch->view_ = hit;
        touch->window_ = self;
        touch->location_ = touch->previous_ = location;
        touch->timestamp_ = now;
        touch->phase_ = UITouchPhase::Began;
        for (auto v = hit; v; v = v->superview())
            for (auto& g : v->gestureRecognizers())
                if (g->isEnabled()) touch->recognizers_.push_back(g);
        touches_[touchId] = touch;
        deliver(touch, phase);
        return true;
    }
    auto it = touches_.find(touchId);
    if (it == touches_.end()) return false;
    auto touch = it->second;
    touch->previous_ = touch->location_;
    touch->location_ = location;
    touch->timestamp_ = now;
    touch->phase_ = phase;
    if (phase == UITouchPhase::Ended || phase == UITouchPhase::Cancelled) touches_.erase(it);
    deliver(touch, phase);
    return true;
}

void UIWindow::deliver(const std::shared_ptr<UITouch>& touch, UITouchPhase phase) {
    UIEvent event;
    for (auto& [id, t] : touches_) event.touches_.push_back(t);
    if (std::find(event.touches_.begin(), event.touches_.end(), touch) == event.touches_.end())
        event.touches_.push_back(touch);
    UITouchSet set{touch};

    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers;
    for (auto& w : touch->recognizers_)
        if (auto g = w.lock()) recognizers.push_back(g);

    auto claimed = [&]() -> std::shared_ptr<UIGestureRecognizer> {
        for (auto& g : recognizers)
            if (g->isRecognizing() && g->cancelsTouchesInView()) return g;
        return nullptr;
    };
    bool claimedBefore = claimed() != nullptr;
    for (auto& g : recognizers) {
        auto st = g->state();
        if (st == UIGestureRecognizerState::Failed || st == UIGestureRecognizerState::Cancelled) continue;
        // Once one recognizer has the touch, the others stop competing for it.
        if (claimedBefore && !g->isRecognizing()) continue;
        switch (phase) {
            case UITouchPhase::Began: g->touchesBegan(set, &event); break;
            case UITouchPhase::Moved: g->touchesMoved(set, &event); break;
            case UITouchPhase::Ended: g->touchesEnded(set, &event); break;
            case UITouchPhase::Cancelled: g->touchesCancelled(set, &event); break;
            default: break;
        }
        if (!claimedBefore && g->isRecognizing()) {
            // First to recognize wins; the rest fail unless the delegate lets them share.
            for (auto& other : recognizers) {
                if (other == g || other->isRecognizing()) continue;
                auto d = g->delegate.lock();
                if (d && d->gestureRecognizer_shouldRecognizeSimultaneouslyWithGestureRecognizer(*g, *other)) continue;
                other->touchesCancelled(set, &event);
            }
            claimedBefore = true;
        }
    }

    auto view = touch->view();
    if (view && touch->deliveredToView_) {
        if (claimed()) {
            touch->deliveredToView_ = false;
            if (phase != UITouchPhase::Began) view->touchesCancelled(set, &event);
        } else {
            switch (phase) {
                case UITouchPhase::Began: view->touchesBegan(set, &event); break;
                case UITouchPhase::Moved: view->touchesMoved(set, &event); break;
                case UITouchPhase::Ended: view->touchesEnded(set, &event); break;
                case UITouchPhase::Cancelled: view->touchesCancelled(set, &event); break;
                default: break;
            }
        }
    }

    if (phase == UITouchPhase::Ended || phase == UITouchPhase::Cancelled) {
        // Recognizers start over once none of their touches is down.
        for (auto& g : recognizers) {
            bool stillDown = false;
            for (auto& [id, t] : touches_)
                for (auto& w : t->recognizers_)
                    if (w.lock() == g) stillDown = true;
            if (!stillDown) g->reset();
        }
    }
    setNeedsDisplay();
}

bool UIWindow::makeFirstResponder(const std::shared_ptr<UIResponder>& responder, bool force) {
    auto current = firstResponder();
    if (current == responder) return true;
    if (current && !force && !current->canResignFirstResponder()) return false;
    if (responder && !responder->canBecomeFirstResponder()) return false;
    firstResponder_ = responder;
    if (responder) setFocusedView(nullptr);
    if (current) current->firstResponderStatusChanged(false);
    if (responder) responder->firstResponderStatusChanged(true);
    UIKeyboard::firstResponderChanged(responder);
    setNeedsDisplay();
    return true;
}

void UIWindow::setFocusedView(const std::shared_ptr<UIView>& view) {
    if (focusedView_.lock() == view) return;
    focusedView_ = view;
    setNeedsDisplay();
}

void UIWindow::firstResponderInputViewsChanged() { UIKeyboard::firstResponderChanged(firstResponder()); }

std::shared_ptr<CGImage> UIWindow::renderImage(double scale) const {
    const_cast<UIWindow*>(this)->layoutIfNeeded();
    const_cast<UIWindow*>(this)->displayLayersIfNeeded();
    CGRect b = bounds();
    auto ctx = CGContext::bitmap(b.size, false, scale);
    if (!ctx) return nullptr;
    ViewRenderer(*ctx).render(*this, true);
    return ctx->makeImage();
}

bool UIWindow::writePNG(const std::string& path, double scale) const {
    auto img = renderImage(scale);
    if (!img) return false;
    auto png = imageio::encodePNG(*img);
    return png && files::writeAtomically(path, *png);
}
