#pragma once
// The view tree: a retained tree of rectangles in points. Views are always
// held by std::shared_ptr (make them with std::make_shared); a view holds its
// subviews strongly and its superview weakly.
//
// Geometry follows the platform: a view has bounds (its own coordinate
// space), a center in its superview's space and a transform about its
// center; frame is derived from them. Autoresizing masks adjust subviews
// when a view's bounds size changes.
//
// Animations: inside UIView::animate... blocks, changes of center, bounds,
// alpha, background colour and transform take their end value at once (for
// layout and hit testing) while drawing shows the in-between value at the
// clock's time; the completion runs when the duration has passed on the
// replaceable clock.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGContext.h"
#include "platform/ui/UIKeyCommand.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/UIColor.h"
#include "platform/ui/CALayer.h"

typedef struct _GtkWidget GtkWidget;

class UIView;
class UIWindow;
class UIViewController;
class UIGestureRecognizer;
class UITouch;
class UIEvent;

using UITouchSet = std::vector<std::shared_ptr<UITouch>>;

class UIResponder : public NSObject, public std::enable_shared_from_this<UIResponder> {
public:
    virtual std::shared_ptr<UIResponder> nextResponder() const { return nullptr; }

    // Touches travel up the responder chain unless a responder handles them.
    virtual void touchesBegan(const UITouchSet& touches, UIEvent* event);
    virtual void touchesMoved(const UITouchSet& touches, UIEvent* event);
    virtual void touchesEnded(const UITouchSet& touches, UIEvent* event);
    virtual void touchesCancelled(const UITouchSet& touches, UIEvent* event);

    // First responder: the window's receiver of typed text.
    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool becomeFirstResponder();
    virtual bool canResignFirstResponder() const { return true; }
    virtual bool resignFirstResponder();
    virtual bool isFirstResponder() const;
    // A custom keyboard shown in place of the software keyboard while this is first responder.
    virtual std::shared_ptr<UIView> inputView() const { return nullptr; }
    virtual std::shared_ptr<UIView> inputAccessoryView() const { return nullptr; }
    void reloadInputViews();
    // Told by the window after this became or stopped being its first responder.
    virtual void firstResponderStatusChanged(bool isFirst) {}
    // Hardware keys this responder answers (UIKeyCommand.h); asked along the chain.
    virtual std::vector<UIKeyCommand> keyCommands() const { return {}; }
    // A Tab stop that is no text input (a button): Tab can focus it, and
    // Space or Return then activates it (UIKeyCommand.h).
    virtual bool canBecomeFocused() const { return false; }

protected:
    // The window whose first responder this would be.
    virtual std::shared_ptr<UIWindow> responderWindow() const { return nullptr; }
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

enum class UIViewContentMode {
    ScaleToFill, ScaleAspectFit, ScaleAspectFill, Redraw, Center, Top, Bottom, Left, Right,
    TopLeft, TopRight, BottomLeft, BottomRight,
};

enum UIViewAnimationOptions : unsigned {
    UIViewAnimationOptionNone = 0,
    UIViewAnimationOptionAllowUserInteraction = 1 << 1,
    UIViewAnimationOptionBeginFromCurrentState = 1 << 2,
    UIViewAnimationOptionCurveEaseInOut = 0 << 16,
    UIViewAnimationOptionCurveEaseIn = 1 << 16,
    UIViewAnimationOptionCurveEaseOut = 2 << 16,
    UIViewAnimationOptionCurveLinear = 3 << 16,
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
    const CGAffineTransform& transform() const { return transform_; }
    virtual void setTransform(const CGAffineTransform& t);
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool v) { autoresizesSubviews_ = v; }
    // The window's safe-area insets where the view reaches them (zero off-window).
    UIEdgeInsets safeAreaInsets() const;

