#include "platform/graphics/PixelLayout.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Where each component sits within a pixel's four bytes.
struct ByteOffsets {
    int r, g, b, a;
};

// Alpha-first layouts read A R G B as a big-endian word, alpha-last ones
// R G B A; the little byte order reverses the four bytes.
ByteOffsets offsetsOf(uint32_t bitmapInfo) {
    uint32_t alpha = CGBitmapAlphaInfo(bitmapInfo);
    bool first = alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaFirst ||
                 alpha == kCGImageAlphaNoneSkipFirst;
    ByteOffsets big = first ? ByteOffsets{1, 2, 3, 0} : ByteOffsets{0, 1, 2, 3};
    if (CGBitmapByteOrder(bitmapInfo) != kCGBitmapByteOrder32Little) return big;
    return {3 - big.r, 3 - big.g, 3 - big.b, 3 - big.a};
}

bool isStraight(uint32_t bitmapInfo) {
    uint32_t a = CGBitmapAlphaInfo(bitmapInfo);
    return a == kCGImageAlphaLast || a == kCGImageAlphaFirst;
}

uint8_t unpremultiply(uint32_t c, uint32_t a) { return uint8_t(std::min(255u, (c * 255 + a / 2) / a)); }
uint8_t premultiply(uint32_t c, uint32_t a) { return uint8_t((c * a + 127) / 255); }

void freeBytes(void*, const void* data, size_t) { std::free(const_cast<void*>(data)); }

}  // namespace

bool CGBitmapInfoIsSupported(uint32_t bitmapInfo) {
    uint32_t alpha = CGBitmapAlphaInfo(bitmapInfo), order = CGBitmapByteOrder(bitmapInfo);
    if (alpha < kCGImageAlphaPremultipliedLast || alpha > kCGImageAlphaNoneSkipFirst) return false;
    if ((bitmapInfo & ~(kCGBitmapAlphaInfoMask | kCGBitmapByteOrderMask)) != 0) return false;
    return order == kCGBitmapByteOrderDefault || order == kCGBitmapByteOrder32Big ||
           order == kCGBitmapByteOrder32Little;
}

std::optional<size_t> checkedBufferSize(int64_t width, int64_t height, size_t bytesPerRow) {
    if (width <= 0 || height <= 0) return std::nullopt;
    if (uint64_t(width) > std::numeric_limits<size_t>::max() / 4 || bytesPerRow < size_t(width) * 4)
        return std::nullopt;
    if (uint64_t(height) > std::numeric_limits<size_t>::max() / bytesPerRow) return std::nullopt;
    return size_t(height) * bytesPerRow;
}

size_t alignedBytesPerRow(int64_t width, size_t alignment) {
    if (width <= 0 || uint64_t(width) > (std::numeric_limits<size_t>::max() - alignment) / 4) return 0;
    return (size_t(width) * 4 + alignment - 1) & ~(alignment - 1);
}

std::optional<PixelBuffer> PixelBuffer::allocate(int width, int height, uint32_t bitmapInfo, size_t bytesPerRow) {
    if (!CGImage::fitsBudget(width, height)) return std::nullopt;
    if (bytesPerRow == 0) bytesPerRow = size_t(width) * 4;
    auto size = checkedBufferSize(width, height, bytesPerRow);
    if (!size) return std::nullopt;
    auto* bytes = static_cast<uint8_t*>(std::malloc(*size));
    if (!bytes) return std::nullopt;
    return PixelBuffer(bytes, width, height, bytesPerRow, bitmapInfo);
}

PixelBuffer::PixelBuffer(PixelBuffer&& o) noexcept
    : data_(o.data_), width_(o.width_), height_(o.height_), bytesPerRow_(o.bytesPerRow_), bitmapInfo_(o.bitmapInfo_) {
    o.data_ = nullptr;
}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& o) noexcept {
    if (this != &o) {
        std::free(data_);
        data_ = o.data_, width_ = o.width_, height_ = o.height_;
        bytesPerRow_ = o.bytesPerRow_, bitmapInfo_ = o.bitmapInfo_;
        o.data_ = nullptr;
    }
    return *this;
}

