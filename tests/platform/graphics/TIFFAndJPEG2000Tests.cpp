// TIFF and JPEG 2000 through the image source and destination: lossless
// round trips word for word, the sample layouts other writers use (made
// here with libtiff and OpenJPEG themselves), and files that lie.

#include <gtest/gtest.h>

#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/ImageSource.h"
#include "platform/graphics/UIImage.h"
#include "support/ForeignImageFiles.h"

namespace {

using imageio::Format;
using imageio::ImageSource;
using testsupport::openJPEGFile;
using testsupport::tiffFields;
using testsupport::tiffFile;

// Every alpha value and colours all over, premultiplied as our bitmaps are.
std::shared_ptr<CGImage> noisy(int w, int h, bool alpha, uint32_t seed) {
    auto img = CGImage::create(w, h, alpha);
    uint32_t s = seed * 2654435761u + 7;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            img->setPixel(x, y, {uint8_t(s >> 24), uint8_t(s >> 16), uint8_t(x * 255 / w), uint8_t(s >> 8)});
        }
    return img;
}

// The raw words (the ignored byte of opaque pixels masked), row by row.
bool sameWords(const CGImage& a, const CGImage& b) {
    if (a.width() != b.width() || a.height() != b.height() || a.hasAlpha() != b.hasAlpha()) return false;
    uint32_t mask = a.hasAlpha() ? 0xFFFFFFFFu : 0x00FFFFFFu;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            auto wa = reinterpret_cast<const uint32_t*>(a.data() + size_t(y) * a.bytesPerRow())[x];
            auto wb = reinterpret_cast<const uint32_t*>(b.data() + size_t(y) * b.bytesPerRow())[x];
            if ((wa & mask) != (wb & mask)) return false;
        }
    return true;
}

Data written(Format format, const std::vector<std::shared_ptr<CGImage>>& images, double quality = 1) {
    auto dest = imageio::ImageDestination::create(format, images.size());
    for (auto& i : images) dest->addImage(i, Value::dict({{imageio::kDestinationLossyCompressionQuality, quality}}));
    return dest->finalize().value_or(Data());
}

std::unique_ptr<ImageSource> sourceOf(const Data& d) { return ImageSource::create(std::make_shared<const Data>(d)); }

size_t find(const Data& d, const std::vector<uint8_t>& what) {
    return size_t(std::search(d.begin(), d.end(), what.begin(), what.end()) - d.begin());
}
void putBE32(Data& d, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

TEST(TIFFAndJPEG2000, LosslessRoundTripsKeepEveryPixelWord) {
    struct Case {
        const char* what;
        Format format;
        std::vector<std::shared_ptr<CGImage>> images;
    } cases[] = {
        {"RGBA TIFF", Format::TIFF, {noisy(61, 47, true, 1)}},
        {"RGB TIFF", Format::TIFF, {noisy(64, 3, false, 2)}},
        {"3-page TIFF", Format::TIFF, {noisy(40, 30, true, 3), noisy(7, 90, false, 4), noisy(1, 1, true, 5)}},
        {"RGBA JPEG 2000", Format::JPEG2000, {noisy(61, 47, true, 6)}},
        {"RGB JPEG 2000", Format::JPEG2000, {noisy(3, 200, false, 7)}},
    };
    for (auto& c : cases) {
        auto source = sourceOf(written(c.format, c.images));
        EXPECT_EQ(source->type(), c.format) << c.what;
        EXPECT_EQ(source->status(), imageio::SourceStatus::Complete) << c.what;
        ASSERT_EQ(source->count(), c.images.size()) << c.what;
        for (size_t i = 0; i < c.images.size(); ++i) {
            auto image = source->imageAtIndex(i);
            ASSERT_TRUE(image) << c.what << " " << i;
            EXPECT_TRUE(sameWords(*image, *c.images[i])) << c.what << " " << i;
            EXPECT_EQ(source->propertiesAtIndex(i)[imageio::kPropertyHasAlpha].boolValue(), c.images[i]->hasAlpha());
        }
    }
    // Below quality 1 JPEG 2000 is lossy: smaller with less quality, close at 0.9.
    auto photo = noisy(64, 64, false, 8);
    Data high = written(Format::JPEG2000, {photo}, 0.9), low = written(Format::JPEG2000, {photo}, 0.2);
    EXPECT_LT(low.size(), high.size());
    auto back = sourceOf(high)->imageAtIndex(0);
    ASSERT_TRUE(back);
    int far = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) far += std::abs(back->pixelAt(x, y).r - photo->pixelAt(x, y).r) > 40;
    EXPECT_LT(far, 64 * 64 / 10);
}