    // Appearance.
    const UIColor& backgroundColor() const { return backgroundColor_; }
    virtual void setBackgroundColor(const UIColor& c);
    double alpha() const { return alpha_; }
    virtual void setAlpha(double a);
    bool isHidden() const { return hidden_; }
    virtual void setHidden(bool h);
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool o) { opaque_ = o; }
    bool clipsToBounds() const { return layer_->masksToBounds(); }
    void setClipsToBounds(bool c) { layer_->setMasksToBounds(c); }
    UIViewContentMode contentMode() const { return contentMode_; }
    void setContentMode(UIViewContentMode m) { contentMode_ = m; setNeedsDisplay(); }
    // The tint: this view's, else the nearest ancestor's, else system blue.
    UIColor tintColor() const;
    void setTintColor(std::optional<UIColor> c) { tintColor_ = c; setNeedsDisplay(); }
    long tag() const { return tag_; }
    void setTag(long t) { tag_ = t; }
    bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool v) { userInteractionEnabled_ = v; }
    const std::string& accessibilityIdentifier() const { return accessibilityIdentifier_; }
    void setAccessibilityIdentifier(const std::string& s) { accessibilityIdentifier_ = s; }

    const std::shared_ptr<CALayer>& layer() const { return layer_; }

    // The tree.
    std::shared_ptr<UIView> superview() const { return superview_.lock(); }
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    void addSubview(const std::shared_ptr<UIView>& view);
    void insertSubview(const std::shared_ptr<UIView>& view, size_t index);
    void insertSubviewBelow(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling);
    void insertSubviewAbove(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling);
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
    bool needsLayout() const { return needsLayout_; }
    // This view or any below it waits for layout.
    bool needsLayoutInTree() const;
    void layoutIfNeeded();
    virtual CGSize sizeThatFits(CGSize size) const { return bounds_.size; }
    void sizeToFit();
    // The natural size (-1 for "none" on an axis).
    virtual CGSize intrinsicContentSize() const { return {-1, -1}; }

    // Drawing: custom views draw their content in their bounds space.
    virtual void drawRect(CGContext& ctx, const CGRect& rect) {}
    // Asks the window to redraw (the GTK host repaints; headless nothing),
    // and the layer for new content (setNeedsDisplay of CALayer).
    void setNeedsDisplay();
    // The layer's content hook, on the main thread: runs once per
    // setNeedsDisplay() of the view or its layer, at the next display pass
    // or render of a window holding the view, before drawing. A view that
    // shows its content as layer contents sets them here.
    virtual void displayLayer(CALayer& layer) {}
    // Runs displayLayer() for every layer of this tree that asked for it.
    void displayLayersIfNeeded();

    // Coordinates between views of one tree (a null view: the window).
    CGPoint convertPointToView(CGPoint p, const UIView* view) const;
    CGPoint convertPointFromView(CGPoint p, const UIView* view) const;
    CGRect convertRectToView(const CGRect& r, const UIView* view) const;
    CGRect convertRectFromView(const CGRect& r, const UIView* view) const;
    // One step: a point of this view's bounds space in the superview's, and back.
    CGPoint pointToSuperview(CGPoint p) const;
    CGPoint pointFromSuperview(CGPoint p) const;

    // Hit testing: the deepest visible, interactive view containing the point.
    virtual std::shared_ptr<UIView> hitTest(CGPoint point, UIEvent* event);
    virtual bool pointInside(CGPoint point, UIEvent* event) const;

    // Gesture recognizers attached to this view.
    void addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& g);
    void removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& g);
    const std::vector<std::shared_ptr<UIGestureRecognizer>>& gestureRecognizers() const { return gestureRecognizers_; }

    // Resigns the first responder if it is this view or inside it.
    bool endEditing(bool force);

    // Tree notifications for subclasses.
    virtual void didAddSubview(UIView* subview) {}
    virtual void willRemoveSubview(UIView* subview) {}
    virtual void willMoveToSuperview(UIView* newSuperview) {}
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(UIWindow* newWindow) {}
    virtual void didMoveToWindow() {}

    // A view drawn by a GTK widget of its own (the web view) answers it; the
    // host places the widget over the window at the view's frame.
    virtual GtkWidget* nativeWidget() const { return nullptr; }

    // The controller whose root view this is, if any (for the responder chain).
    std::shared_ptr<UIViewController> viewController() const { return viewController_.lock(); }
    void setViewController(const std::shared_ptr<UIViewController>& vc) { viewController_ = vc; }
    std::shared_ptr<UIResponder> nextResponder() const override;

    // Observers of geometry changes (frame, bounds or center, this view's or
    // an ancestor's; a scroll view's content size too). With `reportNow`
    // the observer is also called once at registration, with the geometry
    // as it is (the platform's initial observation).
    using GeometryObserver = std::function<void(UIView&)>;
    void addGeometryObserver(GeometryObserver observer, bool reportNow = false);

    // ---- Animations
    static void animateWithDuration(double duration, const std::function<void()>& animations,
                                    std::function<void(bool)> completion = {});
    static void animateWithDuration(double duration, double delay, unsigned options,
                                    const std::function<void()>& animations, std::function<void(bool)> completion = {});
    static void performWithoutAnimation(const std::function<void()>& actions);
    static bool areAnimationsEnabled();

    // What drawing shows now (the in-between values of running animations).
    struct Presentation {
        CGPoint center;
        CGRect bounds;
        double alpha;
        UIColor backgroundColor;
        CGAffineTransform transform;
    };
    Presentation presentation() const;
    // True while an animation of this view has not reached its end.
    bool hasRunningAnimations() const;
    // True while any view anywhere animates, layer fades included (the GTK
    // host keeps redrawing).
    static bool anyAnimationRunning();

