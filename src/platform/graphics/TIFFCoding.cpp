// TIFF files with libtiff, over bytes in memory.
//
// Reading: every directory (page) of the file is an image, in file order,
// up to kMaxPages and while the pages' pixels summed stay within the
// frame-work bound (FrameWork, as GIF frames: 64 pages of 8192 x 8192 that
// share one strip list 16); a file cut by either says so in the log once
// its last bytes are read. A page whose size is beyond the pixel budget, whose one
// strip or tile would decode to more than the budget's bytes, or whose
// sample layout libtiff cannot turn into RGBA is left out. Pixels come as
// stored (the Orientation tag is reported, not applied), premultiplied
// (libtiff premultiplies unassociated alpha). libtiff's messages are
// swallowed; one of its allocations never exceeds the budget's bytes.
//
// Writing: 8-bit RGB, or RGBA with associated alpha (our premultiplied
// pixels as they are, so a round trip is exact), LZW with the horizontal
// predictor; several images become pages.

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/foundation/PlatformLog.h"
#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/ImageReaders.h"
#include "platform/graphics/ImageSource.h"
#include "platform/graphics/TIFFLibrary.h"

namespace imageio {

namespace {

constexpr size_t kMaxPages = 1024;
constexpr tmsize_t kMaxAllocation = tmsize_t(CGImage::kMaxPixels) * 4;

// The file libtiff reads or writes: bytes in memory and a position.
struct MemoryFile {
    const uint8_t* bytes = nullptr;  // reading
    Data* out = nullptr;             // writing
    uint64_t size = 0, pos = 0;
};

tmsize_t readProc(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    if (n < 0 || f->pos >= f->size) return 0;
    uint64_t k = std::min<uint64_t>(uint64_t(n), f->size - f->pos);
    std::memcpy(buf, (f->out ? f->out->data() : f->bytes) + f->pos, size_t(k));
    f->pos += k;
    return tmsize_t(k);
}

tmsize_t writeProc(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    if (!f->out || n < 0) return -1;
    if (f->pos + uint64_t(n) > f->out->size()) f->out->resize(size_t(f->pos + uint64_t(n)));
    std::memcpy(f->out->data() + f->pos, buf, size_t(n));
    f->pos += uint64_t(n);
    f->size = std::max<uint64_t>(f->size, f->pos);
    return n;
}

toff_t seekProc(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    uint64_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : 0;
    if (off > UINT64_MAX - base) return toff_t(-1);
    f->pos = base + off;
    return f->pos;
}

int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}
int silent(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* openTIFF(MemoryFile* file, const char* mode) {
    if (!tifflib::available()) return nullptr;
    TIFFOpenOptions* options = tifflib::TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    tifflib::TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxAllocation);
    tifflib::TIFFOpenOptionsSetErrorHandlerExtR(options, silent, nullptr);
    tifflib::TIFFOpenOptionsSetWarningHandlerExtR(options, silent, nullptr);
    TIFF* tif = tifflib::TIFFClientOpenExt("memory", mode, file, readProc, writeProc, seekProc, closeProc, sizeProc,
                                           mapProc, unmapProc, options);
    tifflib::TIFFOpenOptionsFree(options);
    return tif;
}

struct Page {
    uint64_t offset = 0;  // of its directory
    int width = 0, height = 0;
    int orientation = 1;
    bool alpha = false;
    bool straightAlpha = false;  // unassociated
    bool plainRGB = false;       // 8-bit RGB(A), contiguous, in strips
};

// The current directory as a page, or nullopt when it is not one we decode.
std::optional<Page> readPage(TIFF* tif) {
    uint32_t w = 0, h = 0;
    if (!tifflib::TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !tifflib::TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h))
        return std::nullopt;
    if (!CGImage::fitsBudget(w, h)) return std::nullopt;
    // What libtiff decodes at a time: one strip or one tile.
    uint64_t unit = tifflib::TIFFIsTiled(tif) ? tifflib::TIFFTileSize64(tif) : tifflib::TIFFStripSize64(tif);
    if (unit == 0 || unit > uint64_t(kMaxAllocation)) return std::nullopt;
    char message[1024];
    if (!tifflib::TIFFRGBAImageOK(tif, message)) return std::nullopt;
    Page page;
    page.offset = tifflib::TIFFCurrentDirOffset(tif);
    page.width = int(w), page.height = int(h);
    uint16_t orientation = 1, extraCount = 0;
    uint16_t* extra = nullptr;
    if (tifflib::TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8)
        page.orientation = orientation;
    tifflib::TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    page.alpha = extraCount > 0;
    page.straightAlpha = extraCount > 0 && extra[0] == EXTRASAMPLE_UNASSALPHA;
    uint16_t bits = 0, samples = 0, photometric = 0, planar = 0;
    tifflib::TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    tifflib::TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    tifflib::TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    tifflib::TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    page.plainRGB = bits == 8 && planar == PLANARCONFIG_CONTIG && photometric == PHOTOMETRIC_RGB &&
                    !tifflib::TIFFIsTiled(tif) &&
                    ((samples == 3 && extraCount == 0) || (samples == 4 && extraCount == 1));
    return page;
}

