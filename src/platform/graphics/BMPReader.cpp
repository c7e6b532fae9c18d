// BMP files and the device-independent bitmaps inside icons: 1, 4, 8, 16,
// 24 and 32 bits per pixel, plain (BI_RGB) or with bit-field masks
// (BI_BITFIELDS, BI_ALPHABITFIELDS), bottom-up or top-down rows. Run-length
// and embedded JPEG/PNG compressions are not read.

#include <bit>
#include <cstring>

#include "platform/graphics/ImageReaders.h"
#include "platform/graphics/ImageSource.h"

namespace imageio {

namespace {

constexpr uint32_t kRGB = 0, kBitFields = 3, kAlphaBitFields = 6;

struct DIBHeader {
    int width = 0, height = 0;
    bool topDown = false;
    int bitsPerPixel = 0;
    uint32_t compression = kRGB;
    uint32_t masks[4] = {};  // red, green, blue, alpha
    size_t paletteOffset = 0, paletteEntries = 0, entrySize = 4;
    size_t pixelOffset = 0;  // right after the header, masks and palette
};

bool validDepth(int bpp, uint32_t compression) {
    if (compression == kRGB) return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    return (compression == kBitFields || compression == kAlphaBitFields) && (bpp == 16 || bpp == 32);
}

void defaultMasks(DIBHeader& h, bool inIcon) {
    if (h.bitsPerPixel == 16) {
        h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    } else {
        h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
        // An icon's 32-bit colour carries alpha; a plain BMP's fourth byte is padding.
        if (inIcon) h.masks[3] = 0xFF000000u;
    }
}

// The masks of a 40-byte header follow it; longer headers hold them inside.
bool readMasks(const uint8_t* p, size_t n, size_t headerSize, DIBHeader& h) {
    size_t count = h.compression == kAlphaBitFields || headerSize >= 56 ? 4 : 3;
    size_t at = 40;
    if (headerSize == 40) h.paletteOffset += count * 4;
    if (at + count * 4 > n) return false;
    for (size_t i = 0; i < count; ++i) h.masks[i] = le32(p + at + 4 * i);
    return true;
}

std::optional<DIBHeader> parseHeader(const uint8_t* p, size_t n, bool inIcon) {
    if (n < 12) return std::nullopt;
    DIBHeader h;
    uint32_t headerSize = le32(p);
    int64_t width, height;
    if (headerSize == 12) {
        width = le16(p + 4), height = int16_t(le16(p + 6)), h.bitsPerPixel = le16(p + 10);
        h.entrySize = 3;
    } else if (headerSize >= 40 && n >= 40) {
        width = int32_t(le32(p + 4)), height = int32_t(le32(p + 8)), h.bitsPerPixel = le16(p + 14);
        h.compression = le32(p + 16);
        h.paletteEntries = le32(p + 32);
    } else {
        return std::nullopt;
    }
    if (!validDepth(h.bitsPerPixel, h.compression)) return std::nullopt;
    h.topDown = height < 0 && !inIcon;
    height = height < 0 ? -height : height;
    if (inIcon) height /= 2;  // the AND mask's rows are counted too
    if (!CGImage::fitsBudget(width, height)) return std::nullopt;
    h.width = int(width), h.height = int(height);
    h.paletteOffset = headerSize;
    defaultMasks(h, inIcon);
    if (h.compression != kRGB && !readMasks(p, n, headerSize, h)) return std::nullopt;
    size_t maxEntries = h.bitsPerPixel <= 8 ? size_t(1) << h.bitsPerPixel : 0;
    h.paletteEntries = h.paletteEntries == 0 || h.paletteEntries > maxEntries ? maxEntries : h.paletteEntries;
    h.pixelOffset = h.paletteOffset + h.paletteEntries * h.entrySize;
    return h;
}

// A bit-field component scaled to 0...255 (255 when the mask is empty and
// `absent` says so).
uint32_t component(uint32_t value, uint32_t mask, uint32_t absent) {
    if (!mask) return absent;
    int shift = std::countr_zero(mask);
    uint64_t max = uint64_t(mask) >> shift;
    return uint32_t(((uint64_t(value & mask) >> shift) * 255 + max / 2) / max);
}

uint32_t packPixel(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    if (a < 255) r = (r * a + 127) / 255, g = (g * a + 127) / 255, b = (b * a + 127) / 255;
    return a << 24 | r << 16 | g << 8 | b;
}

class DIBDecoder {
public:
    DIBDecoder(const DIBHeader& h, const uint8_t* p, size_t n) : h_(h), p_(p), n_(n) {
        for (size_t i = 0; i < h.paletteEntries && h.paletteOffset + (i + 1) * h.entrySize <= n; ++i) {
            const uint8_t* e = p + h.paletteOffset + i * h.entrySize;
            palette_[i] = 0xFF000000u | uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
        }
        for (size_t i = h.paletteEntries; i < 256; ++i) palette_[i] = 0xFF000000u;
    }

    size_t rowBytes() const { return (size_t(h_.width) * size_t(h_.bitsPerPixel) + 31) / 32 * 4; }

