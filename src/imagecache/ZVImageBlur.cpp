// The blur and saturation effect and its merge step (tint and mask).

#include <cmath>

#include "imagecache/UIImageZVWebImage.h"
#include "platform/foundation/PlatformLog.h"
#include "platform/foundation/Strings.h"

namespace ZVWebImage {

namespace {

constexpr double kFloatEpsilon = 1.1920928955078125e-07;
constexpr long kAllocationFailed = -1;

std::string describe(const UIImage& image) {
    CGSize size = image.size();
    return strings::format("<UIImage: %p>, {%g, %g}", static_cast<const void*>(&image), size.width, size.height);
}

// The bitmap as premultiplied 32-bit pixels with alpha (an opaque bitmap's
// ignored byte becomes 255), for the pixel loops.
std::shared_ptr<CGImage> withAlpha(const CGImage& bitmap) {
    auto out = CGImage::create(bitmap.width(), bitmap.height(), true);
    if (!out) return nullptr;
    cairo_t* cr = cairo_create(out->surface());
    cairo_set_source_surface(cr, bitmap.surface(), 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(out->surface());
    return out;
}

// Tint over the effect bitmap, the receiver showing outside the mask.
std::shared_ptr<UIImage> merge(const UIImage& image, const std::shared_ptr<CGImage>& effect, const UIColor* tint,
                               CGBlendMode tintMode, const UIImage* mask, bool opaque) {
    bool hasTint = tint && tint->alpha > kFloatEpsilon;
    if (!hasTint && !mask) return UIImage::imageWithCGImage(effect, 1, UIImageOrientation::Up);
    const CGSize size = image.size();
    auto ctx = CGContext::bitmap(size, opaque, image.scale());
    if (!ctx) return nullptr;
    const CGRect rect(0, 0, size.width, size.height);
    if (mask) {
        ctx->drawImage(rect, *image.CGImage());
        ctx->saveGState();
        ctx->clipToMask(rect, *mask->CGImage());
    }
    ctx->drawImage(rect, *effect);
    if (hasTint) {
        ctx->saveGState();
        ctx->setBlendMode(tintMode);
        ctx->setFillColor(*tint);
        ctx->fillRect(rect);
        ctx->restoreGState();
    }
    if (mask) ctx->restoreGState();
    return UIImage::imageWithCGImage(ctx->bitmapImage(), image.scale());
}

bool checkInputs(const UIImage& image, const UIImage* mask) {
    CGSize size = image.size();
    if (size.width < 1 || size.height < 1) {
        NSLog("UIImage+ZVAdd error: invalid size: (%.2f x %.2f). Both dimensions must be >= 1: %s", size.width,
              size.height, describe(image).c_str());
        return false;
    }
    if (!image.CGImage()) {
        NSLog("UIImage+ZVAdd error: inputImage must be backed by a CGImage: %s", describe(image).c_str());
        return false;
    }
    if (mask && !mask->CGImage()) {
        NSLog("UIImage+ZVAdd error: effectMaskImage must be backed by a CGImage: %s", describe(*mask).c_str());
        return false;
    }
    return true;
}

}  // namespace

std::shared_ptr<UIImage> ZV_imageByBlurRadius(const UIImage& image, double blurRadius, const UIColor* tintColor,
                                              CGBlendMode tintBlendMode, double saturation,
                                              const UIImage* maskImage) {
    if (!checkInputs(image, maskImage)) return nullptr;
    const bool hasBlur = blurRadius > kFloatEpsilon;
    const bool hasSaturation = std::fabs(saturation - 1) > kFloatEpsilon;
    if (!hasBlur && !hasSaturation)
        return merge(image, image.CGImage(), tintColor, tintBlendMode, maskImage, false);

    auto current = withAlpha(*image.CGImage());
    if (!current) {
        NSLog("UIImage+ZVAdd error: vImageBuffer_InitWithCGImage returned error code %zi for inputImage: %s",
              kAllocationFailed, describe(image).c_str());
        return nullptr;
    }
    auto other = CGImage::createForOverwrite(current->width(), current->height(), true);
    if (!other) {
        NSLog("UIImage+ZVAdd error: vImageBuffer_Init returned error code %zi for inputImage: %s", kAllocationFailed,
              describe(image).c_str());
        return nullptr;
    }
    if (hasBlur) {
        auto plan = ZVPixelEffects::boxPlanForRadius(blurRadius * image.scale());
        for (int pass = 0; pass < plan.passes; ++pass) {
            ZVPixelEffects::boxConvolve(*current, *other, plan.kernel);
            std::swap(current, other);
        }
    }
    if (hasSaturation) {
        int16_t matrix[4][4];
        ZVPixelEffects::saturationMatrix(saturation, matrix);
        ZVPixelEffects::matrixMultiply(*current, *other, matrix);
        std::swap(current, other);
    }
    other.reset();
    return merge(image, current, tintColor, tintBlendMode, maskImage, false);
}

std::shared_ptr<UIImage> ZV_imageByGrayscale(const UIImage& image) {
    return ZV_imageByBlurRadius(image, 0, nullptr, CGBlendMode::Normal, 0, nullptr);
}

namespace {
// The presets: a white tint over a blur, colours saturated 1.8 times.
std::shared_ptr<UIImage> blurPreset(const UIImage& image, double radius, double white, double alpha) {
    UIColor tint = UIColor::colorWithWhite(white, alpha);
    return ZV_imageByBlurRadius(image, radius, &tint, CGBlendMode::Normal, 1.8, nullptr);
}
}  // namespace

std::shared_ptr<UIImage> ZV_imageByBlurSoft(const UIImage& image) { return blurPreset(image, 60, 0.84, 0.36); }
std::shared_ptr<UIImage> ZV_imageByBlurLight(const UIImage& image) { return blurPreset(image, 60, 1.0, 0.3); }
std::shared_ptr<UIImage> ZV_imageByBlurExtraLight(const UIImage& image) { return blurPreset(image, 40, 0.97, 0.82); }
std::shared_ptr<UIImage> ZV_imageByBlurDark(const UIImage& image) { return blurPreset(image, 40, 0.11, 0.73); }

std::shared_ptr<UIImage> ZV_imageByBlurWithTint(const UIImage& image, const UIColor& tintColor) {
    UIColor tint = tintColor.colorWithAlphaComponent(0.6);
    return ZV_imageByBlurRadius(image, 20, &tint, CGBlendMode::Normal, -1, nullptr);
}

}  // namespace ZVWebImage