// libtiff's RGBA words (R in the low byte) become display words (B in the low byte).
void swapRedAndBlue(uint32_t* words, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t w = words[i];
        words[i] = (w & 0xFF00FF00u) | (w >> 16 & 0xFFu) | (w & 0xFFu) << 16;
    }
}

uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// One row of 8-bit RGB or RGBA samples as display words.
void unpackRow(const uint8_t* in, int width, const Page& page, uint32_t* out) {
    if (!page.alpha) {
        // R, G, B and the next pixel's R read as one word: byte-swapped, R G B land in place.
        int x = 0;
        for (; x + 1 < width; ++x) out[x] = 0xFF000000u | __builtin_bswap32(load32(in + 3 * x)) >> 8;
        const uint8_t* last = in + 3 * x;
        out[x] = 0xFF000000u | uint32_t(last[0]) << 16 | uint32_t(last[1]) << 8 | last[2];
        return;
    }
    if (!page.straightAlpha) {
        for (int x = 0; x < width; ++x) {
            uint32_t v = load32(in + 4 * x);  // A B G R
            out[x] = (v & 0xFF00FF00u) | (v >> 16 & 0xFFu) | (v & 0xFFu) << 16;
        }
        return;
    }
    // x × a / 255 rounded to the nearest, without dividing.
    auto times = [](uint32_t x, uint32_t a) {
        uint32_t t = x * a + 128;
        return (t + (t >> 8)) >> 8;
    };
    for (int x = 0; x < width; ++x, in += 4) {
        uint32_t a = in[3];
        out[x] = a << 24 | times(in[0], a) << 16 | times(in[1], a) << 8 | times(in[2], a);
    }
}

// An uncompressed strip's samples where they lie in the file, or null.
const uint8_t* storedStrip(TIFF* tif, const MemoryFile& file, uint32_t strip, tmsize_t length) {
    uint16_t compression = COMPRESSION_NONE;
    tifflib::TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    uint64_t offset = tifflib::TIFFGetStrileOffset(tif, strip), stored = tifflib::TIFFGetStrileByteCount(tif, strip);
    if (compression != COMPRESSION_NONE || stored < uint64_t(length) || offset > file.size ||
        file.size - offset < uint64_t(length))
        return nullptr;
    return file.bytes + offset;
}

// The common case read strip by strip and unpacked in one pass (from the
// file's own bytes when uncompressed).
bool decodeStrips(TIFF* tif, const MemoryFile& file, const Page& page, CGImage& out) {
    uint32_t rowsPerStrip = 0;
    tifflib::TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, uint32_t(page.height));
    const tmsize_t rowBytes = tifflib::TIFFScanlineSize(tif), stripBytes = tifflib::TIFFStripSize(tif);
    if (rowBytes < page.width * (page.alpha ? 4 : 3) || stripBytes < rowBytes * tmsize_t(rowsPerStrip)) return false;
    std::vector<uint8_t> buffer;
    uint8_t* pixels = out.mutableData();
    for (uint32_t top = 0; top < uint32_t(page.height); top += rowsPerStrip) {
        uint32_t rows = std::min(rowsPerStrip, uint32_t(page.height) - top);
        uint32_t strip = tifflib::TIFFComputeStrip(tif, top, 0);
        tmsize_t want = rowBytes * tmsize_t(rows);
        const uint8_t* samples = storedStrip(tif, file, strip, want);
        if (!samples) {
            buffer.resize(static_cast<size_t>(stripBytes));
            if (tifflib::TIFFReadEncodedStrip(tif, strip, buffer.data(), want) < want) return false;
            samples = buffer.data();
        }
        for (uint32_t y = 0; y < rows; ++y)
            unpackRow(samples + size_t(y) * size_t(rowBytes), page.width, page,
                      reinterpret_cast<uint32_t*>(pixels + size_t(top + y) * size_t(out.bytesPerRow())));
    }
    return true;
}

std::shared_ptr<CGImage> decodePage(TIFF* tif, const MemoryFile& file, const Page& page) {
    if (!tifflib::TIFFSetSubDirectory(tif, page.offset)) return nullptr;
    if (page.plainRGB) {
        auto out = CGImage::createForOverwrite(page.width, page.height, page.alpha);
        if (!out || !decodeStrips(tif, file, page, *out)) return nullptr;
        out->markDirty();
        return out;
    }
    char message[1024];
    TIFFRGBAImage img;
    if (!tifflib::TIFFRGBAImageBegin(&img, tif, 1, message)) return nullptr;
    // Rows as stored: asking for the file's own orientation flips nothing.
    img.req_orientation = img.orientation;
    std::shared_ptr<CGImage> out;
    if (uint32_t(page.width) == img.width && uint32_t(page.height) == img.height)
        out = CGImage::createForOverwrite(page.width, page.height, page.alpha);
    // ARGB32 and RGB24 rows are exactly width × 4 bytes: libtiff writes into the bitmap.
    bool ok = out && out->bytesPerRow() == page.width * 4 &&
              tifflib::TIFFRGBAImageGet(&img, reinterpret_cast<uint32_t*>(out->mutableData()), img.width, img.height);
    tifflib::TIFFRGBAImageEnd(&img);
    if (!ok) return nullptr;
    swapRedAndBlue(reinterpret_cast<uint32_t*>(out->mutableData()), size_t(page.width) * size_t(page.height));
    out->markDirty();
    return out;
}

