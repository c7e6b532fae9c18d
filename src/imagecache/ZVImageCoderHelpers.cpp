#include "imagecache/ZVImageCoderHelpers.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <numbers>

#include "platform/foundation/PlatformLog.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/ImageDestination.h"

namespace {

// Straight ARGB, big-endian: the layout the warp works in.
constexpr uint32_t kWarpLayout = kCGImageAlphaFirst;

bool startsWith(const uint8_t* b, const char* magic, size_t n) { return std::memcmp(b, magic, n) == 0; }

ZVImageType fourByteType(const uint8_t* b) {
    if (startsWith(b, "MM\0*", 4) || startsWith(b, "II*\0", 4)) return ZVImageType::TIFF;
    if (startsWith(b, "\0\0\1\0", 4) || startsWith(b, "\0\0\2\0", 4)) return ZVImageType::ICO;
    if (startsWith(b, "icns", 4)) return ZVImageType::ICNS;
    if (startsWith(b, "GIF8", 4)) return ZVImageType::GIF;
    if (startsWith(b, "\x89PNG", 4) && startsWith(b + 4, "\r\n\x1a\n", 4)) return ZVImageType::PNG;
    if (startsWith(b, "RIFF", 4) && startsWith(b + 8, "WEBP", 4)) return ZVImageType::WebP;
    return ZVImageType::Unknown;
}

ZVImageType twoByteType(const uint8_t* b) {
    static const char* bmp[] = {"BA", "BM", "IC", "PI", "CI", "CP"};
    for (const char* m : bmp)
        if (startsWith(b, m, 2)) return ZVImageType::BMP;
    if (b[0] == 0xFF && b[1] == 0x4F) return ZVImageType::JPEG2000;
    return ZVImageType::Unknown;
}

// Source pixel for the centre of destination pixel (x, row) under the
// inverse transform, in y-up pixel space; -1 when outside.
int64_t sourceIndex(const CGAffineTransform& inverse, int x, int row, int destHeight, int srcWidth, int srcHeight) {
    CGPoint s = inverse.apply(CGPoint{x + 0.5, destHeight - row - 0.5});
    double sx = std::floor(s.x), sy = std::floor(s.y);
    if (sx < 0 || sy < 0 || sx >= srcWidth || sy >= srcHeight) return -1;
    return int64_t(srcHeight - 1 - int64_t(sy)) * srcWidth + int64_t(sx);
}

std::optional<PixelBuffer> warp(const PixelBuffer& src, const CGAffineTransform& t, int width, int height) {
    auto out = PixelBuffer::allocate(width, height, kWarpLayout, alignedBytesPerRow(width, 32));
    if (!out) return std::nullopt;
    CGAffineTransform inverse = t.inverted();
    for (int row = 0; row < height; ++row) {
        auto* o = reinterpret_cast<uint32_t*>(out->data() + size_t(row) * out->bytesPerRow());
        for (int x = 0; x < width; ++x) {
            int64_t i = sourceIndex(inverse, x, row, height, src.width(), src.height());
            o[x] = i < 0 ? 0
                         : *reinterpret_cast<const uint32_t*>(src.data() + size_t(i / src.width()) * src.bytesPerRow() +
                                                              size_t(i % src.width()) * 4);
        }
    }
    return out;
}

}  // namespace

const ZVColorSpace& ZVSharedDeviceRGBColorSpace() {
    static const ZVColorSpace* space = new ZVColorSpace();
    return *space;
}

ZVImageType ZVDetectImageType(const uint8_t* b, size_t n) {
    if (!b || n < 16) return ZVImageType::Unknown;
    if (auto t = fourByteType(b); t != ZVImageType::Unknown) return t;
    if (auto t = twoByteType(b); t != ZVImageType::Unknown) return t;
    if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return ZVImageType::JPEG;
    if (startsWith(b + 4, "jP  \r", 5)) return ZVImageType::JPEG2000;
    return ZVImageType::Unknown;
}

std::optional<std::string> ZVUTTypeForImageType(ZVImageType type) {
    switch (type) {
        case ZVImageType::JPEG: return "public.jpeg";
        case ZVImageType::JPEG2000: return "public.jpeg-2000";
        case ZVImageType::TIFF: return "public.tiff";
        case ZVImageType::BMP: return "com.microsoft.bmp";
        case ZVImageType::ICO: return "com.microsoft.ico";
        case ZVImageType::ICNS: return "com.apple.icns";
        case ZVImageType::GIF: return "com.compuserve.gif";
        case ZVImageType::PNG: return "public.png";
        default: return std::nullopt;
    }
}

imageio::Format ZVImageFormatForType(ZVImageType type) {
    switch (type) {
        case ZVImageType::JPEG: return imageio::Format::JPEG;
        case ZVImageType::JPEG2000: return imageio::Format::JPEG2000;
        case ZVImageType::TIFF: return imageio::Format::TIFF;
        case ZVImageType::BMP: return imageio::Format::BMP;
        case ZVImageType::ICO: return imageio::Format::ICO;
        case ZVImageType::ICNS: return imageio::Format::ICNS;
        case ZVImageType::GIF: return imageio::Format::GIF;
        case ZVImageType::PNG: return imageio::Format::PNG;
        default: return imageio::Format::Unknown;
    }
}

