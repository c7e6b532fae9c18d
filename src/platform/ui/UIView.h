#pragma once
// The view tree: a retained tree of rectangles in points. Views are always
// held by std::shared_ptr (make them with std::make_shared); a view holds its
// subviews strongly and its superview weakly.
//
// Geometry follows the platform: a view has bounds (its own coordinate
// space) and a center in its superview's space; frame is derived from them.
// Autoresizing masks adjust subviews when a view's bounds size changes.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/UIColor.h"

typedef struct _GtkWidget GtkWidget;

class UIView;
class UIWindow;
class UIViewController;

class UIResponder : public NSObject, public std::enable_shared_from_this<UIResponder> {
public:
    virtual std::shared_ptr<UIResponder> nextResponder() const { return nullptr; }
};

enum UIViewAutoresizing : unsigned {
    UIViewAutoresizingNone = 0,
    UIViewAutoresizingFlexibleLeftMargin = 1 << 0,
    UIViewAutoresizingFlexibleWidth = 1 << 1,
    UIViewAutoresizingFlexibleRightMargin = 1 << 2,
    UIViewAutoresizingFlexibleTopMargin = 1 << 3,
    UIViewAutoresizingFlexibleHeight = 1 << 4,
    UIViewAutoresizingFlexibleBottomMargin = 1 << 5,
};

class UIView : public UIResponder {
public:
    UIView();
    explicit UIView(const CGRect& frame);
    ~UIView() override;

    std::shared_ptr<UIView> sharedView() { return std::static_pointer_cast<UIView>(shared_from_this()); }

    // Geometry.
    CGRect frame() const;
    virtual void setFrame(const CGRect& frame);
    const CGRect& bounds() const { return bounds_; }
    virtual void setBounds(const CGRect& bounds);
    CGPoint center() const { return center_; }
    virtual void setCenter(CGPoint c);
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool v) { autoresizesSubviews_ = v; }

    // Appearance.
    const UIColor& backgroundColor() const { return backgroundColor_; }
    virtual void setBackgroundColor(const UIColor& c);
    double alpha() const { return alpha_; }
    virtual void setAlpha(double a);
    bool isHidden() const { return hidden_; }
    virtual void setHidden(bool h);
    long tag() const { return tag_; }
    void setTag(long t) { tag_ = t; }
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool v) { userInteractionEnabled_ = v; }

    // The tree.
    std::shared_ptr<UIView> superview() const { return superview_.lock(); }
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    void addSubview(const std::shared_ptr<UIView>& view);
    void insertSubview(const std::shared_ptr<UIView>& view, size_t index);
    void removeFromSuperview();
    void bringSubviewToFront(const std::shared_ptr<UIView>& view);
    void sendSubviewToBack(const std::shared_ptr<UIView>& view);
    bool isDescendantOfView(const UIView* view) const;
    std::shared_ptr<UIView> viewWithTag(long tag);
    // The window this view is in, or nullptr.
    virtual std::shared_ptr<UIWindow> window() const;

    // Layout.
    virtual void layoutSubviews() {}
    void setNeedsLayout();
    void layoutIfNeeded();
    virtual CGSize sizeThatFits(CGSize size) const { return bounds_.size; }
    void sizeToFit();

    // Coordinates between views of one tree (a null view: the window).
    CGPoint convertPointToView(CGPoint p, const UIView* view) const;
    CGPoint convertPointFromView(CGPoint p, const UIView* view) const;
    CGRect convertRectToView(const CGRect& r, const UIView* view) const;

    // Tree notifications for subclasses.
    virtual void didAddSubview(UIView* subview) {}
    virtual void willRemoveSubview(UIView* subview) {}
    virtual void willMoveToSuperview(UIView* newSuperview) {}
    virtual void didMoveToSuperview() {}
    virtual void didMoveToWindow() {}

    // A view drawn by a GTK widget of its own (the web view) answers it; the
    // host places the widget over the window at the view's frame.
    virtual GtkWidget* nativeWidget() const { return nullptr; }

    // The controller whose root view this is, if any (for the responder chain).
    std::shared_ptr<UIViewController> viewController() const { return viewController_.lock(); }
    void setViewController(const std::shared_ptr<UIViewController>& vc) { viewController_ = vc; }
    std::shared_ptr<UIResponder> nextResponder() const override;

    // Observers of geometry changes (frame, bounds or center).
    using GeometryObserver = std::function<void(UIView&)>;
    void addGeometryObserver(GeometryObserver observer) { geometryObservers_.push_back(std::move(observer)); }

protected:
    virtual void geometryDidChange();
    void autoresizeSubviews(CGSize oldSize);
    void notifyMovedToWindow();

private:
    void attach(const std::shared_ptr<UIView>& view, size_t index);

    CGRect bounds_;
    CGPoint center_;
    unsigned autoresizingMask_ = UIViewAutoresizingNone;
    bool autoresizesSubviews_ = true;
    UIColor backgroundColor_ = UIColor::clearColor();
    double alpha_ = 1;
    bool hidden_ = false;
    long tag_ = 0;
    bool userInteractionEnabled_ = true;
    bool needsLayout_ = true;
    std::weak_ptr<UIView> superview_;
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::weak_ptr<UIViewController> viewController_;
    std::vector<GeometryObserver> geometryObservers_;
};