class TIFFReader : public FormatReader {
public:
    ~TIFFReader() override { close(); }

    void update(const uint8_t* bytes, size_t size, bool final) override {
        close();
        pages_.clear();
        refused_ = false;
        file_ = MemoryFile{bytes, nullptr, size, 0};
        tif_ = openTIFF(&file_, "rm");
        if (!tif_) return;
        // Past the work bound the directories are only counted, for the log.
        size_t directories = 0;
        FrameWork work;
        bool cut = false;
        do {
            if (cut) continue;
            auto page = readPage(tif_);
            if (!page) refused_ = true;
            else if (!work.admit(uint64_t(page->width) * uint64_t(page->height))) cut = true;
            else pages_.push_back(*page);
        } while (++directories < kMaxPages && tifflib::TIFFReadDirectory(tif_));
        if (final) logCut(cut, directories);
    }
    // Only pages libtiff refused, or pages beyond the budget.
    bool invalid() const override { return pages_.empty() && refused_; }
    size_t count() const override { return pages_.size(); }

    Value frameProperties(size_t index) const override {
        const Page& p = pages_[index];
        Value props = sizeProperties(p.width, p.height, p.alpha);
        props.set(kPropertyOrientation, p.orientation);
        return props;
    }

    std::shared_ptr<CGImage> image(size_t index) override {
        return tif_ ? decodePage(tif_, file_, pages_[index]) : nullptr;
    }

private:
    void close() {
        if (tif_) tifflib::TIFFClose(tif_);
        tif_ = nullptr;
    }

    // Says so when the listing stopped short of the file's last page.
    void logCut(bool pastWork, size_t directories) {
        bool more = directories == kMaxPages && tifflib::TIFFReadDirectory(tif_);
        std::string total = more ? "more than " + std::to_string(kMaxPages) : std::to_string(directories);
        if (pastWork) FrameWork::logCut("TIFF", "pages", pages_.size(), total);
        else if (more)
            NSLog("TIFF: %zu of %s pages listed; the rest are left out, as only a file's first %zu are read",
                  pages_.size(), total.c_str(), kMaxPages);
    }

    MemoryFile file_;
    TIFF* tif_ = nullptr;
    std::vector<Page> pages_;
    bool refused_ = false;
};

// One row of display words as 8-bit R, G, B (and A) samples.
void packRow(const uint32_t* words, int width, bool alpha, uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        uint32_t w = words[x];
        *out++ = uint8_t(w >> 16), *out++ = uint8_t(w >> 8), *out++ = uint8_t(w);
        if (alpha) *out++ = uint8_t(w >> 24);
    }
}

bool writePage(TIFF* tif, const CGImage& image, size_t index, size_t count) {
    const bool alpha = image.hasAlpha();
    const uint16_t samples = alpha ? 4 : 3;
    tifflib::TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
    tifflib::TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
    tifflib::TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    tifflib::TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    tifflib::TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    tifflib::TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    tifflib::TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    tifflib::TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    tifflib::TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (alpha) {
        uint16_t kind = EXTRASAMPLE_ASSOCALPHA;
        tifflib::TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    if (count > 1) {
        tifflib::TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        tifflib::TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(index), uint16_t(count));
    }
    tifflib::TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, tifflib::TIFFDefaultStripSize(tif, 0));
    std::vector<uint8_t> row(size_t(image.width()) * samples);
    const uint8_t* pixels = image.data();
    for (int y = 0; y < image.height(); ++y) {
        packRow(reinterpret_cast<const uint32_t*>(pixels + size_t(y) * image.bytesPerRow()), image.width(), alpha,
                row.data());
        if (tifflib::TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) < 0) return false;
    }
    return tifflib::TIFFWriteDirectory(tif) == 1;
}

}  // namespace

std::unique_ptr<FormatReader> makeTIFFReader() { return std::make_unique<TIFFReader>(); }

std::optional<Data> encodeTIFF(const std::vector<std::shared_ptr<const CGImage>>& pages) {
    if (pages.empty() || pages.size() > 0xFFFF) return std::nullopt;
    Data out;
    MemoryFile file{nullptr, &out, 0, 0};
    TIFF* tif = openTIFF(&file, "w");
    if (!tif) return std::nullopt;
    bool ok = true;
    for (size_t i = 0; ok && i < pages.size(); ++i) ok = writePage(tif, *pages[i], i, pages.size());
    tifflib::TIFFClose(tif);
    if (!ok || out.empty()) return std::nullopt;
    out.resize(size_t(file.size));
    return out;
}

}  // namespace imageio