    // Rows wholly inside the bytes are decoded; `alphaSeen` tells whether any pixel had alpha.
    void decodeRows(CGImage& out, size_t start, bool& alphaSeen) const {
        size_t stride = rowBytes();
        uint8_t* d = out.mutableData();
        for (int r = 0; r < h_.height; ++r) {
            size_t at = start + size_t(r) * stride;
            if (at > n_ || n_ - at < stride) break;
            int y = h_.topDown ? r : h_.height - 1 - r;
            auto* row = reinterpret_cast<uint32_t*>(d + size_t(y) * out.bytesPerRow());
            for (int x = 0; x < h_.width; ++x) {
                row[x] = pixel(p_ + at, x);
                alphaSeen = alphaSeen || (row[x] >> 24) != 0;
            }
        }
    }

    // An icon's AND mask: a set bit makes the pixel transparent.
    void applyMask(CGImage& out, size_t start) const {
        size_t stride = (size_t(h_.width) + 31) / 32 * 4;
        uint8_t* d = out.mutableData();
        for (int r = 0; r < h_.height; ++r) {
            size_t at = start + size_t(r) * stride;
            if (at > n_ || n_ - at < stride) break;
            auto* row = reinterpret_cast<uint32_t*>(d + size_t(h_.height - 1 - r) * out.bytesPerRow());
            for (int x = 0; x < h_.width; ++x)
                row[x] = (p_[at + size_t(x) / 8] >> (7 - x % 8)) & 1 ? 0 : row[x] | 0xFF000000u;
        }
    }

private:
    uint32_t pixel(const uint8_t* row, int x) const {
        switch (h_.bitsPerPixel) {
            case 1: return palette_[(row[x / 8] >> (7 - x % 8)) & 1];
            case 4: return palette_[(row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF];
            case 8: return palette_[row[x]];
            case 24: return 0xFF000000u | uint32_t(row[x * 3 + 2]) << 16 | uint32_t(row[x * 3 + 1]) << 8 | row[x * 3];
            default: {
                uint32_t v = h_.bitsPerPixel == 16 ? le16(row + x * 2) : le32(row + x * 4);
                return packPixel(component(v, h_.masks[0], 0), component(v, h_.masks[1], 0),
                                 component(v, h_.masks[2], 0), component(v, h_.masks[3], 255));
            }
        }
    }

    const DIBHeader& h_;
    const uint8_t* p_;
    size_t n_;
    uint32_t palette_[256];
};

}  // namespace

std::optional<DIBSize> dibSize(const uint8_t* dib, size_t size, bool inIcon) {
    auto h = parseHeader(dib, size, inIcon);
    if (!h) return std::nullopt;
    return DIBSize{h->width, h->height};
}

std::shared_ptr<CGImage> decodeDIB(const uint8_t* dib, size_t size, bool inIcon, size_t pixelOffset) {
    auto h = parseHeader(dib, size, inIcon);
    if (!h) return nullptr;
    bool alpha = inIcon || h->masks[3] != 0;
    auto out = CGImage::create(h->width, h->height, alpha);
    if (!out) return nullptr;
    size_t start = pixelOffset ? pixelOffset : h->pixelOffset;
    bool alphaSeen = false;
    DIBDecoder(*h, dib, size).decodeRows(*out, start, alphaSeen);
    // Icons below 32 bits, and 32-bit icons whose alpha is all zero, take
    // their transparency from the AND mask (and their colours as opaque).
    if (inIcon && (h->bitsPerPixel < 32 || !alphaSeen)) {
        h->masks[3] = 0;
        DIBDecoder decoder(*h, dib, size);
        if (h->bitsPerPixel == 32) decoder.decodeRows(*out, start, alphaSeen);
        decoder.applyMask(*out, start + decoder.rowBytes() * size_t(h->height));
    }
    out->markDirty();
    return out;
}

namespace {

class BMPReader : public FormatReader {
public:
    void update(const uint8_t* bytes, size_t size, bool final) override {
        bytes_ = bytes, size_ = size;
        if (size < 14 + 40 && !final) return;
        auto h = size > 14 ? parseHeader(bytes + 14, size - 14, false) : std::nullopt;
        invalid_ = !h;
        if (h) width_ = h->width, height_ = h->height, alpha_ = h->masks[3] != 0;
    }
    bool invalid() const override { return invalid_; }
    size_t count() const override { return width_ > 0 && !invalid_ ? 1 : 0; }
    Value frameProperties(size_t) const override { return sizeProperties(width_, height_, alpha_); }

    std::shared_ptr<CGImage> image(size_t) override {
        uint32_t offset = le32(bytes_ + 10);
        // The file header's pixel offset wins when it points past the header.
        size_t pixels = offset > 14 && offset - 14 < size_ - 14 ? offset - 14 : 0;
        return decodeDIB(bytes_ + 14, size_ - 14, false, pixels);
    }

private:
    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    bool invalid_ = false, alpha_ = false;
    int width_ = 0, height_ = 0;
};

}  // namespace

std::unique_ptr<FormatReader> makeBMPReader() { return std::make_unique<BMPReader>(); }

}  // namespace imageio
