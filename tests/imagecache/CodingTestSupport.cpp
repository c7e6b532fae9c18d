#include "CodingTestSupport.h"

#include <gif_lib.h>
#include <zlib.h>

#include <cstring>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/ImageIO.h"

namespace codingtest {

namespace {

uint32_t rd32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

void append(Data& d, const Data& more) { d.insert(d.end(), more.begin(), more.end()); }

Data frameControl(uint32_t seq, const APNGFrame& f) {
    Data b = be32(seq);
    append(b, be32(uint32_t(f.image->width()))), append(b, be32(uint32_t(f.image->height())));
    append(b, be32(f.x)), append(b, be32(f.y));
    b.insert(b.end(), {uint8_t(f.delayNum >> 8), uint8_t(f.delayNum), uint8_t(f.delayDen >> 8), uint8_t(f.delayDen),
                       f.dispose, f.blend});
    return b;
}

std::vector<Data> imageData(const CGImage& image) {
    std::vector<Data> out;
    for (auto& c : chunksOf(*imageio::encodePNG(image, true)))
        if (c.type == "IDAT") out.push_back(c.body);
    return out;
}

void fill(CGImage& canvas, int x, int y, int w, int h, uint32_t word) {
    uint8_t* d = canvas.mutableData();
    for (int r = std::max(y, 0); r < std::min(y + h, canvas.height()); ++r)
        for (int c = std::max(x, 0); c < std::min(x + w, canvas.width()); ++c)
            reinterpret_cast<uint32_t*>(d + size_t(r) * canvas.bytesPerRow())[c] = word;
    canvas.markDirty();
}

uint32_t word(RGBA8 p) { return p.a == 0 ? 0 : uint32_t(p.a) << 24 | uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b; }

// Frame `f` of `image` over `canvas` at (x, y): replacing, or over (binary alpha).
void place(CGImage& canvas, const CGImage& image, int x, int y, bool over) {
    uint8_t* d = canvas.mutableData();
    for (int r = 0; r < image.height(); ++r)
        for (int c = 0; c < image.width(); ++c) {
            RGBA8 p = image.pixelAt(c, r);
            if (over && p.a == 0) continue;
            if (y + r < 0 || y + r >= canvas.height() || x + c < 0 || x + c >= canvas.width()) continue;
            reinterpret_cast<uint32_t*>(d + size_t(y + r) * canvas.bytesPerRow())[x + c] = word(p);
        }
    canvas.markDirty();
}

GifColorType paletteColor(int i) { return {GifByteType(i * 16), GifByteType(255 - i * 16), GifByteType(i * 37 % 256)}; }

}  // namespace

std::shared_ptr<CGImage> pattern(int w, int h, uint32_t seed, bool alpha) {
    auto img = CGImage::create(w, h, alpha);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t v = uint32_t(x * 73 + y * 151) ^ (seed * 2654435761u);
            uint8_t a = alpha && (x + 2 * y + seed) % 5 == 0 ? 0 : 255;
            img->setPixel(x, y, {uint8_t(v), uint8_t(v >> 8), uint8_t(seed * 40 + x), a});
        }
    return img;
}

std::shared_ptr<CGImage> drawn(const UIImage& image) {
    auto ctx = CGContext::bitmap(image.size(), false, 1);
    image.drawInRect(*ctx, CGRect(CGPointZero, image.size()));
    return ctx->makeImage();
}

int differingPixels(const CGImage& a, const CGImage& b, int tolerance) {
    if (a.width() != b.width() || a.height() != b.height()) return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            RGBA8 p = a.pixelAt(x, y), q = b.pixelAt(x, y);
            bool same = std::abs(p.a - q.a) <= tolerance &&
                        (p.a == 0 || (std::abs(p.r - q.r) <= tolerance && std::abs(p.g - q.g) <= tolerance &&
                                      std::abs(p.b - q.b) <= tolerance));
            n += !same;
        }
    return n;
}

Data be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

