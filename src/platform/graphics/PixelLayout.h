#pragma once
// 32-bit pixel layouts beside the display layout of CGImage, described by a
// bitmap info as the platform composes it (alpha info in the low five bits,
// byte order in 0x7000), and plain buffers of such pixels.
//
// Conversions go both ways: out of a CGImage into any 8-bit, 4-channel
// layout (alpha first or last, premultiplied, straight or skipped, either
// byte order) and back. Straight alpha is rounded to the nearest value on
// both ways, so a round trip stays within ±1 of every component. Sizes are
// checked for overflow before anything is allocated, and pixel counts stay
// within CGImage's budget.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/graphics/CGImage.h"

// Alpha info (the low five bits of a bitmap info).
enum CGImageAlphaInfo : uint32_t {
    kCGImageAlphaNone = 0,
    kCGImageAlphaPremultipliedLast = 1,
    kCGImageAlphaPremultipliedFirst = 2,
    kCGImageAlphaLast = 3,
    kCGImageAlphaFirst = 4,
    kCGImageAlphaNoneSkipLast = 5,
    kCGImageAlphaNoneSkipFirst = 6,
};
inline constexpr uint32_t kCGBitmapAlphaInfoMask = 0x1F;
inline constexpr uint32_t kCGBitmapByteOrderMask = 0x7000;
inline constexpr uint32_t kCGBitmapByteOrderDefault = 0;
inline constexpr uint32_t kCGBitmapByteOrder32Little = 0x2000;
inline constexpr uint32_t kCGBitmapByteOrder32Big = 0x4000;

inline uint32_t CGBitmapAlphaInfo(uint32_t bitmapInfo) { return bitmapInfo & kCGBitmapAlphaInfoMask; }
inline uint32_t CGBitmapByteOrder(uint32_t bitmapInfo) { return bitmapInfo & kCGBitmapByteOrderMask; }
// Alpha infos 1 to 4 carry alpha; none and the skip layouts are opaque.
inline bool CGBitmapInfoHasAlpha(uint32_t bitmapInfo) {
    uint32_t a = CGBitmapAlphaInfo(bitmapInfo);
    return a >= kCGImageAlphaPremultipliedLast && a <= kCGImageAlphaFirst;
}
// True for the 32-bit layouts the conversions understand: alpha info 1 to
// 6 with the default, 32-bit big or 32-bit little byte order.
bool CGBitmapInfoIsSupported(uint32_t bitmapInfo);

// height × bytesPerRow, or nullopt when a side is not positive, the rows
// are shorter than width × 4, or the product overflows.
std::optional<size_t> checkedBufferSize(int64_t width, int64_t height, size_t bytesPerRow);
// width × 4 rounded up to a multiple of `alignment` (a power of two); 0 on overflow.
size_t alignedBytesPerRow(int64_t width, size_t alignment = 16);

// A malloc'ed block of 32-bit pixels in a stated layout. Owns its bytes
// until release() hands them on (to a data provider, for one).
class PixelBuffer {
public:
    // Uninitialised pixels; nullopt for an impossible or over-budget size.
    static std::optional<PixelBuffer> allocate(int width, int height, uint32_t bitmapInfo, size_t bytesPerRow = 0);

    PixelBuffer(PixelBuffer&& o) noexcept;
    PixelBuffer& operator=(PixelBuffer&& o) noexcept;
    ~PixelBuffer();

    uint8_t* data() const { return data_; }
    int width() const { return width_; }
    int height() const { return height_; }
    size_t bytesPerRow() const { return bytesPerRow_; }
    uint32_t bitmapInfo() const { return bitmapInfo_; }
    size_t byteCount() const { return bytesPerRow_ * size_t(height_); }
    // Gives up ownership: the caller frees the bytes with free().
    uint8_t* release();

private:
    PixelBuffer(uint8_t* data, int w, int h, size_t bpr, uint32_t info)
        : data_(data), width_(w), height_(h), bytesPerRow_(bpr), bitmapInfo_(info) {}
    uint8_t* data_ = nullptr;
    int width_ = 0, height_ = 0;
    size_t bytesPerRow_ = 0;
    uint32_t bitmapInfo_ = 0;
};

// The image's pixels in `bitmapInfo`'s layout (rows of `bytesPerRow`, 0 =
// width × 4); nullopt for an unsupported layout.
std::optional<PixelBuffer> CGImageCopyPixels(const CGImage& image, uint32_t bitmapInfo, size_t bytesPerRow = 0);

// A display-layout image of pixels given in `bitmapInfo`'s layout (with
// alpha when the layout has alpha); nullptr for an unsupported layout, rows
// shorter than width × 4, or an over-budget size.
std::shared_ptr<CGImage> CGImageCreateWithPixels(const uint8_t* pixels, int width, int height, size_t bytesPerRow,
                                                 uint32_t bitmapInfo);

// Bytes handed to the graphics layer with a callback that releases them
// when the last user lets go (the platform's data provider).
class CGDataProvider {
public:
    using ReleaseCallback = void (*)(void* info, const void* data, size_t size);
    // Takes the bytes as they are; `release` (may be null) runs once, on destruction.
    static std::shared_ptr<CGDataProvider> createWithData(void* info, const void* data, size_t size,
                                                          ReleaseCallback release);
    // Over a copy of `size` bytes.
    static std::shared_ptr<CGDataProvider> createWithCopy(const void* data, size_t size);

    ~CGDataProvider();
    CGDataProvider(const CGDataProvider&) = delete;
    CGDataProvider& operator=(const CGDataProvider&) = delete;

    const uint8_t* bytes() const { return static_cast<const uint8_t*>(data_); }
    size_t size() const { return size_; }

private:
    CGDataProvider(void* info, const void* data, size_t size, ReleaseCallback release)
        : info_(info), data_(data), size_(size), release_(release) {}
    void* info_;
    const void* data_;
    size_t size_;
    ReleaseCallback release_;
};

// An image over a provider's pixels in `bitmapInfo`'s layout (8 bits per
// component, 32 per pixel). The pixels are converted into the display
// layout at once; nullptr when the provider holds fewer than
// height × bytesPerRow bytes or the layout is unsupported.
std::shared_ptr<CGImage> CGImageCreateWithProvider(int width, int height, size_t bytesPerRow, uint32_t bitmapInfo,
                                                   const CGDataProvider& provider);