PixelBuffer::~PixelBuffer() { std::free(data_); }

uint8_t* PixelBuffer::release() {
    uint8_t* d = data_;
    data_ = nullptr;
    return d;
}

std::optional<PixelBuffer> CGImageCopyPixels(const CGImage& image, uint32_t bitmapInfo, size_t bytesPerRow) {
    if (!CGBitmapInfoIsSupported(bitmapInfo)) return std::nullopt;
    auto out = PixelBuffer::allocate(image.width(), image.height(), bitmapInfo, bytesPerRow);
    if (!out) return std::nullopt;
    ByteOffsets o = offsetsOf(bitmapInfo);
    bool straight = isStraight(bitmapInfo), keepAlpha = CGBitmapInfoHasAlpha(bitmapInfo) && image.hasAlpha();
    const uint8_t* src = image.data();
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<const uint32_t*>(src + size_t(y) * image.bytesPerRow());
        uint8_t* p = out->data() + size_t(y) * out->bytesPerRow();
        for (int x = 0; x < image.width(); ++x, p += 4) {
            uint32_t w = row[x];
            uint32_t a = keepAlpha ? w >> 24 : 255, r = (w >> 16) & 0xFF, g = (w >> 8) & 0xFF, b = w & 0xFF;
            if (straight && a < 255) {
                r = a ? unpremultiply(r, a) : 0, g = a ? unpremultiply(g, a) : 0, b = a ? unpremultiply(b, a) : 0;
            }
            p[o.r] = uint8_t(r), p[o.g] = uint8_t(g), p[o.b] = uint8_t(b), p[o.a] = uint8_t(a);
        }
    }
    return out;
}

std::shared_ptr<CGImage> CGImageCreateWithPixels(const uint8_t* pixels, int width, int height, size_t bytesPerRow,
                                                 uint32_t bitmapInfo) {
    if (!pixels || !CGBitmapInfoIsSupported(bitmapInfo) || !checkedBufferSize(width, height, bytesPerRow))
        return nullptr;
    bool alpha = CGBitmapInfoHasAlpha(bitmapInfo), straight = isStraight(bitmapInfo);
    auto image = CGImage::create(width, height, alpha);
    if (!image) return nullptr;
    ByteOffsets o = offsetsOf(bitmapInfo);
    uint8_t* dst = image->mutableData();
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = pixels + size_t(y) * bytesPerRow;
        auto* row = reinterpret_cast<uint32_t*>(dst + size_t(y) * image->bytesPerRow());
        for (int x = 0; x < width; ++x, p += 4) {
            uint32_t a = alpha ? p[o.a] : 255, r = p[o.r], g = p[o.g], b = p[o.b];
            if (straight && a < 255) r = premultiply(r, a), g = premultiply(g, a), b = premultiply(b, a);
            // Premultiplied input may carry components above alpha; keep the word valid.
            if (!straight && alpha) r = std::min(r, a), g = std::min(g, a), b = std::min(b, a);
            row[x] = a << 24 | r << 16 | g << 8 | b;
        }
    }
    image->markDirty();
    return image;
}

std::shared_ptr<CGDataProvider> CGDataProvider::createWithData(void* info, const void* data, size_t size,
                                                               ReleaseCallback release) {
    return std::shared_ptr<CGDataProvider>(new CGDataProvider(info, data, size, release));
}

std::shared_ptr<CGDataProvider> CGDataProvider::createWithCopy(const void* data, size_t size) {
    void* copy = std::malloc(size ? size : 1);
    if (!copy) return nullptr;
    if (size) std::memcpy(copy, data, size);
    return createWithData(nullptr, copy, size, freeBytes);
}

CGDataProvider::~CGDataProvider() {
    if (release_) release_(info_, data_, size_);
}

std::shared_ptr<CGImage> CGImageCreateWithProvider(int width, int height, size_t bytesPerRow, uint32_t bitmapInfo,
                                                   const CGDataProvider& provider) {
    auto need = checkedBufferSize(width, height, bytesPerRow);
    if (!need || provider.size() < *need) return nullptr;
    return CGImageCreateWithPixels(provider.bytes(), width, height, bytesPerRow, bitmapInfo);
}
