#include <gtest/gtest.h>

#include <cmath>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/ImageIO.h"
#include "platform/graphics/UIImage.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

namespace {

// A w × h bitmap whose pixel (x, y) has red = x * 10, green = y * 10, opaque.
std::shared_ptr<CGImage> gradientBitmap(int w, int h, bool alpha = false) {
    auto img = CGImage::create(w, h, alpha);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img->setPixel(x, y, {uint8_t(x * 10), uint8_t(y * 10), 7, 255});
    return img;
}

TEST(ImageCodec, PNGRoundTripKeepsPixelsAndAlpha) {
    auto img = CGImage::create(3, 2, true);
    img->setPixel(0, 0, {255, 0, 0, 255});
    img->setPixel(1, 0, {0, 0, 255, 128});
    img->setPixel(2, 1, {10, 20, 30, 0});
    auto png = imageio::encodePNG(*img);
    ASSERT_TRUE(png);
    auto back = imageio::decode(*png);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format, imageio::Format::PNG);
    ASSERT_EQ(back->image->width(), 3);
    EXPECT_TRUE(back->image->hasAlpha());
    EXPECT_EQ(back->image->pixelAt(0, 0), (RGBA8{255, 0, 0, 255}));
    RGBA8 half = back->image->pixelAt(1, 0);
    EXPECT_EQ(half.a, 128);
    EXPECT_NEAR(half.b, 255, 2);
    EXPECT_EQ(back->image->pixelAt(2, 1).a, 0);
}

TEST(ImageCodec, OpaquePNGDecodesWithoutAlpha) {
    auto png = imageio::encodePNG(*gradientBitmap(4, 4));
    ASSERT_TRUE(png);
    auto back = imageio::decode(*png);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->image->hasAlpha());
    EXPECT_EQ(back->image->bitmapInfo(), kBitmapInfoNoneSkipFirst);
    EXPECT_EQ(back->image->pixelAt(3, 2), (RGBA8{30, 20, 7, 255}));
}

TEST(ImageCodec, JPEGRoundTripIsCloseAndQualityMatters) {
    auto src = gradientBitmap(16, 16);
    auto hi = imageio::encodeJPEG(*src, 1.0), lo = imageio::encodeJPEG(*src, 0.05);
    ASSERT_TRUE(hi && lo);
    EXPECT_LT(lo->size(), hi->size());
    auto back = imageio::decode(*hi);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format, imageio::Format::JPEG);
    RGBA8 p = back->image->pixelAt(10, 5);
    EXPECT_NEAR(p.r, 100, 6);
    EXPECT_NEAR(p.g, 50, 6);
    // Quality above 1 behaves as 1.
    auto over = imageio::encodeJPEG(*src, 1.7);
    ASSERT_TRUE(over);
    EXPECT_EQ(over->size(), hi->size());
}

TEST(ImageCodec, GarbageAndTruncatedDataFailCleanly) {
    Data junk = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a, 1, 2, 3};
    EXPECT_FALSE(imageio::decode(junk));
    auto jpeg = imageio::encodeJPEG(*gradientBitmap(8, 8), 0.8);
    Data cut(jpeg->begin(), jpeg->begin() + 20);
    EXPECT_FALSE(imageio::decode(cut));
    EXPECT_FALSE(imageio::decode(Data{}));
    EXPECT_FALSE(UIImage::imageWithData(Data{'h', 'i'}));
}

TEST(ImageCodec, HugeClaimedSizesAreRefusedBeforeAllocating) {
    EXPECT_TRUE(CGImage::create(4096, 16384, true));    // 64 Mpx: the largest allowed
    EXPECT_FALSE(CGImage::create(4097, 16384, true));
    EXPECT_FALSE(CGImage::create(20000, 20000, false));  // within the side limit, far over the pixels
    EXPECT_FALSE(CGImage::create(40000, 10, true));
}