protected:
    std::shared_ptr<UIWindow> responderWindow() const override { return window(); }
    virtual void geometryDidChange();
    void autoresizeSubviews(CGSize oldSize);
    void notifyMovedToWindow(UIWindow* oldWindow);
    void notifyWillMoveToWindow(UIWindow* newWindow);

private:
    friend class ViewRenderer;
    enum class Prop { Center, Bounds, Alpha, Background, Transform };
    struct Animation {
        Prop prop;
        std::vector<double> from, to;
        Clock::Monotonic start;
        double duration;
        unsigned curve;
    };
    void attach(const std::shared_ptr<UIView>& view, size_t index);
    void recordChange(Prop prop, std::vector<double> from, std::vector<double> to);
    std::vector<double> presentValue(Prop prop, const std::vector<double>& model) const;

    CGRect bounds_;
    CGPoint center_;
    CGAffineTransform transform_;
    unsigned autoresizingMask_ = UIViewAutoresizingNone;
    bool autoresizesSubviews_ = true;
    UIColor backgroundColor_ = UIColor::clearColor();
    double alpha_ = 1;
    bool hidden_ = false;
    bool opaque_ = true;
    UIViewContentMode contentMode_ = UIViewContentMode::ScaleToFill;
    std::optional<UIColor> tintColor_;
    long tag_ = 0;
    bool userInteractionEnabled_ = true;
    bool needsLayout_ = true;
    std::string accessibilityIdentifier_;
    std::shared_ptr<CALayer> layer_;
    std::weak_ptr<UIView> superview_;
    std::vector<std::shared_ptr<UIView>> subviews_;
    std::weak_ptr<UIViewController> viewController_;
    std::vector<GeometryObserver> geometryObservers_;
    std::vector<std::shared_ptr<UIGestureRecognizer>> gestureRecognizers_;
    std::vector<Animation> animations_;
};

// UIView(Extension)-style frame shortcuts used throughout screen code.
namespace UIViewFrame {
inline double x(const UIView& v) { return v.frame().origin.x; }
inline double y(const UIView& v) { return v.frame().origin.y; }
inline double width(const UIView& v) { return v.frame().size.width; }
inline double height(const UIView& v) { return v.frame().size.height; }
}  // namespace UIViewFrame