std::shared_ptr<CGImage> ZVCopyDecodedCGImage(const std::shared_ptr<CGImage>& image, bool decodeForDisplay) {
    if (!image || image->width() == 0 || image->height() == 0) return nullptr;
    if (!decodeForDisplay) return image->copy();
    auto ctx = CGContext::bitmapContext(image->width(), image->height(), image->bitmapInfo());
    if (!ctx) return nullptr;
    ctx->drawImage(CGRect(0, 0, image->width(), image->height()), *image);
    return ctx->bitmapImage();
}

std::optional<PixelBuffer> ZVDecodeCGImageTo32BitBuffer(const CGImage* image, uint32_t bitmapInfo) {
    if (!image || image->width() == 0 || image->height() == 0) return std::nullopt;
    return CGImageCopyPixels(*image, bitmapInfo, alignedBytesPerRow(image->width()));
}

std::shared_ptr<CGImage> ZVCopyAffineTransformedCGImage(const std::shared_ptr<CGImage>& image,
                                                        const CGAffineTransform& transform, CGSize destSize,
                                                        uint32_t destBitmapInfo) {
    double w = std::round(destSize.width), h = std::round(destSize.height);
    if (!image || !(w >= 1 && h >= 1) || !CGImage::fitsBudget(int64_t(w), int64_t(h))) return nullptr;
    auto source = ZVDecodeCGImageTo32BitBuffer(image.get(), kWarpLayout);
    if (!source) return nullptr;
    auto warped = warp(*source, transform, int(w), int(h));
    if (!warped) return nullptr;
    auto straight = CGImageCreateWithPixels(warped->data(), warped->width(), warped->height(), warped->bytesPerRow(),
                                            kWarpLayout);
    if (!straight || destBitmapInfo == kWarpLayout) return straight;
    auto dest = ZVDecodeCGImageTo32BitBuffer(straight.get(), destBitmapInfo);
    if (!dest) return nullptr;
    return CGImageCreateWithPixels(dest->data(), dest->width(), dest->height(), dest->bytesPerRow(), destBitmapInfo);
}

std::shared_ptr<CGImage> ZVCopyCGImageWithOrientation(const std::shared_ptr<CGImage>& image,
                                                      UIImageOrientation orientation, uint32_t destBitmapInfo) {
    if (!image) return nullptr;
    if (orientation == UIImageOrientation::Up) return image;
    const double W = image->width(), H = image->height(), pi = std::numbers::pi;
    CGAffineTransform t;
    bool swap = false;
    switch (orientation) {
        case UIImageOrientation::Down: t = t.rotated(pi).translated(-W, -H); break;
        case UIImageOrientation::Left: t = t.rotated(pi / 2).translated(0, -H), swap = true; break;
        case UIImageOrientation::Right: t = t.rotated(-pi / 2).translated(-W, 0), swap = true; break;
        case UIImageOrientation::UpMirrored: t = t.translated(W, 0).scaled(-1, 1); break;
        case UIImageOrientation::DownMirrored: t = t.translated(0, H).scaled(1, -1); break;
        case UIImageOrientation::LeftMirrored: t = t.rotated(-pi / 2).scaled(1, -1).translated(-W, -H), swap = true; break;
        case UIImageOrientation::RightMirrored: t = t.rotated(pi / 2).scaled(1, -1), swap = true; break;
        default: break;
    }
    if (t.isIdentity()) return image;
    return ZVCopyAffineTransformedCGImage(image, t, swap ? CGSize{H, W} : CGSize{W, H}, destBitmapInfo);
}

std::optional<Data> ZVCreateEncodedImageData(const std::shared_ptr<CGImage>& image, ZVImageType type,
                                             double quality) {
    if (!image || type == ZVImageType::WebP || !ZVUTTypeForImageType(type)) return std::nullopt;
    auto destination = imageio::ImageDestination::create(ZVImageFormatForType(type), 1);
    if (!destination) return std::nullopt;
    destination->addImage(image, Value::dict({{imageio::kDestinationLossyCompressionQuality,
                                               std::clamp(std::isnan(quality) ? 0.0 : quality, 0.0, 1.0)}}));
    auto data = destination->finalize();
    if (!data || data->empty()) return std::nullopt;
    return data;
}

void ZVFreeDataCallback(void*, const void* data, size_t) { std::free(const_cast<void*>(data)); }

void ZVLogWebPUnavailable(const char* function, int line) {
    static std::once_flag once;
    std::call_once(once, [&] {
        NSLog("[%s: %d] WebP is not available, check the documentation to see how to install WebP component: %s",
              function, line, "docs/images.md, section \"Image coding\"");
    });
}