TEST(ImageCodec, ExifOrientationIsRead) {
    // "Exif\0\0" + little-endian TIFF with one IFD entry: orientation = 6.
    Data app1 = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(imageio::exifOrientationFromApp1(app1.data(), app1.size()), 6);
    app1[24] = 9;  // out of range
    EXPECT_EQ(imageio::exifOrientationFromApp1(app1.data(), app1.size()), 1);
    EXPECT_EQ(UIImageOrientationFromEXIF(6), UIImageOrientation::Right);
    EXPECT_EQ(UIImageOrientationFromEXIF(8), UIImageOrientation::Left);
}

TEST(ImageCodec, ExifOffsetsNearFourGigabytesDoNotWrap) {
    // An IFD offset of 0xFFFFFFFE or 0xFFFFFFFF plus the entry count's two
    // bytes wraps in 32 bits, and the reader would look 4 GiB past the segment.
    for (uint8_t last : {0xFE, 0xFF}) {
        Data app1 = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, last, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
        EXPECT_EQ(imageio::exifOrientationFromApp1(app1.data(), app1.size()), 1);
        Data big = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 0x2A, 0xFF, 0xFF, 0xFF, last, 0, 0, 0, 0};
        EXPECT_EQ(imageio::exifOrientationFromApp1(big.data(), big.size()), 1);
    }
    // The same segment in a JPEG decodes upright.
    Data jpeg = *imageio::encodeJPEG(*testsupport::quadrants(8, 6), 0.9);
    Data segment = {0xFF, 0xE1, 0, 18, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    auto image = UIImage::imageWithData(jpeg);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->imageOrientation(), UIImageOrientation::Up);
    EXPECT_EQ(image->size().width, 8);
}

// Draws `image` into a context of its display size and returns the bitmap.
std::shared_ptr<CGImage> drawn(const UIImage& image) {
    auto ctx = CGContext::bitmap(image.size(), false, 1);
    image.drawInRect(*ctx, CGRect(CGPointZero, image.size()));
    return ctx->makeImage();
}

TEST(UIImageDrawing, OrientationsTurnTheBitmapUpright) {
    // A 4 × 2 bitmap with one red pixel at its stored top-left.
    auto bmp = CGImage::create(4, 2, false);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) bmp->setPixel(x, y, {0, 0, 255, 255});
    bmp->setPixel(0, 0, {255, 0, 0, 255});
    struct Case {
        UIImageOrientation o;
        int w, h, rx, ry;  // display size and where the red pixel lands
    } cases[] = {
        {UIImageOrientation::Up, 4, 2, 0, 0},          {UIImageOrientation::Down, 4, 2, 3, 1},
        {UIImageOrientation::Right, 2, 4, 1, 0},       {UIImageOrientation::Left, 2, 4, 0, 3},
        {UIImageOrientation::UpMirrored, 4, 2, 3, 0},  {UIImageOrientation::DownMirrored, 4, 2, 0, 1},
        {UIImageOrientation::LeftMirrored, 2, 4, 0, 0}, {UIImageOrientation::RightMirrored, 2, 4, 1, 3},
    };
    for (auto& c : cases) {
        auto img = UIImage::imageWithCGImage(bmp, 1, c.o);
        ASSERT_EQ(img->size().width, c.w);
        ASSERT_EQ(img->size().height, c.h);
        auto out = drawn(*img);
        EXPECT_GT(out->pixelAt(c.rx, c.ry).r, 200) << int(c.o);
        // Exactly one red pixel survives.
        int reds = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) reds += out->pixelAt(x, y).r > 200;
        EXPECT_EQ(reds, 1) << int(c.o);
    }
}

TEST(UIImageDrawing, NineSliceKeepsCapsAndStretchesTheMiddle) {
    // 3 × 3 points: red corners region of 1 point, green middle.
    auto bmp = CGImage::create(3, 3, false);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) bmp->setPixel(x, y, (x == 1 && y == 1) ? RGBA8{0, 255, 0, 255} : RGBA8{255, 0, 0, 255});
    auto img = UIImage::imageWithCGImage(bmp)->resizableImageWithCapInsets({1, 1, 1, 1}, UIImageResizingMode::Stretch);
    auto ctx = CGContext::bitmap({20, 10}, false, 1);
    img->drawInRect(*ctx, CGRect(0, 0, 20, 10));
    auto out = ctx->makeImage();
    EXPECT_GT(out->pixelAt(0, 0).r, 200);    // cap
    EXPECT_GT(out->pixelAt(19, 9).r, 200);   // cap
    EXPECT_GT(out->pixelAt(10, 5).g, 200);   // stretched middle
    EXPECT_GT(out->pixelAt(10, 0).r, 200);   // top edge stays a 1-point band
    EXPECT_GT(out->pixelAt(10, 2).g, 200);
}