TEST(TIFFAndJPEG2000, OtherWritersLayoutsBecomeDisplayPixels) {
    // 16-bit grey, top bits kept; the orientation tag is reported, the rows stay as stored.
    std::vector<std::vector<uint8_t>> grey16(2, std::vector<uint8_t>(6));
    grey16[0] = {0x12, 0x80, 0xFF, 0xFF, 0, 0};  // little-endian samples 0x8012, 0xFFFF, 0
    Data grey = tiffFile([](TIFF* t) {
        tiffFields(t, 3, 2, 16, 1, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_RIGHTTOP);
    }, grey16);
    auto source = sourceOf(grey);
    ASSERT_EQ(source->count(), 1u);
    EXPECT_EQ(source->propertiesAtIndex(0)[imageio::kPropertyOrientation].intValue(), 6);
    EXPECT_EQ(imageio::decode(grey)->exifOrientation, 6);
    auto g = source->imageAtIndex(0);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->pixelAt(0, 0), (RGBA8{0x80, 0x80, 0x80, 255}));
    EXPECT_EQ(g->pixelAt(1, 0), (RGBA8{255, 255, 255, 255}));
    EXPECT_EQ(g->pixelAt(0, 1), (RGBA8{0, 0, 0, 255}));

    // Straight (unassociated) alpha comes out premultiplied.
    Data straight = tiffFile([](TIFF* t) {
        tiffFields(t, 1, 1, 8, 4, PHOTOMETRIC_RGB);
        uint16_t kind = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }, {{200, 100, 50, 128}});
    auto s = sourceOf(straight)->imageAtIndex(0);
    ASSERT_TRUE(s && s->hasAlpha());
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(s->data())[0], 0x80643219u);  // 128 × (200, 100, 50) / 255

    // A 4-bit palette.
    Data palette = tiffFile([](TIFF* t) {
        tiffFields(t, 2, 1, 4, 1, PHOTOMETRIC_PALETTE);
        std::vector<uint16_t> r(16, 0), gr(16, 0), b(16, 0);
        r[1] = 0xFFFF, b[2] = 0xFFFF;
        TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), gr.data(), b.data());
    }, {{0x12}});
    auto p = sourceOf(palette)->imageAtIndex(0);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->pixelAt(0, 0), (RGBA8{255, 0, 0, 255}));
    EXPECT_EQ(p->pixelAt(1, 0), (RGBA8{0, 0, 255, 255}));

    // JPEG 2000: 12-bit grey with alpha in a bare codestream; sYCC with
    // half-width chroma in a JP2 file.
    auto greyAlpha = openJPEGFile(4, 2, {{1, 1, 12, false, [](uint32_t x, uint32_t) { return int32_t(x * 1365); }},
                                         {1, 1, 12, true, [](uint32_t, uint32_t y) { return y ? 4095 : 0; }}},
                                  OPJ_CLRSPC_GRAY, false);
    auto ga = sourceOf(greyAlpha);
    EXPECT_TRUE(ga->propertiesAtIndex(0)[imageio::kPropertyHasAlpha].boolValue());
    auto gaImage = ga->imageAtIndex(0);
    ASSERT_TRUE(gaImage);
    EXPECT_EQ(gaImage->pixelAt(3, 1), (RGBA8{255, 255, 255, 255}));
    EXPECT_EQ(gaImage->pixelAt(1, 1), (RGBA8{85, 85, 85, 255}));
    EXPECT_EQ(gaImage->pixelAt(3, 0).a, 0);

    auto ycc = openJPEGFile(4, 2, {{1, 1, 8, false, [](uint32_t x, uint32_t) { return int32_t(60 + 40 * x); }},
                                   {2, 1, 8, false, [](uint32_t, uint32_t) { return 128; }},
                                   {2, 1, 8, false, [](uint32_t x, uint32_t) { return x ? 200 : 128; }}},
                            OPJ_CLRSPC_SYCC, true);
    auto y = sourceOf(ycc)->imageAtIndex(0);
    ASSERT_TRUE(y);
    EXPECT_EQ(y->pixelAt(1, 0), (RGBA8{100, 100, 100, 255}));  // neutral chroma: grey
    RGBA8 red = y->pixelAt(2, 0);                                 // Cr 200 from the second chroma sample on
    EXPECT_GT(red.r, 200);
    EXPECT_LT(red.g, 100);

    // Four components the colour box calls CMYK: no opacity, as listed.
    auto four = openJPEGFile(2, 1, {{1, 1, 8, false, [](uint32_t x, uint32_t) { return int32_t(x * 255); }},
                                    {1, 1, 8, false, [](uint32_t, uint32_t) { return 0; }},
                                    {1, 1, 8, false, [](uint32_t, uint32_t) { return 0; }},
                                    {1, 1, 8, false, [](uint32_t, uint32_t) { return 0; }}},
                             OPJ_CLRSPC_SRGB, true);
    putBE32(four, find(four, {'c', 'o', 'l', 'r'}) + 7, 12);  // EnumCS after the method, precedence and approximation
    auto cmyk = sourceOf(four);
    EXPECT_FALSE(cmyk->propertiesAtIndex(0)[imageio::kPropertyHasAlpha].boolValue());
    auto c = cmyk->imageAtIndex(0);
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->hasAlpha());
    EXPECT_EQ(c->pixelAt(0, 0), (RGBA8{255, 255, 255, 255}));
    EXPECT_EQ(c->pixelAt(1, 0), (RGBA8{0, 255, 255, 255}));  // full cyan
}

