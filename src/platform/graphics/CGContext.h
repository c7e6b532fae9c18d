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
// How drawing combines with what is there: Normal draws over, Copy replaces,
// Clear erases, DestinationIn keeps what is there only where the drawing
// has alpha. Each affects only the shape drawn.
enum class CGBlendMode { Normal, Copy, Clear, DestinationIn };

class CGContext {
public:
    // Draws into `cr` (borrowed; the caller keeps it alive).
    explicit CGContext(cairo_t* cr);
    ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;

    // A bitmap context of size × scale pixels (each truncated), user space in
    // points, origin at the top-left (y down, as the toolkit draws). nullptr
    // for an empty or too large size.
    static std::unique_ptr<CGContext> bitmap(CGSize size, bool opaque, double scale);
    // The platform's bitmap context: user space in pixels with the origin at
    // the bottom-left (y up), and images drawn upright into their rectangle,
    // so that recipes written for the platform read as written. The bitmap
    // has alpha for alpha infos 1 and 2 (premultiplied), none for 5 and 6
    // (skipped); other layouts, empty and over-budget sizes give nullptr.
    static std::unique_ptr<CGContext> bitmapContext(int pixelWidth, int pixelHeight, uint32_t bitmapInfo);

    cairo_t* cairo() const { return cr_; }
    // The bitmap behind a bitmap context (nullptr otherwise).
    const std::shared_ptr<CGImage>& bitmapImage() const { return bitmap_; }
    double scale() const { return scale_; }
    // True for bitmapContext()'s y-up user space.
    bool isYUp() const { return yUp_; }
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
    void setBlendMode(CGBlendMode m) { state_.blend = m; }
    CGBlendMode blendMode() const { return state_.blend; }

    void fillRect(const CGRect& r);
    void clearRect(const CGRect& r);
    void strokeRect(const CGRect& r);
    void fillEllipseInRect(const CGRect& r);
    void fillPath(const CGPath& p, bool evenOdd = false);
    void strokePath(const CGPath& p);
    void clipToRect(const CGRect& r);
    void clipToPath(const CGPath& p, bool evenOdd = false);
    // Clips later drawing to a mask image stretched into `rect` (drawn as
    // drawImage would): its alpha when it has alpha, else its grey level,
    // weighs how much of each drawing reaches the bitmap. Masks combine by
    // multiplying; save/restoreGState keep them. Works on bitmap-backed
    // contexts; on others it clips to `rect`.
    void clipToMask(const CGRect& rect, const CGImage& mask);
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
    struct MaskSurface;
    struct State {
        UIColor fill = UIColor::blackColor();
        UIColor stroke = UIColor::blackColor();
        double lineWidth = 1;
        CGLineCap cap = CGLineCap::Butt;
        CGLineJoin join = CGLineJoin::Miter;
        double alpha = 1;
        CGInterpolationQuality interpolation = CGInterpolationQuality::Default;
        CGBlendMode blend = CGBlendMode::Normal;
        // Coverage of the mask clip in device pixels (none when unset).
        std::shared_ptr<MaskSurface> mask;
    };
    void applyStroke() const;
    // Runs one drawing operation with the blend mode applied to the current
    // path (or the clip when `paintsAll`) and the mask clip honoured.
    template <class Draw>
    void paint(Draw draw);
    void fillCurrentPath();
    void placeImage(const CGRect& rect, const CGImage& image, const CGRect& sourcePixels);

    cairo_t* cr_;
    bool owns_ = false;
    std::shared_ptr<CGImage> bitmap_;
    double scale_ = 1;
    bool yUp_ = false;
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

// The main screen's scale (pixels per point): one value, read by
// UIScreen::scale() and wherever a scale of 0 stands for the screen's. It is
// 2 unless a test sets another (UIScreen::setScale or set() here). Reads
// convert to double, so `kMainScreenScale` works in arithmetic as a constant did.
struct MainScreenScale {
    operator double() const;
    // Values that are not positive and finite are ignored.
    void set(double scale) const;
};
inline constexpr MainScreenScale kMainScreenScale{};
