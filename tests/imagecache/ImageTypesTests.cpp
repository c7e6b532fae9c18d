#include <gtest/gtest.h>

#include "CodingTestSupport.h"
#include "imagecache/ZVImageCoderHelpers.h"
#include "imagecache/ZVImageDecoder.h"
#include "platform/graphics/ImageIO.h"

namespace {

Data padded(std::initializer_list<uint8_t> head, size_t size = 16) {
    Data d(head);
    d.resize(size, 0x20);
    return d;
}

TEST(ImageTypes, DetectionFollowsTheFirstBytes) {
    const Data png = *imageio::encodePNG(*codingtest::pattern(2, 2, 1, false));
    struct Case {
        Data bytes;
        ZVImageType type;
    } cases[] = {
        {Data(png.begin(), png.begin() + 15), ZVImageType::Unknown},  // one byte short
        {Data(png.begin(), png.begin() + 16), ZVImageType::PNG},
        {padded({0x89, 'P', 'N', 'G', 0, 0, 0, 0}), ZVImageType::Unknown},  // second test fails
        {padded({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'}), ZVImageType::WebP},
        {padded({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}), ZVImageType::Unknown},
        {padded({0, 0, 2, 0}), ZVImageType::ICO},  // a cursor
        {padded({0, 0, 1, 0}), ZVImageType::ICO},
        {padded({'B', 'M', 0xDE, 0xAD}), ZVImageType::BMP},  // garbage after "BM"
        {padded({'C', 'P'}), ZVImageType::BMP},
        {padded({0xFF, 0xD8, 0xFE}), ZVImageType::Unknown},
        {padded({0xFF, 0xD8, 0xFF}), ZVImageType::JPEG},
        {padded({0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A}), ZVImageType::JPEG2000},
        {padded({0xFF, 0x4F, 0xFF, 0x51}), ZVImageType::JPEG2000},
        {padded({'M', 'M', 0, '*'}), ZVImageType::TIFF},
        {padded({'i', 'c', 'n', 's'}), ZVImageType::ICNS},
        {padded({'G', 'I', 'F', '8', '9', 'a'}), ZVImageType::GIF},
    };
    for (auto& c : cases) EXPECT_EQ(ZVDetectImageType(c.bytes), c.type) << int(c.type) << " of " << c.bytes.size();
    EXPECT_EQ(ZVUTTypeForImageType(ZVImageType::WebP), std::nullopt);
    EXPECT_EQ(ZVUTTypeForImageType(ZVImageType(12)), std::nullopt);
}

TEST(ImageTypes, FramesDecodedForDisplayUseTheDisplayLayout) {
    auto jpeg = *imageio::encodeJPEG(*codingtest::pattern(8, 8, 1, false), 0.9);
    auto png = *imageio::encodePNG(*codingtest::pattern(8, 8, 2, true));
    struct Case {
        const Data* file;
        uint32_t info;
    } cases[] = {{&jpeg, 0x2006}, {&png, 0x2002}};
    for (auto& c : cases) {
        auto decoder = ZVImageDecoder::decoderWithData(*c.file, 1);
        ASSERT_TRUE(decoder);
        auto frame = decoder->frameAtIndex(0, true);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->image->CGImage()->bitmapInfo(), c.info);
        EXPECT_TRUE(frame->image->isDecodedForDisplay());
    }
}

TEST(ImageTypes, UprightCopiesMatchHowImagesAreDrawn) {
    auto source = codingtest::pattern(40, 30, 7, false);
    RGBA8 corner = source->pixelAt(0, 0);
    struct Case {
        UIImageOrientation o;
        int w, h, x, y;  // size, and where the stored top-left pixel lands
    } cases[] = {
        {UIImageOrientation::Up, 40, 30, 0, 0},         {UIImageOrientation::Down, 40, 30, 39, 29},
        {UIImageOrientation::Left, 30, 40, 0, 39},      {UIImageOrientation::Right, 30, 40, 29, 0},
        {UIImageOrientation::UpMirrored, 40, 30, 39, 0}, {UIImageOrientation::DownMirrored, 40, 30, 0, 29},
        {UIImageOrientation::LeftMirrored, 30, 40, 0, 0}, {UIImageOrientation::RightMirrored, 30, 40, 29, 39},
    };
    for (auto& c : cases) {
        auto upright = ZVCopyCGImageWithOrientation(source, c.o, kBitmapInfoNoneSkipFirst);
        ASSERT_TRUE(upright);
        ASSERT_EQ(upright->width(), c.w) << int(c.o);
        ASSERT_EQ(upright->height(), c.h) << int(c.o);
        EXPECT_EQ(upright->pixelAt(c.x, c.y), corner) << int(c.o);
        EXPECT_FALSE(upright->hasAlpha());
        EXPECT_EQ(codingtest::differingPixels(*upright, *codingtest::drawn(UIImage(source, 1, c.o))), 0) << int(c.o);
    }
}

TEST(ImageTypes, QualityIsClampedAndWebPIsNotWritten) {
    auto image = codingtest::pattern(16, 16, 3, false);
    EXPECT_EQ(ZVCreateEncodedImageData(image, ZVImageType::JPEG, -0.3), ZVCreateEncodedImageData(image, ZVImageType::JPEG, 0));
    EXPECT_EQ(ZVCreateEncodedImageData(image, ZVImageType::JPEG, 1.7), ZVCreateEncodedImageData(image, ZVImageType::JPEG, 1));
    EXPECT_NE(ZVCreateEncodedImageData(image, ZVImageType::JPEG, 0), ZVCreateEncodedImageData(image, ZVImageType::JPEG, 1));
    EXPECT_FALSE(ZVCreateEncodedImageData(image, ZVImageType::WebP, 1));
    EXPECT_FALSE(ZVCreateEncodedImageData(image, ZVImageType::Unknown, 1));
}

}  // namespace
