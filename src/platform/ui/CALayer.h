#pragma once
// Layers: what a view looks like beyond its background (corner radius,
// border, shadow, mask, contents) and the plain drawing layers that views
// carry as sublayers (shape and gradient layers). Every view has one layer
// whose geometry is the view's; other layers have their own frame in their
// superlayer's space. Sublayers of a view's layer draw above the view's own
// content and below its subviews.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/AssociatedObjects.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/CGPath.h"
#include "platform/graphics/UIColor.h"

class UIView;

// A layer animation: a transition between the layer's look when it is
// added and its look as it is drawn later. Only the fade is drawn (the old
// look dissolving into the new one over the duration, on the replaceable
// clock, by its timing function); other types are recorded and show the
// end state. An animation is removed once its time has passed.
inline constexpr const char* kCATransitionFade = "fade";
inline constexpr const char* kCAMediaTimingFunctionLinear = "linear";
inline constexpr const char* kCAMediaTimingFunctionEaseIn = "easeIn";
inline constexpr const char* kCAMediaTimingFunctionEaseOut = "easeOut";
inline constexpr const char* kCAMediaTimingFunctionEaseInEaseOut = "easeInEaseOut";
struct CAAnimation {
    std::string type = kCATransitionFade;
    double duration = 0.25;
    std::string timingFunction = kCAMediaTimingFunctionLinear;
    // The timing function at `t` (0...1) of the duration.
    double timingAt(double t) const;
};
using CATransition = CAAnimation;

class CALayer : public AssociatedObjects, public std::enable_shared_from_this<CALayer> {
public:
    static std::shared_ptr<CALayer> layer() { return std::make_shared<CALayer>(); }
    CALayer() = default;
    virtual ~CALayer();

    // Geometry (for a view's layer: the view's).
    CGRect frame() const;
    void setFrame(const CGRect& f);
    CGRect bounds() const;
    void setBounds(const CGRect& b);
    CGPoint position() const;
    void setPosition(CGPoint p);

    const std::optional<UIColor>& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<UIColor> c) { backgroundColor_ = c; changed(); }
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double r) { cornerRadius_ = r; changed(); }
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool m) { masksToBounds_ = m; changed(); }
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double w) { borderWidth_ = w; changed(); }
    const UIColor& borderColor() const { return borderColor_; }
    void setBorderColor(const UIColor& c) { borderColor_ = c; changed(); }
    double opacity() const { return opacity_; }
    void setOpacity(double o) { opacity_ = o; changed(); }
    bool isHidden() const { return hidden_; }
    void setHidden(bool h) { hidden_ = h; changed(); }

    const UIColor& shadowColor() const { return shadowColor_; }
    void setShadowColor(const UIColor& c) { shadowColor_ = c; changed(); }
    double shadowOpacity() const { return shadowOpacity_; }
    void setShadowOpacity(double o) { shadowOpacity_ = o; changed(); }
    CGSize shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(CGSize s) { shadowOffset_ = s; changed(); }
    double shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(double r) { shadowRadius_ = r; changed(); }
    const std::optional<CGPath>& shadowPath() const { return shadowPath_; }
    void setShadowPath(std::optional<CGPath> p) { shadowPath_ = std::move(p); changed(); }

    // Bitmap contents, stretched over the bounds (the part `contentsRect`
    // names, in unit coordinates).
    const std::shared_ptr<CGImage>& contents() const { return contents_; }
    void setContents(std::shared_ptr<CGImage> c) { contents_ = std::move(c); changed(); }
    const CGRect& contentsRect() const { return contentsRect_; }
    void setContentsRect(const CGRect& r) { contentsRect_ = r; changed(); }

    // The alpha of the mask layer's drawing masks this layer.
    const std::shared_ptr<CALayer>& mask() const { return mask_; }
    void setMask(std::shared_ptr<CALayer> m);

    const std::vector<std::shared_ptr<CALayer>>& sublayers() const { return sublayers_; }
    std::shared_ptr<CALayer> superlayer() const { return superlayer_.lock(); }
    void addSublayer(const std::shared_ptr<CALayer>& layer);
    void insertSublayer(const std::shared_ptr<CALayer>& layer, size_t index);
    void removeFromSuperlayer();

    const CGAffineTransform& affineTransform() const { return transform_; }
    void setAffineTransform(const CGAffineTransform& t) { transform_ = t; changed(); }

    // Main thread. A fade takes a picture of the layer as it looks now
    // (for a view's layer: the view with its subviews).
    void addAnimation(const CAAnimation& a, const std::string& key);
    void removeAnimationForKey(const std::string& key);
    void removeAllAnimations();
    // Keys of the animations whose time has not passed.
    std::vector<std::string> animationKeys() const;
    std::optional<CAAnimation> animationForKey(const std::string& key) const;

    // A running fade as drawing needs it: the old look (at `scale` pixels
    // per point, over the bounds) and how far the new one has come (0...1,
    // through the timing function).
    struct FadeState {
        std::shared_ptr<CGImage> from;
        double progress = 1;
    };
    std::optional<FadeState> runningFade() const;
    // True while a fade of any layer is running (the GTK host keeps drawing).
    static bool anyFadeRunning();

    // The view whose layer this is (nullptr for a plain layer).
    UIView* delegateView() const { return view_; }
    // Asks for the content to be made again: at the next display pass (or
    // render) of a window holding the view, the view's displayLayer() runs
    // once, then the window is drawn. Property changes only redraw.
    void setNeedsDisplay();
    bool needsDisplay() const { return needsDisplay_; }
    // Runs the view's displayLayer() now when the layer asked for it.
    void displayIfNeeded();

    // Draws the layer's own content (beyond background and contents) in its bounds space.
    virtual void drawInContext(CGContext& ctx) {}

    // Used by UIView for its own layer.
    void attachToView(UIView* v) { view_ = v; }