std::vector<Chunk> chunksOf(const Data& png) {
    std::vector<Chunk> out;
    for (size_t at = 8; at + 12 <= png.size();) {
        uint32_t len = rd32(&png[at]);
        out.push_back({std::string(png.begin() + long(at) + 4, png.begin() + long(at) + 8),
                       Data(png.begin() + long(at) + 8, png.begin() + long(at) + 8 + len)});
        at += len + 12;
    }
    return out;
}

Data pngFile(const std::vector<Chunk>& chunks) {
    Data d = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    for (auto& c : chunks) {
        append(d, be32(uint32_t(c.body.size())));
        size_t typeAt = d.size();
        d.insert(d.end(), c.type.begin(), c.type.end());
        append(d, c.body);
        append(d, be32(uint32_t(crc32(0, d.data() + typeAt, uInt(4 + c.body.size())))));
    }
    return d;
}

Data build(const APNG& spec) {
    auto base = chunksOf(*imageio::encodePNG(*(spec.cover ? spec.frames[0].image : spec.defaultImage), true));
    std::vector<Chunk> out;
    Data ihdr = base[0].body;
    std::memcpy(ihdr.data(), be32(uint32_t(spec.width)).data(), 4);
    std::memcpy(ihdr.data() + 4, be32(uint32_t(spec.height)).data(), 4);
    out.push_back({"IHDR", ihdr});
    Data actl = be32(uint32_t(spec.frames.size()));
    append(actl, be32(spec.loops));
    out.push_back({"acTL", actl});
    uint32_t seq = 0;
    if (spec.cover) out.push_back({"fcTL", frameControl(seq++, spec.frames[0])});
    for (auto& c : base)
        if (c.type == "IDAT") out.push_back(c);
    for (size_t i = spec.cover ? 1 : 0; i < spec.frames.size(); ++i) {
        out.push_back({"fcTL", frameControl(seq++, spec.frames[i])});
        for (auto& data : imageData(*spec.frames[i].image)) {
            Data body = be32(seq++);
            append(body, data);
            out.push_back({"fdAT", body});
        }
    }
    out.push_back({"IEND", {}});
    return pngFile(out);
}

std::vector<std::shared_ptr<CGImage>> compose(const APNG& spec) {
    auto canvas = CGImage::create(spec.width, spec.height, true);
    std::shared_ptr<CGImage> saved;
    std::vector<std::shared_ptr<CGImage>> out;
    for (size_t i = 0; i < spec.frames.size(); ++i) {
        if (i > 0) {
            const APNGFrame& p = spec.frames[i - 1];
            if (p.dispose == 1 || (p.dispose == 2 && i == 1))
                fill(*canvas, int(p.x), int(p.y), p.image->width(), p.image->height(), 0);
            else if (p.dispose == 2) canvas = saved;
        }
        const APNGFrame& f = spec.frames[i];
        if (f.dispose == 2) saved = canvas->copy();
        place(*canvas, *f.image, int(f.x), int(f.y), f.blend == 1);
        out.push_back(canvas->copy());
    }
    return out;
}

namespace {
int writeData(GifFileType* gif, const GifByteType* p, int n) {
    static_cast<Data*>(gif->UserData)->insert(static_cast<Data*>(gif->UserData)->end(), p, p + n);
    return n;
}
struct Reader {
    const Data* d;
    size_t pos = 0;
};
int readData(GifFileType* gif, GifByteType* out, int n) {
    auto* r = static_cast<Reader*>(gif->UserData);
    size_t k = std::min(size_t(n), r->d->size() - r->pos);
    std::memcpy(out, r->d->data() + r->pos, k);
    r->pos += k;
    return int(k);
}
}  // namespace

