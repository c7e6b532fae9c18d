// BMP, ICO and ICNS files from bitmaps. BMP rows are written bottom-up:
// 24-bit without alpha, 32-bit straight BGRA with bit-field masks (a
// version 4 header) with alpha. ICO and ICNS entries hold PNG data.

#include <cstring>

#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/PixelLayout.h"

namespace imageio {

namespace {

void putLE16(Data& d, uint32_t v) { d.push_back(uint8_t(v)), d.push_back(uint8_t(v >> 8)); }
void putLE32(Data& d, uint32_t v) { putLE16(d, v & 0xFFFF), putLE16(d, v >> 16); }
void putBE32(Data& d, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) d.push_back(uint8_t(v >> s));
}
void putBytes(Data& d, const void* p, size_t n) {
    auto* b = static_cast<const uint8_t*>(p);
    d.insert(d.end(), b, b + n);
}

// The ICNS entry type for a square PNG of `side` pixels; null for other sizes.
const char* icnsType(int width, int height) {
    if (width != height) return nullptr;
    switch (width) {
        case 16: return "icp4";
        case 32: return "icp5";
        case 64: return "icp6";
        case 128: return "ic07";
        case 256: return "ic08";
        case 512: return "ic09";
        case 1024: return "ic10";
        default: return nullptr;
    }
}

}  // namespace

std::optional<Data> encodeBMP(const CGImage& image) {
    bool alpha = image.hasAlpha();
    // Straight B G R A bytes: the alpha-first words of a little-endian host.
    auto pixels = CGImageCopyPixels(image, kCGImageAlphaFirst | kCGBitmapByteOrder32Little);
    if (!pixels) return std::nullopt;
    uint32_t headerSize = alpha ? 108 : 40, bpp = alpha ? 32 : 24;
    size_t rowBytes = (size_t(image.width()) * bpp / 8 + 3) / 4 * 4;
    size_t pixelBytes = rowBytes * size_t(image.height()), offset = 14 + headerSize;
    if (offset + pixelBytes > 0xFFFFFFFFu) return std::nullopt;
    Data d;
    d.reserve(offset + pixelBytes);
    putBytes(d, "BM", 2), putLE32(d, uint32_t(offset + pixelBytes)), putLE32(d, 0), putLE32(d, uint32_t(offset));
    putLE32(d, headerSize), putLE32(d, uint32_t(image.width())), putLE32(d, uint32_t(image.height()));
    putLE16(d, 1), putLE16(d, bpp), putLE32(d, alpha ? 3 : 0), putLE32(d, uint32_t(pixelBytes));
    putLE32(d, 2835), putLE32(d, 2835), putLE32(d, 0), putLE32(d, 0);  // 72 dpi, no palette
    if (alpha) {
        putLE32(d, 0x00FF0000), putLE32(d, 0x0000FF00), putLE32(d, 0x000000FF), putLE32(d, 0xFF000000);
        putBytes(d, "BGRs", 4);           // sRGB
        d.resize(d.size() + 36 + 12, 0);  // endpoints and gamma, unused with sRGB
    }
    for (int y = image.height() - 1; y >= 0; --y) {
        const uint8_t* p = pixels->data() + size_t(y) * pixels->bytesPerRow();
        size_t start = d.size();
        for (int x = 0; x < image.width(); ++x, p += 4) putBytes(d, p, alpha ? 4 : 3);
        d.resize(start + rowBytes, 0);
    }
    return d;
}

std::optional<Data> encodeICO(const std::vector<std::shared_ptr<const CGImage>>& images) {
    if (images.empty() || images.size() > 0xFFFF) return std::nullopt;
    std::vector<Data> payloads;
    for (auto& image : images) {
        auto png = encodePNG(*image);
        if (!png) return std::nullopt;
        payloads.push_back(std::move(*png));
    }
    Data d;
    putLE16(d, 0), putLE16(d, 1), putLE16(d, uint32_t(images.size()));
    size_t offset = 6 + 16 * images.size();
    for (size_t i = 0; i < images.size(); ++i) {
        // A side of 256 or more is written as 0; readers take the size from the PNG.
        d.push_back(uint8_t(images[i]->width() >= 256 ? 0 : images[i]->width()));
        d.push_back(uint8_t(images[i]->height() >= 256 ? 0 : images[i]->height()));
        d.push_back(0), d.push_back(0), putLE16(d, 1), putLE16(d, 32);
        if (offset + payloads[i].size() > 0xFFFFFFFFu) return std::nullopt;
        putLE32(d, uint32_t(payloads[i].size())), putLE32(d, uint32_t(offset));
        offset += payloads[i].size();
    }
    for (auto& p : payloads) putBytes(d, p.data(), p.size());
    return d;
}

std::optional<Data> encodeICNS(const std::vector<std::shared_ptr<const CGImage>>& images) {
    if (images.empty()) return std::nullopt;
    Data body;
    for (auto& image : images) {
        const char* type = icnsType(image->width(), image->height());
        auto png = type ? encodePNG(*image) : std::nullopt;
        if (!png) return std::nullopt;
        putBytes(body, type, 4), putBE32(body, uint32_t(png->size() + 8)), putBytes(body, png->data(), png->size());
    }
    if (body.size() + 8 > 0xFFFFFFFFu) return std::nullopt;
    Data d;
    putBytes(d, "icns", 4), putBE32(d, uint32_t(body.size() + 8));
    putBytes(d, body.data(), body.size());
    return d;
}

}  // namespace imageio
