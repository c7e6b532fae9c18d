#include <gtest/gtest.h>

#include <cstring>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/PixelLayout.h"

namespace {

// Premultiplied pixels of every alpha level, colours below their alpha.
std::shared_ptr<CGImage> alphaRamp() {
    auto img = CGImage::create(16, 16, true);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) img->setPixel(x, y, {uint8_t(x * 17), uint8_t(y * 16), uint8_t(255 - x * 9), uint8_t(y * 16 + x)});
    return img;
}

TEST(PixelLayouts, EveryLayoutRoundTripsWithinOne) {
    auto src = alphaRamp();
    for (uint32_t alpha = kCGImageAlphaPremultipliedLast; alpha <= kCGImageAlphaNoneSkipFirst; ++alpha)
        for (uint32_t order : {kCGBitmapByteOrderDefault, kCGBitmapByteOrder32Big, kCGBitmapByteOrder32Little}) {
            uint32_t info = alpha | order;
            auto buf = CGImageCopyPixels(*src, info, 80);
            ASSERT_TRUE(buf) << info;
            auto back = CGImageCreateWithPixels(buf->data(), buf->width(), buf->height(), buf->bytesPerRow(), info);
            ASSERT_TRUE(back) << info;
            bool opaque = !CGBitmapInfoHasAlpha(info);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    RGBA8 a = src->pixelAt(x, y), b = back->pixelAt(x, y);
                    ASSERT_EQ(b.a, opaque ? 255 : a.a) << info;
                    // Straight colour is only defined where alpha leaves enough of it.
                    if (opaque || a.a < 64) continue;
                    ASSERT_NEAR(a.r, b.r, 1) << info << " at " << x << "," << y;
                    ASSERT_NEAR(a.b, b.b, 1) << info;
                }
        }
}

TEST(PixelLayouts, BytesSitWhereTheLayoutSays) {
    auto img = CGImage::create(1, 1, true);
    img->setPixel(0, 0, {200, 100, 50, 255});
    struct Case {
        uint32_t info;
        uint8_t bytes[4];
    } cases[] = {
        {kCGImageAlphaLast | kCGBitmapByteOrder32Big, {200, 100, 50, 255}},
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {50, 100, 200, 255}},
        {kCGImageAlphaNoneSkipFirst, {255, 200, 100, 50}},
        {kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little, {255, 50, 100, 200}},
    };
    for (auto& c : cases) {
        auto buf = CGImageCopyPixels(*img, c.info);
        ASSERT_TRUE(buf);
        EXPECT_EQ(0, std::memcmp(buf->data(), c.bytes, 4)) << c.info;
    }
    EXPECT_FALSE(CGImageCopyPixels(*img, kCGImageAlphaNone));          // no 32-bit layout without alpha bytes
    EXPECT_FALSE(CGImageCopyPixels(*img, kCGImageAlphaFirst | 0x1000));  // 16-bit order
}

TEST(PixelLayouts, SizesAreCheckedBeforeAllocating) {
    EXPECT_FALSE(checkedBufferSize(int64_t(1) << 62, 4, size_t(-1)));
    EXPECT_FALSE(checkedBufferSize(100, 10, 399));  // rows shorter than the pixels
    EXPECT_EQ(checkedBufferSize(100, 10, 400), 4000u);
    EXPECT_FALSE(PixelBuffer::allocate(40000, 2, kCGImageAlphaFirst));
    EXPECT_FALSE(PixelBuffer::allocate(8193, 8193, kCGImageAlphaFirst));  // over 64 Mpx
    EXPECT_EQ(alignedBytesPerRow(10, 32), 64u);
}

TEST(DataProviders, ReleaseOnceWhenTheLastUserLetsGo) {
    static int released = 0;
    released = 0;
    uint8_t pixels[16] = {0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 9, 9, 9, 0};
    {
        auto provider = CGDataProvider::createWithData(nullptr, pixels, sizeof pixels,
                                                       [](void*, const void*, size_t) { ++released; });
        auto image = CGImageCreateWithProvider(2, 2, 8, kCGImageAlphaLast | kCGBitmapByteOrder32Big, *provider);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->pixelAt(1, 0), (RGBA8{0, 255, 0, 255}));
        EXPECT_FALSE(CGImageCreateWithProvider(2, 3, 8, kCGImageAlphaLast, *provider));  // provider too short
        EXPECT_EQ(released, 0);
    }
    EXPECT_EQ(released, 1);
}