TEST(UIImageDrawing, TemplateImagesTakeTheTint) {
    auto bmp = CGImage::create(2, 2, true);
    bmp->setPixel(0, 0, {0, 0, 0, 255});
    auto img = UIImage::imageWithCGImage(bmp)->imageWithRenderingMode(UIImageRenderingMode::AlwaysTemplate);
    auto ctx = CGContext::bitmap({2, 2}, false, 1);
    UIColor tint = UIColor::fromRGB(0x6137E7);
    img->drawInRect(*ctx, CGRect(0, 0, 2, 2), &tint);
    auto out = ctx->makeImage();
    EXPECT_EQ(out->pixelAt(0, 0), (RGBA8{0x61, 0x37, 0xE7, 255}));
    EXPECT_EQ(out->pixelAt(1, 1).a, 0);
}

TEST(Paths, AReversedInnerRectanglePunchesAHole) {
    CGPath p = CGPath::rect(CGRect(0, 0, 100, 100));
    p.addPath(CGPath::rect(CGRect(25, 25, 50, 50)).reversed());
    EXPECT_TRUE(p.contains({10, 10}));
    EXPECT_FALSE(p.contains({50, 50}));
    // Without reversal both go the same way and the middle stays filled.
    CGPath q = CGPath::rect(CGRect(0, 0, 100, 100));
    q.addPath(CGPath::rect(CGRect(25, 25, 50, 50)));
    EXPECT_TRUE(q.contains({50, 50}));
}

TEST(Paths, RoundedCornersOnlyWhereAsked) {
    CGPath p = CGPath::roundedRect(CGRect(0, 0, 40, 40), 10, UIRectCornerTopLeft);
    EXPECT_FALSE(p.contains({1, 1}));    // rounded away
    EXPECT_TRUE(p.contains({39, 1}));    // square corner
    EXPECT_TRUE(p.contains({39, 39}));
}

TEST(ImageContext, StackDrawsAndEndsBalanced) {
    UIGraphicsBeginImageContextWithOptions({10, 5}, true, 0);
    auto* ctx = UIGraphicsGetCurrentContext();
    ASSERT_TRUE(ctx);
    ctx->setFillColor(UIColor::redColor());
    ctx->fillRect(CGRect(0, 0, 5, 5));
    auto img = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
    ASSERT_TRUE(img);
    // Scale 0 means the screen's: 2 pixels per point.
    EXPECT_EQ(img->scale(), 2);
    EXPECT_EQ(img->CGImage()->width(), 20);
    EXPECT_GT(img->CGImage()->pixelAt(9, 9).r, 200);
    EXPECT_LT(img->CGImage()->pixelAt(11, 9).r, 50);
    // An impossible size still balances Begin and End.
    UIGraphicsBeginImageContextWithOptions({0, 0}, false, 1);
    EXPECT_EQ(UIGraphicsGetImageFromCurrentImageContext(), nullptr);
    UIGraphicsEndImageContext();
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
}

TEST(UIImageFiles, ScaleComesFromTheFileName) {
    testsupport::TempDir dir;
    auto png = imageio::encodePNG(*gradientBitmap(8, 4));
    testsupport::writeFile(dir / "icon@2x.png", std::string(png->begin(), png->end()));
    auto img = UIImage::imageWithContentsOfFile(dir / "icon@2x.png");
    ASSERT_TRUE(img);
    EXPECT_EQ(img->scale(), 2);
    EXPECT_EQ(img->size().width, 4);
    EXPECT_EQ(img->size().height, 2);
    EXPECT_FALSE(UIImage::imageWithContentsOfFile(dir / "missing.png"));
}

}  // namespace