Data buildGIF(int width, int height, const std::vector<GIFFrame>& frames, int loops) {
    Data out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, writeData, &err);
    GifColorType colors[16];
    for (int i = 0; i < 16; ++i) colors[i] = paletteColor(i);
    ColorMapObject* map = GifMakeMapObject(16, colors);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, width, height, 4, 0, map);
    if (loops >= 0) {
        GifByteType sub[3] = {1, GifByteType(loops), GifByteType(loops >> 8)};
        EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
        EGifPutExtensionBlock(gif, 3, sub);
        EGifPutExtensionTrailer(gif);
    }
    for (auto& f : frames) {
        GraphicsControlBlock gcb{f.disposal, false, f.delay, f.transparent < 0 ? NO_TRANSPARENT_COLOR : f.transparent};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, nullptr);
        // Interlaced rows are stored by pass: rows 0, 8, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...
        std::vector<int> order;
        if (f.interlaced) {
            for (int pass = 0, starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2}; pass < 4; ++pass)
                for (int y = starts[pass]; y < f.height; y += steps[pass]) order.push_back(y);
        } else {
            for (int y = 0; y < f.height; ++y) order.push_back(y);
        }
        for (int y : order) EGifPutLine(gif, const_cast<GifPixelType*>(&f.indexes[size_t(y) * f.width]), f.width);
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

std::vector<std::shared_ptr<CGImage>> slurpAndCompose(const Data& bytes) {
    Reader r{&bytes};
    int err = 0;
    GifFileType* gif = DGifOpen(&r, readData, &err);
    std::vector<std::shared_ptr<CGImage>> out;
    if (!gif || DGifSlurp(gif) != GIF_OK) return out;
    auto canvas = CGImage::create(gif->SWidth, gif->SHeight, true);
    std::shared_ptr<CGImage> saved;
    for (int i = 0; i < gif->ImageCount; ++i) {
        GraphicsControlBlock gcb{}, prev{};
        DGifSavedExtensionToGCB(gif, i, &gcb);
        const GifImageDesc* pd = i > 0 ? &gif->SavedImages[i - 1].ImageDesc : nullptr;
        if (pd && DGifSavedExtensionToGCB(gif, i - 1, &prev) == GIF_OK) {
            if (prev.DisposalMode == DISPOSE_BACKGROUND) fill(*canvas, pd->Left, pd->Top, pd->Width, pd->Height, 0);
            if (prev.DisposalMode == DISPOSE_PREVIOUS && saved) canvas = saved;
        }
        if (gcb.DisposalMode == DISPOSE_PREVIOUS) saved = canvas->copy();
        const SavedImage& s = gif->SavedImages[i];
        ColorMapObject* map = s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap : gif->SColorMap;
        for (int y = 0; y < s.ImageDesc.Height; ++y)
            for (int x = 0; x < s.ImageDesc.Width; ++x) {
                int idx = s.RasterBits[y * s.ImageDesc.Width + x];
                if (idx == gcb.TransparentColor) continue;
                GifColorType c = map->Colors[idx];
                fill(*canvas, s.ImageDesc.Left + x, s.ImageDesc.Top + y, 1, 1,
                     0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue);
            }
        out.push_back(canvas->copy());
    }
    DGifCloseFile(gif, &err);
    return out;
}

GIFTiming readGIFTiming(const Data& bytes) {
    Reader r{&bytes};
    int err = 0;
    GIFTiming t;
    GifFileType* gif = DGifOpen(&r, readData, &err);
    if (!gif || DGifSlurp(gif) != GIF_OK) return t;
    for (int i = 0; i < gif->ImageCount; ++i) {
        GraphicsControlBlock gcb{};
        DGifSavedExtensionToGCB(gif, i, &gcb);
        t.delays.push_back(gcb.DelayTime);
        const SavedImage& s = gif->SavedImages[i];
        for (int e = 0; e + 1 < s.ExtensionBlockCount; ++e)
            if (s.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE && s.ExtensionBlocks[e].ByteCount == 11 &&
                std::memcmp(s.ExtensionBlocks[e].Bytes, "NETSCAPE2.0", 11) == 0)
                t.loops = s.ExtensionBlocks[e + 1].Bytes[1] | s.ExtensionBlocks[e + 1].Bytes[2] << 8;
    }
    DGifCloseFile(gif, &err);
    return t;
}

}  // namespace codingtest