protected:
    // A property changed: the window holding the layer is drawn again.
    void changed();

private:
    UIView* view_ = nullptr;
    bool needsDisplay_ = false;
    CGRect bounds_;
    CGPoint position_;
    std::optional<UIColor> backgroundColor_;
    double cornerRadius_ = 0;
    bool masksToBounds_ = false;
    double borderWidth_ = 0;
    UIColor borderColor_ = UIColor::blackColor();
    double opacity_ = 1;
    bool hidden_ = false;
    UIColor shadowColor_ = UIColor::blackColor();
    double shadowOpacity_ = 0;
    CGSize shadowOffset_{0, -3};
    double shadowRadius_ = 3;
    std::optional<CGPath> shadowPath_;
    std::shared_ptr<CGImage> contents_;
    CGRect contentsRect_{0, 0, 1, 1};
    std::shared_ptr<CALayer> mask_;
    std::vector<std::shared_ptr<CALayer>> sublayers_;
    std::weak_ptr<CALayer> superlayer_;
    CGAffineTransform transform_;
    struct Running {
        CAAnimation animation;
        Clock::Monotonic begin;
        std::shared_ptr<CGImage> from;  // a fade's old look
    };
    bool hasEnded(const Running& r) const;
    std::shared_ptr<CGImage> snapshot() const;
    std::map<std::string, Running> animations_;
};

enum class CAFillRule { NonZero, EvenOdd };

class CAShapeLayer : public CALayer {
public:
    static std::shared_ptr<CAShapeLayer> layer() { return std::make_shared<CAShapeLayer>(); }
    const CGPath& path() const { return path_; }
    void setPath(const CGPath& p) { path_ = p; changed(); }
    const std::optional<UIColor>& fillColor() const { return fillColor_; }
    void setFillColor(std::optional<UIColor> c) { fillColor_ = c; changed(); }
    const std::optional<UIColor>& strokeColor() const { return strokeColor_; }
    void setStrokeColor(std::optional<UIColor> c) { strokeColor_ = c; changed(); }
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double w) { lineWidth_ = w; changed(); }
    CAFillRule fillRule() const { return fillRule_; }
    void setFillRule(CAFillRule r) { fillRule_ = r; changed(); }
    void setLineCap(CGLineCap c) { lineCap_ = c; changed(); }
    void setLineJoin(CGLineJoin j) { lineJoin_ = j; changed(); }

    void drawInContext(CGContext& ctx) override;

private:
    CGPath path_;
    std::optional<UIColor> fillColor_ = UIColor::blackColor();
    std::optional<UIColor> strokeColor_;
    double lineWidth_ = 1;
    CAFillRule fillRule_ = CAFillRule::NonZero;
    CGLineCap lineCap_ = CGLineCap::Butt;
    CGLineJoin lineJoin_ = CGLineJoin::Miter;
};

class CAGradientLayer : public CALayer {
public:
    static std::shared_ptr<CAGradientLayer> layer() { return std::make_shared<CAGradientLayer>(); }
    const std::vector<UIColor>& colors() const { return colors_; }
    void setColors(std::vector<UIColor> c) { colors_ = std::move(c); changed(); }
    const std::vector<double>& locations() const { return locations_; }
    void setLocations(std::vector<double> l) { locations_ = std::move(l); changed(); }
    // Unit coordinates of the bounds.
    CGPoint startPoint() const { return start_; }
    void setStartPoint(CGPoint p) { start_ = p; changed(); }
    CGPoint endPoint() const { return end_; }
    void setEndPoint(CGPoint p) { end_ = p; changed(); }

    void drawInContext(CGContext& ctx) override;

private:
    std::vector<UIColor> colors_;
    std::vector<double> locations_;
    CGPoint start_{0.5, 0}, end_{0.5, 1};
};
