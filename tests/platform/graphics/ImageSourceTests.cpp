#include <gtest/gtest.h>

#include "platform/graphics/ImageDestination.h"
#include "platform/graphics/ImageSource.h"

namespace {

using imageio::Format;
using imageio::ImageSource;

// Four flat quadrants, the top-right one transparent when `alpha`: few
// enough colours for every format to keep them exactly.
std::shared_ptr<CGImage> quadrants(int side, bool alpha) {
    auto img = CGImage::create(side, side, alpha);
    const RGBA8 colours[4] = {{255, 0, 0, 255}, {0, 0, 0, 0}, {0, 255, 0, 255}, {40, 80, 160, 255}};
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            RGBA8 c = colours[(y * 2 / side) * 2 + x * 2 / side];
            if (!alpha && c.a == 0) c = {250, 250, 250, 255};
            img->setPixel(x, y, c);
        }
    return img;
}

int differing(const CGImage& a, const CGImage& b, int tolerance) {
    if (a.width() != b.width() || a.height() != b.height()) return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            RGBA8 p = a.pixelAt(x, y), q = b.pixelAt(x, y);
            n += std::abs(p.a - q.a) > tolerance ||
                 (p.a && (std::abs(p.r - q.r) > tolerance || std::abs(p.g - q.g) > tolerance ||
                          std::abs(p.b - q.b) > tolerance));
        }
    return n;
}

TEST(ImageSource, ReadsBackWhatEachDestinationWrites) {
    struct Case {
        Format format;
        size_t images;  // written and read back
        bool alpha;
        int tolerance;
    } cases[] = {
        {Format::PNG, 1, true, 0}, {Format::JPEG, 1, false, 8}, {Format::GIF, 2, true, 0},
        {Format::BMP, 1, true, 0}, {Format::BMP, 1, false, 0},   {Format::ICO, 2, true, 0},
        {Format::ICNS, 2, true, 0},
    };
    for (auto& c : cases) {
        auto dest = imageio::ImageDestination::create(c.format, c.images);
        std::vector<std::shared_ptr<CGImage>> written = {quadrants(32, c.alpha), quadrants(16, c.alpha)};
        for (size_t i = 0; i < c.images; ++i) dest->addImage(written[i]);
        auto data = dest->finalize();
        ASSERT_TRUE(data) << int(c.format);
        auto source = ImageSource::create(std::make_shared<const Data>(*data));
        EXPECT_EQ(source->type(), c.format);
        ASSERT_EQ(source->count(), c.images) << int(c.format);
        EXPECT_EQ(source->status(), imageio::SourceStatus::Complete);
        for (size_t i = 0; i < c.images; ++i) {
            auto image = source->imageAtIndex(i);
            ASSERT_TRUE(image) << int(c.format) << " image " << i;
            // GIF frames sit on the logical screen (the larger one), at its top-left.
            if (c.format == Format::GIF) image = image->cropped(CGRect(0, 0, written[i]->width(), written[i]->height()));
            EXPECT_EQ(differing(*image, *written[i], c.tolerance), 0) << int(c.format) << " image " << i;
        }
    }
    EXPECT_FALSE(imageio::ImageDestination::create(Format::WebP, 1));
    EXPECT_FALSE(imageio::ImageDestination::create(Format::PNG, 1)->finalize());  // nothing added
}

// A BMP of 4 × 2 pixels in the given form; pixel (x, y) takes colour (x + y) % 4.
Data handMadeBMP(int bpp, bool bitfields, bool topDown, bool v4Header) {
    const uint8_t colours[4][4] = {{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 128}, {255, 255, 255, 255}};  // B G R A
    Data d;
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) d.push_back(uint8_t(v >> (8 * i)));
    };
    uint32_t header = v4Header ? 108 : 40, masks = bitfields && !v4Header ? 12 : 0;
    uint32_t palette = bpp <= 8 ? 4 * 4 : 0, stride = (4 * uint32_t(bpp) + 31) / 32 * 4;
    uint32_t offset = 14 + header + masks + palette;
    d.push_back('B'), d.push_back('M'), put(offset + stride * 2, 4), put(0, 4), put(offset, 4);
    put(header, 4), put(4, 4), put(topDown ? uint32_t(-2) : 2, 4), put(1, 2), put(uint32_t(bpp), 2);
    put(bitfields ? 3 : 0, 4), put(0, 4), put(0, 4), put(0, 4), put(bpp <= 8 ? 4 : 0, 4), put(0, 4);
    uint32_t m[4] = {bpp == 16 ? 0xF800u : 0xFF0000u, bpp == 16 ? 0x07E0u : 0xFF00u, bpp == 16 ? 0x1Fu : 0xFFu,
                     v4Header ? 0xFF000000u : 0};
    if (bitfields)
        for (int i = 0; i < (v4Header ? 4 : 3); ++i) put(m[i], 4);
    if (v4Header) d.resize(14 + header, 0);
    for (int i = 0; i < (bpp <= 8 ? 4 : 0); ++i) d.insert(d.end(), colours[i], colours[i] + 3), d.push_back(0);
    for (int r = 0; r < 2; ++r) {
        int y = topDown ? r : 1 - r;
        size_t start = d.size();
        for (int x = 0; x < 4; ++x) {
            int i = (x + y) % 4;
            const uint8_t* c = colours[i];
            if (bpp == 1) d.resize(start + 1), d[start] |= uint8_t((i & 1) << (7 - x));
            if (bpp == 4) d.resize(start + 2), d[start + x / 2] |= uint8_t(i << (x % 2 ? 0 : 4));
            if (bpp == 8) d.push_back(uint8_t(i));
            if (bpp == 16) put(uint32_t(c[2] >> 3) << 11 | uint32_t(c[1] >> 2) << 5 | c[0] >> 3, 2);
            if (bpp == 24) d.insert(d.end(), c, c + 3);
            if (bpp == 32) d.insert(d.end(), c, c + 4);
        }
        d.resize(start + stride, 0);
    }
    return d;
}

