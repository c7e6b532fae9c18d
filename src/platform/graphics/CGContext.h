#pragma once
// A drawing context on Cairo, in points: the bitmap contexts of images and
// the contexts the UI toolkit draws windows into. The context keeps the
// platform's state model (fill and stroke colours, line width, alpha,
// interpolation) on top of Cairo's save/restore.

#include <cairo.h>

#include <memory>
#include <vector>

#include "platform/graphics/CGImage.h"
#include "platform/graphics/CGPath.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/UIColor.h"

enum class CGInterpolationQuality { Default, None, Low, Medium, High };
enum class CGLineCap { Butt, Round, Square };
enum class CGLineJoin { Miter, Round, Bevel };

class CGContext {
public:
    // Draws into `cr` (borrowed; the caller keeps it alive).
    explicit CGContext(cairo_t* cr);
    ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;

    // A bitmap context of size × scale pixels (each truncated), user space in
    // points. nullptr for an empty or too large size.
    static std::unique_ptr<CGContext> bitmap(CGSize size, bool opaque, double scale);

    cairo_t* cairo() const { return cr_; }
    // The bitmap behind a bitmap context (nullptr otherwise).
    const std::shared_ptr<CGImage>& bitmapImage() const { return bitmap_; }
    double scale() const { return scale_; }
    // A snapshot of the bitmap (a copy; later drawing does not change it).
    std::shared_ptr<CGImage> makeImage() const;

    void saveGState();
    void restoreGState();
    void translate(double x, double y);
    void scaleBy(double sx, double sy);
    void rotate(double angle);
    void concatCTM(const CGAffineTransform& t);

    void setFillColor(const UIColor& c) { state_.fill = c; }
    void setStrokeColor(const UIColor& c) { state_.stroke = c; }
    void setLineWidth(double w) { state_.lineWidth = w; }
    void setLineCap(CGLineCap c) { state_.cap = c; }
    void setLineJoin(CGLineJoin j) { state_.join = j; }
    void setAlpha(double a) { state_.alpha = a; }
    double alpha() const { return state_.alpha; }
    void setInterpolationQuality(CGInterpolationQuality q) { state_.interpolation = q; }

    void fillRect(const CGRect& r);
    void clearRect(const CGRect& r);
    void strokeRect(const CGRect& r);
    void fillEllipseInRect(const CGRect& r);
    void fillPath(const CGPath& p, bool evenOdd = false);
    void strokePath(const CGPath& p);
    void clipToRect(const CGRect& r);
    void clipToPath(const CGPath& p, bool evenOdd = false);
    // Draws the image's pixels stretched into `rect`.
    void drawImage(const CGRect& rect, const CGImage& image);
    void drawImage(const CGRect& rect, const CGImage& image, const CGRect& sourcePixels);
    // A linear gradient over `colors` (evenly spaced when `locations` is
    // empty), extended before the start and after the end.
    void drawLinearGradient(const std::vector<UIColor>& colors, const std::vector<double>& locations, CGPoint start,
                            CGPoint end);

    // Sets Cairo's source to a colour, applying the context alpha.
    void setSource(const UIColor& c) const;

private:
    struct State {
        UIColor fill = UIColor::blackColor();
        UIColor stroke = UIColor::blackColor();
        double lineWidth = 1;
        CGLineCap cap = CGLineCap::Butt;
        CGLineJoin join = CGLineJoin::Miter;
        double alpha = 1;
        CGInterpolationQuality interpolation = CGInterpolationQuality::Default;
    };
    void applyStroke() const;

    cairo_t* cr_;
    bool owns_ = false;
    std::shared_ptr<CGImage> bitmap_;
    double scale_ = 1;
    State state_;
    std::vector<State> stack_;
};

// The image-context stack of the platform (per thread).
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, double scale);
void UIGraphicsBeginImageContext(CGSize size);
CGContext* UIGraphicsGetCurrentContext();
void UIGraphicsEndImageContext();
// Makes an existing context current (drawRect implementations draw into it).
void UIGraphicsPushContext(CGContext* context);
void UIGraphicsPopContext();

// The scale a scale of 0 stands for: the main screen's.
inline constexpr double kMainScreenScale = 2;