TEST(TIFFAndJPEG2000, FilesThatLieGiveNoImagesAndNoCrash) {
    Data tiff = written(Format::TIFF, {noisy(8, 8, true, 9)});
    Data jp2 = written(Format::JPEG2000, {noisy(8, 8, true, 10)});
    auto tiffWith = [&](uint16_t tag, uint32_t value) {
        // Little-endian TIFF from libtiff: the first directory's entries,
        // 12 bytes each; a LONG or SHORT value sits in the entry.
        Data d = tiff;
        uint32_t ifd = d[4] | d[5] << 8 | d[6] << 16 | uint32_t(d[7]) << 24;
        uint16_t n = uint16_t(d[ifd] | d[ifd + 1] << 8);
        for (uint16_t i = 0; i < n; ++i) {
            size_t e = ifd + 2 + i * 12u;
            if ((d[e] | d[e + 1] << 8) != tag) continue;
            if (value > 0xFFFF) d[e + 2] = 4;  // LONG
            for (int k = 0; k < (d[e + 2] == 3 ? 2 : 4); ++k) d[e + 8 + k] = uint8_t(value >> (8 * k));
        }
        return d;
    };
    Data jp2Siz = jp2;
    size_t siz = find(jp2Siz, {0xFF, 0x4F, 0xFF, 0x51});
    ASSERT_LT(siz, jp2Siz.size());
    // SIZ fields from Xsiz on (Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz, ...), 4 bytes each.
    auto jp2With = [&](std::vector<std::pair<size_t, uint32_t>> fields) {
        Data d = jp2Siz;
        for (auto [field, value] : fields) putBE32(d, siz + 8 + field * 4, value);
        return d;
    };
    struct Case {
        const char* what;
        Data file;
        bool refused;  // for its size, before anything is decoded
    } cases[] = {
        {"TIFF 100000 wide", tiffWith(TIFFTAG_IMAGEWIDTH, 100000), true},
        {"TIFF 8000 × 8000, strips missing", tiffWith(TIFFTAG_IMAGELENGTH, 8000), false},
        {"TIFF strip beyond the end", tiffWith(TIFFTAG_STRIPOFFSETS, 0x7FFFFFF0), false},
        {"TIFF strip length 4 GB", tiffWith(TIFFTAG_STRIPBYTECOUNTS, 0xFFFFFFF0), false},
        {"TIFF rows per strip 0", tiffWith(TIFFTAG_ROWSPERSTRIP, 0), false},
        {"JPEG 2000 40000 wide", jp2With({{0, 40000}}), true},
        {"JPEG 2000 8200 × 8200 RGBA (beyond the pixel budget)", jp2With({{0, 8200}, {1, 8200}, {4, 8200}, {5, 8200}}), true},
        {"JPEG 2000 10000 one-pixel tiles", jp2With({{0, 100}, {1, 100}, {4, 1}, {5, 1}}), true},
        {"JPEG 2000 cut in half", Data(jp2.begin(), jp2.begin() + long(jp2.size() / 2)), false},
    };
    for (auto& c : cases) {
        auto source = sourceOf(c.file);
        EXPECT_FALSE(source->imageAtIndex(0)) << c.what;
        if (c.refused) {
            EXPECT_EQ(source->status(), imageio::SourceStatus::InvalidData) << c.what;
        }
    }
    // Within the one pixel budget of every format a JPEG 2000 of that size
    // is listed, whatever its components (its data is missing here).
    auto rgba = sourceOf(jp2With({{0, 8000}, {1, 8000}, {4, 8000}, {5, 8000}}));
    EXPECT_EQ(rgba->count(), 1u);
    EXPECT_FALSE(rgba->imageAtIndex(0));
    // Pages whose directories form a loop are each read once.
    Data pages = written(Format::TIFF, {noisy(4, 4, false, 11), noisy(4, 4, false, 12)});
    ASSERT_EQ(sourceOf(pages)->count(), 2u);
    auto le32 = [&](size_t at) { return uint32_t(pages[at] | pages[at + 1] << 8 | pages[at + 2] << 16 | uint32_t(pages[at + 3]) << 24); };
    auto nextField = [&](uint32_t ifd) { return ifd + 2 + (pages[ifd] | pages[ifd + 1] << 8) * 12u; };
    size_t secondNext = nextField(le32(nextField(le32(4))));
    std::copy_n(pages.begin() + 4, 4, pages.begin() + long(secondNext));  // the second page leads back to the first
    auto looped = sourceOf(pages);
    EXPECT_EQ(looped->count(), 2u);
    EXPECT_TRUE(looped->imageAtIndex(1));
}