TEST(BitmapContexts, YUpContextHasItsOriginBottomLeftAndDrawsImagesUpright) {
    auto ctx = CGContext::bitmapContext(4, 4, kBitmapInfoPremultipliedFirst);
    ASSERT_TRUE(ctx);
    ctx->setFillColor(UIColor::redColor());
    ctx->fillRect(CGRect(0, 0, 1, 1));
    EXPECT_GT(ctx->bitmapImage()->pixelAt(0, 3).r, 200);  // bottom-left
    // A 2 × 2 image with a blue top row stays blue-on-top in a y-up rectangle.
    auto img = CGImage::create(2, 2, false);
    img->setPixel(0, 0, {0, 0, 255, 255});
    img->setPixel(1, 0, {0, 0, 255, 255});
    ctx->drawImage(CGRect(2, 2, 2, 2), *img);
    auto out = ctx->makeImage();
    EXPECT_GT(out->pixelAt(2, 0).b, 200);
    EXPECT_LT(out->pixelAt(2, 1).b, 50);
    EXPECT_FALSE(CGContext::bitmapContext(4, 4, kCGImageAlphaLast));  // contexts are premultiplied
}

TEST(BitmapContexts, BlendModesAffectOnlyTheShape) {
    struct Case {
        CGBlendMode mode;
        UIColor color;
        RGBA8 inside;
    } cases[] = {
        {CGBlendMode::Copy, UIColor{0, 0, 1, 0.5}, {0, 0, 255, 128}},
        {CGBlendMode::Clear, UIColor::blueColor(), {0, 0, 0, 0}},
        {CGBlendMode::DestinationIn, UIColor{0, 0, 0, 0.5}, {255, 0, 0, 128}},
        {CGBlendMode::Normal, UIColor{0, 0, 1, 0.5}, {128, 0, 127, 255}},
    };
    for (auto& c : cases) {
        auto ctx = CGContext::bitmapContext(4, 1, kBitmapInfoPremultipliedFirst);
        ctx->setFillColor(UIColor::redColor());
        ctx->fillRect(CGRect(0, 0, 4, 1));
        ctx->setBlendMode(c.mode);
        ctx->setFillColor(c.color);
        ctx->fillRect(CGRect(0, 0, 2, 1));
        auto out = ctx->makeImage();
        RGBA8 in = out->pixelAt(0, 0);
        EXPECT_NEAR(in.r, c.inside.r, 2) << int(c.mode);
        EXPECT_NEAR(in.b, c.inside.b, 2) << int(c.mode);
        EXPECT_NEAR(in.a, c.inside.a, 2) << int(c.mode);
        EXPECT_EQ(out->pixelAt(3, 0), (RGBA8{255, 0, 0, 255})) << int(c.mode);
    }
}

TEST(BitmapContexts, MaskImagesWeighDrawingAndRestoreDropsThem) {
    // Mask: opaque left column, half-transparent right column, clear outside its rectangle.
    auto mask = CGImage::create(2, 1, true);
    mask->setPixel(0, 0, {0, 0, 0, 255});
    mask->setPixel(1, 0, {0, 0, 0, 128});
    auto ctx = CGContext::bitmapContext(4, 1, kBitmapInfoPremultipliedFirst);
    ctx->saveGState();
    ctx->clipToMask(CGRect(0, 0, 2, 1), *mask);
    ctx->setFillColor(UIColor::greenColor());
    ctx->fillRect(CGRect(0, 0, 4, 1));
    ctx->restoreGState();
    auto out = ctx->makeImage();
    EXPECT_EQ(out->pixelAt(0, 0).a, 255);
    EXPECT_NEAR(out->pixelAt(1, 0).a, 128, 2);
    EXPECT_EQ(out->pixelAt(2, 0).a, 0);
    ctx->fillRect(CGRect(2, 0, 2, 1));  // no mask after restore
    EXPECT_EQ(ctx->makeImage()->pixelAt(3, 0).a, 255);
}

TEST(ScreenScale, OneSettableValueThatZeroScalesFollow) {
    for (double s : {1.0, 3.0}) {
        kMainScreenScale.set(s);
        UIGraphicsBeginImageContextWithOptions({10, 5}, true, 0);
        EXPECT_EQ(UIGraphicsGetCurrentContext()->bitmapImage()->width(), int(10 * s));
        UIGraphicsEndImageContext();
    }
    kMainScreenScale.set(-1);  // ignored
    EXPECT_EQ(double(kMainScreenScale), 3);
    kMainScreenScale.set(2);
}

}  // namespace
