// GIF files from bitmaps with giflib: one local colour table per frame
// (exact when a frame has few enough colours, else giflib's median cut),
// a graphics control block with the delay and, when the frame has
// transparent pixels, its transparent index; frames dispose to the
// background so that each one shows as the complete image it was.

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "platform/graphics/GIFLibrary.h"
#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/PixelLayout.h"

namespace imageio {

namespace {

int writeMemory(GifFileType* gif, const GifByteType* bytes, int length) {
    auto* out = static_cast<Data*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + length);
    return length;
}

// A frame as palette indexes, its colours, and its transparent index (or -1).
struct IndexedFrame {
    int width = 0, height = 0;
    std::vector<GifByteType> indexes;
    std::vector<GifColorType> colors = std::vector<GifColorType>(256);
    int transparent = -1;
};

constexpr uint32_t kTransparent = 0xFFFFFFFFu;

// Straight RGB of every pixel, or kTransparent under half alpha.
std::vector<uint32_t> straightColors(const CGImage& image) {
    std::vector<uint32_t> out;
    auto rgba = CGImageCopyPixels(image, kCGImageAlphaLast | kCGBitmapByteOrder32Big);
    if (!rgba) return out;
    out.resize(size_t(image.width()) * image.height());
    for (int y = 0; y < image.height(); ++y) {
        const uint8_t* p = rgba->data() + size_t(y) * rgba->bytesPerRow();
        for (int x = 0; x < image.width(); ++x, p += 4)
            out[size_t(y) * image.width() + x] = p[3] < 128 ? kTransparent : uint32_t(p[0]) << 16 | p[1] << 8 | p[2];
    }
    return out;
}

bool exactPalette(const std::vector<uint32_t>& pixels, int limit, IndexedFrame& f) {
    std::map<uint32_t, GifByteType> index;
    for (uint32_t c : pixels) {
        if (c == kTransparent || index.count(c)) continue;
        if (int(index.size()) == limit) return false;
        GifByteType i = GifByteType(index.size());
        index[c] = i;
        f.colors[i] = {GifByteType(c >> 16), GifByteType(c >> 8), GifByteType(c)};
    }
    for (size_t i = 0; i < pixels.size(); ++i)
        f.indexes[i] = pixels[i] == kTransparent ? GifByteType(f.transparent) : index[pixels[i]];
    return true;
}

bool quantised(const std::vector<uint32_t>& pixels, int limit, IndexedFrame& f) {
    size_t n = pixels.size();
    std::vector<GifByteType> r(n), g(n), b(n);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = pixels[i] == kTransparent ? 0 : pixels[i];
        r[i] = GifByteType(c >> 16), g[i] = GifByteType(c >> 8), b[i] = GifByteType(c);
    }
    int size = limit;
    if (giflib::GifQuantizeBuffer(unsigned(f.width), unsigned(f.height), &size, r.data(), g.data(), b.data(),
                          f.indexes.data(), f.colors.data()) == GIF_ERROR)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (pixels[i] == kTransparent) f.indexes[i] = GifByteType(f.transparent);
    return true;
}

std::optional<IndexedFrame> indexed(const CGImage& image) {
    IndexedFrame f;
    f.width = image.width(), f.height = image.height();
    auto pixels = straightColors(image);
    if (pixels.empty()) return std::nullopt;
    f.indexes.resize(pixels.size());
    bool anyTransparent = std::find(pixels.begin(), pixels.end(), kTransparent) != pixels.end();
    // The last index is kept for transparency when needed.
    int limit = anyTransparent ? 255 : 256;
    if (anyTransparent) f.transparent = 255;
    if (exactPalette(pixels, limit, f) || quantised(pixels, limit, f)) return f;
    return std::nullopt;
}

bool putLoopCount(GifFileType* gif, int loopCount) {
    int n = std::clamp(loopCount, 0, 0xFFFF);
    GifByteType sub[3] = {1, GifByteType(n & 0xFF), GifByteType(n >> 8)};
    return giflib::EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           giflib::EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_OK &&
           giflib::EGifPutExtensionBlock(gif, 3, sub) == GIF_OK &&
           giflib::EGifPutExtensionTrailer(gif) == GIF_OK;
}

bool putFrame(GifFileType* gif, const GIFFrame& frame) {
    auto f = indexed(*frame.image);
    if (!f) return false;
    GraphicsControlBlock gcb{DISPOSE_BACKGROUND, false, int(std::clamp(std::lround(frame.delay * 100), 0L, 0xFFFFL)),
                             f->transparent < 0 ? NO_TRANSPARENT_COLOR : f->transparent};
    GifByteType ext[4];
    size_t extLength = giflib::EGifGCBToExtension(&gcb, ext);
    ColorMapObject* map = giflib::GifMakeMapObject(256, f->colors.data());
    if (!map) return false;
    bool ok = giflib::EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(extLength), ext) == GIF_OK &&
              giflib::EGifPutImageDesc(gif, 0, 0, f->width, f->height, false, map) == GIF_OK;
    for (int y = 0; ok && y < f->height; ++y)
        ok = giflib::EGifPutLine(gif, f->indexes.data() + size_t(y) * f->width, f->width) == GIF_OK;
    giflib::GifFreeMapObject(map);
    return ok;
}

}  // namespace

std::optional<Data> encodeGIF(const std::vector<GIFFrame>& frames, std::optional<int> loopCount) {
    if (frames.empty() || !giflib::available()) return std::nullopt;
    int width = 0, height = 0;
    for (auto& f : frames) {
        if (!f.image) return std::nullopt;
        width = std::max(width, f.image->width()), height = std::max(height, f.image->height());
    }
    if (width > 0xFFFF || height > 0xFFFF) return std::nullopt;
    Data out;
    int error = 0;
    GifFileType* gif = giflib::EGifOpen(&out, writeMemory, &error);
    if (!gif) return std::nullopt;
    giflib::EGifSetGifVersion(gif, true);
    bool ok = giflib::EGifPutScreenDesc(gif, width, height, 8, 0, nullptr) == GIF_OK;
    if (ok && loopCount) ok = putLoopCount(gif, *loopCount);
    for (auto& f : frames) ok = ok && putFrame(gif, f);
    if (giflib::EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    if (!ok) return std::nullopt;
    return out;
}

}  // namespace imageio