// A smooth picture: neighbouring pixels differ little, so a lower
// resolution level shows nearly what the full picture shows there.
std::shared_ptr<CGImage> gradient(int w, int h) {
    auto img = CGImage::create(w, h, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img->setPixel(x, y, {uint8_t(x * 255 / w), uint8_t(y * 255 / h), 90, 255});
    return img;
}

TEST(TIFFAndJPEG2000, AThumbnailDecodesAJPEG2000AtTheLowestResolutionThatServes) {
    // Our writer: five decomposition levels for 256 x 200.
    Data jp2 = written(Format::JPEG2000, {gradient(256, 200)});
    auto source = sourceOf(jp2);
    auto full = source->imageAtIndex(0);
    ASSERT_TRUE(full);
    struct Case {
        int least, width, height;
    } cases[] = {{64, 128, 100}, {100, 128, 100}, {101, 256, 200}, {1, 8, 7}};
    for (auto c : cases) {
        auto reduced = source->reducedImageAtIndex(0, c.least, c.least);
        ASSERT_TRUE(reduced) << c.least;
        EXPECT_EQ(reduced->width(), c.width) << c.least;
        EXPECT_EQ(reduced->height(), c.height) << c.least;
    }
    auto half = source->reducedImageAtIndex(0, 64, 64);
    for (auto [x, y] : {std::pair{0, 0}, {60, 20}, {127, 99}}) {
        RGBA8 a = half->pixelAt(x, y), b = full->pixelAt(2 * x, 2 * y);
        EXPECT_NEAR(a.r, b.r, 4) << x << "," << y;
        EXPECT_NEAR(a.g, b.g, 4) << x << "," << y;
    }
    // What the page's thumbnails load: the same reduced bitmap, its size in points to match.
    auto thumbnailSource = UIImage::imageWithData(jp2, 1, 64);
    ASSERT_TRUE(thumbnailSource);
    EXPECT_EQ(thumbnailSource->size().width, 128);
    // Other formats decode whole.
    Data tiff = written(Format::TIFF, {gradient(256, 200)});
    EXPECT_EQ(sourceOf(tiff)->reducedImageAtIndex(0, 64, 64)->width(), 256);
    EXPECT_EQ(UIImage::imageWithData(tiff, 1, 64)->size().width, 256);
}

}  // namespace
