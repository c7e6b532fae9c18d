#include "platform/graphics/CGImage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

CGImage::CGImage(cairo_surface_t* s)
    : surface_(s),
      width_(cairo_image_surface_get_width(s)),
      height_(cairo_image_surface_get_height(s)),
      stride_(cairo_image_surface_get_stride(s)),
      hasAlpha_(cairo_image_surface_get_format(s) == CAIRO_FORMAT_ARGB32) {}

CGImage::~CGImage() { cairo_surface_destroy(surface_); }

std::shared_ptr<CGImage> CGImage::create(int width, int height, bool hasAlpha) {
    if (!fitsBudget(width, height)) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(hasAlpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    if (!hasAlpha) {
        // Opaque black rather than undefined alpha bytes.
        cairo_surface_flush(s);
        unsigned char* d = cairo_image_surface_get_data(s);
        int stride = cairo_image_surface_get_stride(s);
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(d + size_t(y) * stride);
            for (int x = 0; x < width; ++x) row[x] = 0xFF000000u;
        }
        cairo_surface_mark_dirty(s);
    }
    return std::shared_ptr<CGImage>(new CGImage(s));
}

std::shared_ptr<CGImage> CGImage::createForOverwrite(int width, int height, bool hasAlpha) {
    if (!fitsBudget(width, height)) return nullptr;
    cairo_format_t format = hasAlpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24;
    int stride = cairo_format_stride_for_width(format, width);
    // Our own block, freed with the surface: Cairo would clear a block of its own.
    void* pixels = nullptr;
    if (stride <= 0 || posix_memalign(&pixels, 64, size_t(stride) * size_t(height)) != 0) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels), format, width, height, stride);
    static const cairo_user_data_key_t kPixels{};
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(s, &kPixels, pixels, free) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        free(pixels);
        return nullptr;
    }
    return std::shared_ptr<CGImage>(new CGImage(s));
}

std::shared_ptr<CGImage> CGImage::withSurface(cairo_surface_t* s) {
    if (!s || cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE) return nullptr;
    auto f = cairo_image_surface_get_format(s);
    if (f != CAIRO_FORMAT_ARGB32 && f != CAIRO_FORMAT_RGB24) return nullptr;
    if (cairo_image_surface_get_width(s) <= 0 || cairo_image_surface_get_height(s) <= 0) return nullptr;
    return std::shared_ptr<CGImage>(new CGImage(cairo_surface_reference(s)));
}

const uint8_t* CGImage::data() const {
    cairo_surface_flush(surface_);
    return cairo_image_surface_get_data(surface_);
}

uint8_t* CGImage::mutableData() {
    cairo_surface_flush(surface_);
    return cairo_image_surface_get_data(surface_);
}

void CGImage::markDirty() { cairo_surface_mark_dirty(surface_); }

RGBA8 CGImage::pixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    uint32_t w = reinterpret_cast<const uint32_t*>(data() + size_t(y) * stride_)[x];
    uint8_t a = hasAlpha_ ? uint8_t(w >> 24) : 255;
    uint8_t r = uint8_t(w >> 16), g = uint8_t(w >> 8), b = uint8_t(w);
    if (a == 0) return {0, 0, 0, 0};
    if (a < 255) {
        r = uint8_t(std::min(255, (r * 255 + a / 2) / a));
        g = uint8_t(std::min(255, (g * 255 + a / 2) / a));
        b = uint8_t(std::min(255, (b * 255 + a / 2) / a));
    }
    return {r, g, b, a};
}

void CGImage::setPixel(int x, int y, RGBA8 c) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint32_t a = hasAlpha_ ? c.a : 255;
    uint32_t r = (c.r * a + 127) / 255, g = (c.g * a + 127) / 255, b = (c.b * a + 127) / 255;
    reinterpret_cast<uint32_t*>(mutableData() + size_t(y) * stride_)[x] = (a << 24) | (r << 16) | (g << 8) | b;
    markDirty();
}

std::shared_ptr<CGImage> CGImage::cropped(const CGRect& pixelRect) const {
    CGRect r = CGRect(std::floor(pixelRect.minX()), std::floor(pixelRect.minY()), 0, 0);
    r.size = {std::ceil(pixelRect.maxX()) - r.origin.x, std::ceil(pixelRect.maxY()) - r.origin.y};
    r = r.intersection(CGRect(0, 0, width_, height_));
    if (r.isEmpty()) return nullptr;
    auto out = createForOverwrite(int(r.size.width), int(r.size.height), hasAlpha_);
    if (!out) return nullptr;
    const uint8_t* src = data();
    uint8_t* dst = out->mutableData();
    for (int y = 0; y < out->height_; ++y)
        std::memcpy(dst + size_t(y) * out->stride_, src + size_t(y + int(r.origin.y)) * stride_ + size_t(r.origin.x) * 4,
                    size_t(out->width_) * 4);
    out->markDirty();
    return out;
}

std::shared_ptr<CGImage> CGImage::copy() const { return cropped(CGRect(0, 0, width_, height_)); }