TEST(ImageSource, ReadsPlainAndBitFieldBMPsInBothRowOrders) {
    struct Case {
        int bpp;
        bool bitfields, topDown, v4, alpha;
    } cases[] = {
        {1, false, false, false, false}, {4, false, true, false, false}, {8, false, false, false, false},
        {16, true, false, false, false}, {24, false, true, false, false}, {32, false, false, false, false},
        {32, true, true, true, true},
    };
    const RGBA8 expected[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 128}, {255, 255, 255, 255}};
    for (auto& c : cases) {
        Data bmp = handMadeBMP(c.bpp, c.bitfields, c.topDown, c.v4);
        auto decoded = imageio::decode(bmp);
        ASSERT_TRUE(decoded) << c.bpp;
        EXPECT_EQ(decoded->format, Format::BMP);
        const CGImage& img = *decoded->image;
        ASSERT_EQ(img.width(), 4);
        EXPECT_EQ(img.hasAlpha(), c.alpha) << c.bpp;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) {
                int i = (x + y) % 4;
                // One bit per pixel keeps the low bit of the index; 16 bits lose low bits.
                RGBA8 want = expected[c.bpp == 1 ? i & 1 : i];
                if (!c.alpha) want.a = 255;
                RGBA8 got = img.pixelAt(x, y);
                EXPECT_NEAR(got.r, want.r, c.bpp == 16 ? 8 : 1) << c.bpp << " at " << x << "," << y;
                EXPECT_NEAR(got.b, want.b, c.bpp == 16 ? 8 : 1) << c.bpp << " at " << x << "," << y;
                EXPECT_EQ(got.a, want.a) << c.bpp;
            }
    }
}

TEST(ImageSource, IconDIBEntriesTakeTransparencyFromTheirMask) {
    // One 24-bit 2 × 2 entry: colour rows then the AND mask (bottom-up), top-left masked out.
    Data dib = {40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 1, 0, 24, 0};
    dib.resize(40, 0);
    for (int i = 0; i < 2; ++i) dib.insert(dib.end(), {0, 0, 255, 0, 0, 255, 0, 0});  // red, red; padded to 8
    dib.insert(dib.end(), {0, 0, 0, 0, 0x80, 0, 0, 0});                               // bottom row clear, top-left masked
    Data ico = {0, 0, 1, 0, 1, 0, 2, 2, 0, 0, 1, 0, 24, 0};
    ico.insert(ico.end(), {uint8_t(dib.size()), 0, 0, 0, 22, 0, 0, 0});
    ico.insert(ico.end(), dib.begin(), dib.end());
    auto source = ImageSource::create(ico.data(), ico.size());
    ASSERT_EQ(source->count(), 1u);
    auto img = source->imageAtIndex(0);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->pixelAt(0, 0).a, 0);
    EXPECT_EQ(img->pixelAt(1, 0), (RGBA8{255, 0, 0, 255}));
    EXPECT_EQ(img->pixelAt(0, 1), (RGBA8{255, 0, 0, 255}));
    // An entry pointing past the end is left out.
    ico[18] = 0xFF;
    EXPECT_EQ(ImageSource::create(ico.data(), ico.size())->count(), 0u);
}

TEST(ImageSource, PrefixesShowWhatHasArrived) {
    auto png = *imageio::encodePNG(*quadrants(64, false));
    auto jpeg = *imageio::encodeJPEG(*quadrants(64, false), 0.9);
    for (const Data* file : {&png, &jpeg}) {
        auto source = ImageSource::createIncremental();
        source->update(std::make_shared<const Data>(file->begin(), file->begin() + 20), false);
        EXPECT_EQ(source->count(), 0u);
        EXPECT_EQ(source->status(), imageio::SourceStatus::ReadingHeader);
        source->update(std::make_shared<const Data>(file->begin(), file->begin() + long(file->size() * 9 / 10)), false);
        ASSERT_EQ(source->count(), 1u) << (file == &png ? "PNG " : "JPEG ") << file->size();
        EXPECT_EQ(source->status(), imageio::SourceStatus::Incomplete);
        auto partial = source->imageAtIndex(0);
        ASSERT_TRUE(partial);
        EXPECT_EQ(partial->width(), 64);
        EXPECT_GT(partial->pixelAt(2, 2).r, 200);  // the top has arrived
        source->update(std::make_shared<const Data>(*file), true);
        EXPECT_EQ(differing(*source->imageAtIndex(0), *quadrants(64, false), file == &png ? 0 : 8), 0);
    }
}

TEST(ImageSource, ClaimsBeyondThePixelBudgetGiveNoImages) {
    Data bmp = handMadeBMP(24, false, false, false);
    bmp[18] = 0x40, bmp[19] = 0x9C;  // width 40000
    auto source = ImageSource::create(bmp.data(), bmp.size());
    EXPECT_EQ(source->count(), 0u);
    EXPECT_EQ(source->status(), imageio::SourceStatus::InvalidData);
    Data webp = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', ' '};
    EXPECT_EQ(ImageSource::create(webp.data(), webp.size())->status(), imageio::SourceStatus::UnsupportedType);
}

}  // namespace
