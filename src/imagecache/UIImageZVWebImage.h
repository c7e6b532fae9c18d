#pragma once
// Image effects: pure functions that build a new image from an image (the
// receiver is never changed), or null when they cannot. Sizes are in
// points unless a name says pixels; results keep the receiver's scale and
// orientation unless a function says otherwise. Every bitmap they make is
// held to CGImage's pixel budget: a canvas beyond it (huge negative insets,
// a huge rotated size) is refused, never allocated.
//
// The blur works on premultiplied 32-bit pixels with our own loops: two or
// three box convolutions (edges extended) approximate a Gaussian in O(1)
// per pixel, saturation is one integer colour-matrix pass. Its failures
// are logged; every other function fails silently.

#include <functional>
#include <memory>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGPath.h"
#include "platform/graphics/UIImage.h"

// The view content modes (platform/ui/UIView.h).
enum class UIViewContentMode;

namespace ZVWebImage {

// An animated image of every frame of a GIF, each repeated so that a fixed
// rate plays it for its own delay (delays under 0.02 s play as 0.1 s); a
// still image for data with one image or none animated. Null for
// unreadable data, or when all frames decoded would pass 64 MiB.
std::shared_ptr<UIImage> ZV_imageWithSmallGIFData(const Data& data, double scale);
inline constexpr uint64_t kSmallGIFMaxDecodedBytes = uint64_t(64) << 20;

// A size-point image of one colour at the screen's scale; null when a side
// is not positive.
std::shared_ptr<UIImage> ZV_imageWithColor(const UIColor& color, CGSize size = {1, 1});
// An image the block draws (a y-down context of `size` points at the
// screen's scale); null without a block or context.
std::shared_ptr<UIImage> ZV_imageWithSize(CGSize size, const std::function<void(CGContext&)>& drawBlock);

bool ZV_hasAlphaChannel(const UIImage& image);

// Where an image of `size` is drawn in `rect` under a view content mode;
// an empty rectangle for an aspect mode with a side under 0.01.
CGRect ZVRectForContentMode(CGRect rect, CGSize size, UIViewContentMode mode);
// Draws into the current context; with `clipsToBounds`, clipped to `rect`.
void ZV_drawInRect(const UIImage& image, CGRect rect, UIViewContentMode mode, bool clipsToBounds);

std::shared_ptr<UIImage> ZV_imageByResizeToSize(const UIImage& image, CGSize size);
std::shared_ptr<UIImage> ZV_imageByResizeToSize(const UIImage& image, CGSize size, UIViewContentMode mode);
// The part of the bitmap under `rect` (points), intersected with the
// bitmap; null when nothing is left.
std::shared_ptr<UIImage> ZV_imageByCropToRect(const UIImage& image, CGRect rect);
// Positive insets crop; negative ones add a border, filled with `color`
// when given.
std::shared_ptr<UIImage> ZV_imageByInsetEdge(const UIImage& image, UIEdgeInsets insets, const UIColor* color);
// Corners rounded with circular arcs of `radius`, inside a border of
// `borderWidth` (stroked when a colour is given); a border of half the
// shorter side or more leaves a transparent image.
std::shared_ptr<UIImage> ZV_imageByRoundCornerRadius(const UIImage& image, double radius, double borderWidth = 0,
                                                     const UIColor* borderColor = nullptr,
                                                     unsigned corners = UIRectCornerAllCorners,
                                                     CGLineJoin borderLineJoin = CGLineJoin::Miter);
// Rotated counter-clockwise by `radians`; with `fitSize` the canvas grows
// to hold the whole picture, else corners leave it.
std::shared_ptr<UIImage> ZV_imageByRotate(const UIImage& image, double radians, bool fitSize);
std::shared_ptr<UIImage> ZV_imageByRotateLeft90(const UIImage& image);
std::shared_ptr<UIImage> ZV_imageByRotateRight90(const UIImage& image);
std::shared_ptr<UIImage> ZV_imageByRotate180(const UIImage& image);
std::shared_ptr<UIImage> ZV_imageByFlipVertical(const UIImage& image);
std::shared_ptr<UIImage> ZV_imageByFlipHorizontal(const UIImage& image);
// The colour where the image is opaque, transparent where it is not.
std::shared_ptr<UIImage> ZV_imageByTintColor(const UIImage& image, const UIColor& color);

// Blurs and saturation adjustments. Without tint or mask the result is
// the effect bitmap at scale 1, orientation up.
std::shared_ptr<UIImage> ZV_imageByGrayscale(const UIImage& image);
std::shared_ptr<UIImage> ZV_imageByBlurSoft(const UIImage& image);
std::shared_ptr<UIImage> ZV_imageByBlurLight(const UIImage& image);
std::shared_ptr<UIImage> ZV_imageByBlurExtraLight(const UIImage& image);
std::shared_ptr<UIImage> ZV_imageByBlurDark(const UIImage& image);
std::shared_ptr<UIImage> ZV_imageByBlurWithTint(const UIImage& image, const UIColor& tintColor);
// `blurRadius` in points; saturation 1 leaves colours as they are, 0 makes
// grey. The tint is filled over the result with `tintBlendMode`; a mask
// limits the effect to where it is opaque (the image shows elsewhere).
std::shared_ptr<UIImage> ZV_imageByBlurRadius(const UIImage& image, double blurRadius, const UIColor* tintColor,
                                              CGBlendMode tintBlendMode, double saturation,
                                              const UIImage* maskImage);

}  // namespace ZVWebImage

// The pixel loops of the blur, on 32-bit premultiplied pixels in memory
// order B, G, R, A (each channel treated alike). Exposed for tests.
namespace ZVPixelEffects {

// One pass of a k × k box average (k odd) with edges extended, rounded to
// the nearest level; `src` and `dst` must differ.
void boxConvolve(const CGImage& src, CGImage& dst, int kernel);
// The box size and number of passes the blur takes for a radius in pixels.
struct BoxPlan {
    int kernel = 1;
    int passes = 0;
};
BoxPlan boxPlanForRadius(double radiusPixels);
// out[j] = Σ in[i] × matrix[i][j] / 256 over the channels in memory order,
// rounded and clamped; colour channels are held to the alpha so the
// result stays valid premultiplied.
void matrixMultiply(const CGImage& src, CGImage& dst, const int16_t matrix[4][4]);
// The saturation matrix for `s` (entries × 256, rounded).
void saturationMatrix(double s, int16_t out[4][4]);
void reflectVertical(CGImage& image);
void reflectHorizontal(CGImage& image);

}  // namespace ZVPixelEffects
