#pragma once
// The one pixel store of the system: a bitmap of 32-bit pixels in the
// display layout (8 bits per component, native-endian 32-bit words, alpha
// first; premultiplied when the image has alpha, the alpha byte ignored when
// it has none). It is a Cairo image surface, so drawing, decoding and
// encoding all work on the same bytes without conversion.

#include <cairo.h>

#include <cstdint>
#include <memory>

#include "platform/graphics/Geometry.h"

// Bitmap-info values of the display layout (32-bit little-endian, alpha first).
inline constexpr uint32_t kBitmapInfoPremultipliedFirst = 0x2002;
inline constexpr uint32_t kBitmapInfoNoneSkipFirst = 0x2006;

struct RGBA8 {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const RGBA8& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

class CGImage {
public:
    // The pixel budget of every bitmap: a small file from outside that
    // claims a huge size must not make us allocate gigabytes (64 Mpx are
    // 256 MiB of pixels). Whatever makes bitmaps of a size it is asked for
    // (thumbnails, drawing contexts) refuses beyond it, and every decoder
    // checks a file's claimed size against it before allocating anything.
    static constexpr int kMaxSide = 32768;
    static constexpr int64_t kMaxPixels = int64_t(1) << 26;
    static bool fitsBudget(int64_t width, int64_t height) {
        return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
    }

    // A new bitmap of the given pixel size, all zero (transparent black;
    // opaque black without alpha). nullptr for a size outside the budget.
    static std::shared_ptr<CGImage> create(int width, int height, bool hasAlpha);
    // The same with pixels left as they are in fresh memory, for a caller
    // that writes every pixel next (decoders, copies): saves a pass over
    // the whole bitmap.
    static std::shared_ptr<CGImage> createForOverwrite(int width, int height, bool hasAlpha);
    // Takes a reference to an image surface (ARGB32 or RGB24); nullptr otherwise.
    static std::shared_ptr<CGImage> withSurface(cairo_surface_t* surface);

    ~CGImage();
    CGImage(const CGImage&) = delete;
    CGImage& operator=(const CGImage&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    int bytesPerRow() const { return stride_; }
    bool hasAlpha() const { return hasAlpha_; }
    uint32_t bitmapInfo() const { return hasAlpha_ ? kBitmapInfoPremultipliedFirst : kBitmapInfoNoneSkipFirst; }
    size_t byteCount() const { return size_t(stride_) * size_t(height_); }

    // The raw words (premultiplied ARGB). Call markDirty() after writing
    // through mutableData() so Cairo drops cached copies.
    const uint8_t* data() const;
    uint8_t* mutableData();
    void markDirty();
    cairo_surface_t* surface() const { return surface_; }

    // One pixel as straight (not premultiplied) 8-bit RGBA; zero outside.
    RGBA8 pixelAt(int x, int y) const;
    void setPixel(int x, int y, RGBA8 c);

    // A copy of a rectangle of pixels (clamped to the image); nullptr when empty.
    std::shared_ptr<CGImage> cropped(const CGRect& pixelRect) const;
    std::shared_ptr<CGImage> copy() const;

private:
    CGImage(cairo_surface_t* s);
    cairo_surface_t* surface_;
    int width_, height_, stride_;
    bool hasAlpha_;
};
