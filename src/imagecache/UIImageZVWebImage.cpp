#include "imagecache/UIImageZVWebImage.h"

#include <cmath>

#include "platform/ui/UIView.h"

namespace ZVWebImage {

namespace {

// Draws into an image context of `size` points (y down) and returns its image.
std::shared_ptr<UIImage> drawnImage(CGSize size, bool opaque, double scale, const std::function<void(CGContext&)>& draw) {
    auto ctx = CGContext::bitmap(size, opaque, scale);
    if (!ctx) return nullptr;
    draw(*ctx);
    return UIImage::imageWithCGImage(ctx->bitmapImage(), scale);
}

// A layout-C context of the pixel size (y up, pixels), as the rotations draw.
std::unique_ptr<CGContext> pixelContext(int64_t width, int64_t height) {
    if (!CGImage::fitsBudget(width, height)) return nullptr;
    return CGContext::bitmapContext(int(width), int(height), 2);
}

}  // namespace

// MARK: - Making images

std::shared_ptr<UIImage> ZV_imageWithColor(const UIColor& color, CGSize size) {
    if (size.width <= 0 || size.height <= 0) return nullptr;
    return drawnImage(size, false, kMainScreenScale, [&](CGContext& ctx) {
        ctx.setFillColor(color);
        ctx.fillRect(CGRect(0, 0, size.width, size.height));
    });
}

std::shared_ptr<UIImage> ZV_imageWithSize(CGSize size, const std::function<void(CGContext&)>& drawBlock) {
    if (!drawBlock) return nullptr;
    return drawnImage(size, false, kMainScreenScale, drawBlock);
}

bool ZV_hasAlphaChannel(const UIImage& image) { return image.CGImage() && image.CGImage()->hasAlpha(); }

// MARK: - Content modes

CGRect ZVRectForContentMode(CGRect rect, CGSize size, UIViewContentMode mode) {
    if (rect.size.width < 0) rect = CGRect(rect.maxX(), rect.origin.y, -rect.size.width, rect.size.height);
    if (rect.size.height < 0) rect = CGRect(rect.origin.x, rect.maxY(), rect.size.width, -rect.size.height);
    const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    const double sw = std::fabs(size.width), sh = std::fabs(size.height);
    const double cx = x + w / 2, cy = y + h / 2;
    auto centred = [&](double dw, double dh) { return CGRect(cx - dw / 2, cy - dh / 2, dw, dh); };
    switch (mode) {
        case UIViewContentMode::ScaleAspectFit:
        case UIViewContentMode::ScaleAspectFill: {
            if (sw < 0.01 || sh < 0.01 || w < 0.01 || h < 0.01) return CGRect(cx, cy, 0, 0);
            bool narrower = sw / sh < w / h;
            bool byHeight = (mode == UIViewContentMode::ScaleAspectFit) == narrower;
            double factor = byHeight ? h / sh : w / sw;
            return centred(sw * factor, sh * factor);
        }
        case UIViewContentMode::Center: return centred(sw, sh);
        case UIViewContentMode::Top: return CGRect(cx - sw / 2, y, sw, sh);
        case UIViewContentMode::Bottom: return CGRect(cx - sw / 2, y + h - sh, sw, sh);
        case UIViewContentMode::Left: return CGRect(x, cy - sh / 2, sw, sh);
        case UIViewContentMode::Right: return CGRect(x + w - sw, cy - sh / 2, sw, sh);
        case UIViewContentMode::TopLeft: return CGRect(x, y, sw, sh);
        case UIViewContentMode::TopRight: return CGRect(x + w - sw, y, sw, sh);
        case UIViewContentMode::BottomLeft: return CGRect(x, y + h - sh, sw, sh);
        case UIViewContentMode::BottomRight: return CGRect(x + w - sw, y + h - sh, sw, sh);
        default: return CGRect(x, y, w, h);
    }
}

void ZV_drawInRect(const UIImage& image, CGRect rect, UIViewContentMode mode, bool clipsToBounds) {
    CGRect drawn = ZVRectForContentMode(rect, image.size(), mode);
    if (drawn.size.width == 0 || drawn.size.height == 0) return;
    CGContext* ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    if (clipsToBounds) {
        ctx->saveGState();
        ctx->clipToRect(rect);
    }
    image.drawInRect(*ctx, drawn);
    if (clipsToBounds) ctx->restoreGState();
}

// MARK: - Resizing, cropping, insets, corners

std::shared_ptr<UIImage> ZV_imageByResizeToSize(const UIImage& image, CGSize size) {
    if (size.width <= 0 || size.height <= 0) return nullptr;
    return drawnImage(size, false, image.scale(),
                      [&](CGContext& ctx) { image.drawInRect(ctx, CGRect(0, 0, size.width, size.height)); });
}

std::shared_ptr<UIImage> ZV_imageByResizeToSize(const UIImage& image, CGSize size, UIViewContentMode mode) {
    if (size.width <= 0 || size.height <= 0) return nullptr;
    return drawnImage(size, false, image.scale(), [&](CGContext& ctx) {
        UIGraphicsPushContext(&ctx);
        ZV_drawInRect(image, CGRect(0, 0, size.width, size.height), mode, false);
        UIGraphicsPopContext();
    });
}

std::shared_ptr<UIImage> ZV_imageByCropToRect(const UIImage& image, CGRect rect) {
    const double k = image.scale();
    CGRect pixels(rect.origin.x * k, rect.origin.y * k, rect.size.width * k, rect.size.height * k);
    if (pixels.size.width <= 0 || pixels.size.height <= 0 || !image.CGImage()) return nullptr;
    auto bitmap = image.CGImage()->cropped(pixels);  // intersected with the bitmap
    if (!bitmap) return nullptr;
    return UIImage::imageWithCGImage(bitmap, k, image.imageOrientation());
}

std::shared_ptr<UIImage> ZV_imageByInsetEdge(const UIImage& image, UIEdgeInsets insets, const UIColor* color) {
    CGSize size = image.size();
    CGSize canvas{size.width - (insets.left + insets.right), size.height - (insets.top + insets.bottom)};
    if (!(canvas.width > 0 && canvas.height > 0)) return nullptr;
    return drawnImage(canvas, false, image.scale(), [&](CGContext& ctx) {
        CGRect own(-insets.left, -insets.top, size.width, size.height);
        if (color) {
            CGPath border;
            border.addRect(CGRect(0, 0, canvas.width, canvas.height));
            border.addRect(own);
            ctx.setFillColor(*color);
            ctx.fillPath(border, true);
        }
        image.drawInRect(ctx, own);
    });
}

std::shared_ptr<UIImage> ZV_imageByRoundCornerRadius(const UIImage& image, double radius, double borderWidth,
                                                     const UIColor* borderColor, unsigned corners,
                                                     CGLineJoin borderLineJoin) {
    const CGSize size = image.size();
    const double k = image.scale();
    return drawnImage(size, false, k, [&](CGContext& ctx) {
        const CGRect rect(0, 0, size.width, size.height);
        if (borderWidth >= std::min(size.width, size.height) / 2) return;
        ctx.saveGState();
        ctx.clipToPath(CGPath::roundedRect(rect.insetBy(borderWidth, borderWidth), radius, corners));
        image.drawInRect(ctx, rect);
        ctx.restoreGState();
        if (!borderColor || borderWidth <= 0) return;
        double strokeInset = (std::floor(borderWidth * k) + 0.5) / k;
        double strokeRadius = radius > k / 2 ? radius - k / 2 : 0;
        ctx.setStrokeColor(*borderColor);
        ctx.setLineWidth(borderWidth);
        ctx.setLineJoin(borderLineJoin);
        ctx.strokePath(CGPath::roundedRect(rect.insetBy(strokeInset, strokeInset), strokeRadius, corners));
    });
}

// MARK: - Rotation, flips, tint

std::shared_ptr<UIImage> ZV_imageByRotate(const UIImage& image, double radians, bool fitSize) {
    const auto& bitmap = image.CGImage();
    if (!bitmap) return nullptr;
    const double w = bitmap->width(), h = bitmap->height();
    double newW = w, newH = h;
    if (fitSize) {
        newW = std::fabs(w * std::cos(radians)) + std::fabs(h * std::sin(radians));
        newH = std::fabs(w * std::sin(radians)) + std::fabs(h * std::cos(radians));
    }
    if (!(newW < double(CGImage::kMaxSide) + 1 && newH < double(CGImage::kMaxSide) + 1)) return nullptr;
    auto ctx = pixelContext(int64_t(newW), int64_t(newH));
    if (!ctx) return nullptr;
    ctx->setInterpolationQuality(CGInterpolationQuality::High);
    ctx->translate(int64_t(newW) / 2.0, int64_t(newH) / 2.0);
    ctx->rotate(radians);
    ctx->drawImage(CGRect(-w / 2, -h / 2, w, h), *bitmap);
    return UIImage::imageWithCGImage(ctx->bitmapImage(), image.scale(), image.imageOrientation());
}

std::shared_ptr<UIImage> ZV_imageByRotateLeft90(const UIImage& image) { return ZV_imageByRotate(image, M_PI_2, true); }
std::shared_ptr<UIImage> ZV_imageByRotateRight90(const UIImage& image) { return ZV_imageByRotate(image, -M_PI_2, true); }

namespace {
std::shared_ptr<UIImage> flipped(const UIImage& image, bool horizontal, bool vertical) {
    const auto& bitmap = image.CGImage();
    if (!bitmap) return nullptr;
    auto ctx = pixelContext(bitmap->width(), bitmap->height());
    if (!ctx) return nullptr;
    ctx->drawImage(CGRect(0, 0, bitmap->width(), bitmap->height()), *bitmap);
    const auto& pixels = ctx->bitmapImage();
    if (vertical) ZVPixelEffects::reflectVertical(*pixels);
    if (horizontal) ZVPixelEffects::reflectHorizontal(*pixels);
    return UIImage::imageWithCGImage(pixels, image.scale(), image.imageOrientation());
}
}  // namespace

std::shared_ptr<UIImage> ZV_imageByRotate180(const UIImage& image) { return flipped(image, true, true); }
std::shared_ptr<UIImage> ZV_imageByFlipVertical(const UIImage& image) { return flipped(image, false, true); }
std::shared_ptr<UIImage> ZV_imageByFlipHorizontal(const UIImage& image) { return flipped(image, true, false); }

std::shared_ptr<UIImage> ZV_imageByTintColor(const UIImage& image, const UIColor& color) {
    const CGSize size = image.size();
    return drawnImage(size, false, image.scale(), [&](CGContext& ctx) {
        ctx.setFillColor(color);
        ctx.fillRect(CGRect(0, 0, size.width, size.height));
        ctx.setBlendMode(CGBlendMode::DestinationIn);
        ctx.setAlpha(1);
        image.drawInRect(ctx, CGRect(0, 0, size.width, size.height));
    });
}

}  // namespace ZVWebImage
