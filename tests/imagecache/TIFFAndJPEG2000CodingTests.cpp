// TIFF and JPEG 2000 through the toolkit: the decoder's frames (every page
// of a TIFF), the orientation a TIFF states, the encoder and the one-image
// encoding for both types.

#include <gtest/gtest.h>

#include "CodingTestSupport.h"
#include "imagecache/ZVImage.h"
#include "imagecache/ZVImageDecoder.h"
#include "imagecache/ZVImageEncoder.h"
#include "platform/graphics/ImageDestination.h"
#include "support/ForeignImageFiles.h"

namespace {

Data pages(const std::vector<std::shared_ptr<CGImage>>& images) {
    auto dest = imageio::ImageDestination::create(imageio::Format::TIFF, images.size());
    for (auto& i : images) dest->addImage(i);
    return *dest->finalize();
}

TEST(TIFFAndJPEG2000Coding, EveryPageOfATIFFIsAFrame) {
    auto first = codingtest::pattern(20, 10, 1, true), second = codingtest::pattern(20, 10, 2, false),
         small = codingtest::pattern(7, 5, 3, true);
    auto decoder = ZVImageDecoder::decoderWithData(pages({first, second, small}), 2);
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->type(), ZVImageType::TIFF);
    ASSERT_EQ(decoder->frameCount(), 3u);
    EXPECT_EQ(decoder->width(), 20u);
    EXPECT_EQ(decoder->height(), 10u);
    EXPECT_EQ(decoder->frameDurationAtIndex(1), 0);
    EXPECT_EQ(codingtest::differingPixels(*decoder->frameAtIndex(0, true)->image->CGImage(), *first), 0);
    EXPECT_EQ(codingtest::differingPixels(*decoder->frameAtIndex(1, false)->image->CGImage(), *second), 0);
    EXPECT_EQ(codingtest::differingPixels(*decoder->frameAtIndex(2, false)->image->CGImage(), *small), 0);
    // For display a smaller page sits at the canvas's top-left.
    auto shown = decoder->frameAtIndex(2, true)->image;
    EXPECT_EQ(shown->scale(), 2);
    ASSERT_EQ(shown->CGImage()->width(), 20);
    EXPECT_EQ(shown->CGImage()->pixelAt(3, 2), small->pixelAt(3, 2));
    EXPECT_EQ(shown->CGImage()->pixelAt(12, 8).a, 0);
    // A still TIFF makes a still image; a multi-page one an animated image.
    EXPECT_EQ(ZVImage::imageWithData(pages({first}), 1)->animatedImageFrameCount(), 0u);
    EXPECT_EQ(ZVImage::imageWithData(pages({first, second}), 1)->animatedImageFrameCount(), 2u);
}

TEST(TIFFAndJPEG2000Coding, TheOrientationATIFFStatesIsHonoured) {
    // 4 × 2 stored pixels, each a colour of its own; the file says its rows
    // are the picture's right-hand column (EXIF 6): it shows turned a
    // quarter clockwise, 2 × 4.
    auto stored = codingtest::pattern(4, 2, 5, false);
    std::vector<std::vector<uint8_t>> rows(2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            RGBA8 c = stored->pixelAt(x, y);
            rows[size_t(y)].insert(rows[size_t(y)].end(), {c.r, c.g, c.b});
        }
    Data tiff = testsupport::tiffFile([](TIFF* t) {
        testsupport::tiffFields(t, 4, 2, 8, 3, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_RIGHTTOP);
    }, rows);
    auto frame = ZVImageDecoder::decoderWithData(tiff, 1)->frameAtIndex(0, true);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->image->imageOrientation(), UIImageOrientation::Right);
    EXPECT_EQ(frame->image->size(), (CGSize{2, 4}));
    auto shown = codingtest::drawn(*frame->image);
    EXPECT_EQ(shown->pixelAt(1, 0), stored->pixelAt(0, 0));  // the stored top-left at the top right
    EXPECT_EQ(shown->pixelAt(0, 3), stored->pixelAt(3, 1));
    // Stored again, it is written upright.
    auto again = ZVImageDecoder::decoderWithData(*ZVImageEncoder::encodeImage(frame->image, ZVImageType::TIFF, 1), 1);
    auto upright = again->frameAtIndex(0, true)->image;
    EXPECT_EQ(upright->imageOrientation(), UIImageOrientation::Up);
    EXPECT_EQ(codingtest::differingPixels(*upright->CGImage(), *shown), 0);
}

TEST(TIFFAndJPEG2000Coding, TheEncoderWritesBothTypes) {
    auto picture = UIImage::imageWithCGImage(codingtest::pattern(33, 21, 6, true));
    auto tiff = ZVImageEncoder::create(ZVImageType::TIFF);
    auto jp2 = ZVImageEncoder::create(ZVImageType::JPEG2000);
    ASSERT_TRUE(tiff && jp2);
    EXPECT_TRUE(tiff->lossless());
    EXPECT_DOUBLE_EQ(tiff->quality(), 1);
    EXPECT_FALSE(jp2->lossless());
    EXPECT_DOUBLE_EQ(jp2->quality(), 0.9);
    // Like every type but GIF, a TIFF encoder writes the first image only.
    tiff->addImage(picture, 0);
    tiff->addImage(UIImage::imageWithCGImage(codingtest::pattern(8, 8, 7, false)), 0);
    auto tiffDecoder = ZVImageDecoder::decoderWithData(*tiff->encode(), 1);
    ASSERT_EQ(tiffDecoder->frameCount(), 1u);
    EXPECT_EQ(codingtest::differingPixels(*tiffDecoder->frameAtIndex(0, true)->image->CGImage(), *picture->CGImage()), 0);

    jp2->addImage(picture, 0);
    Data lossy = *jp2->encode();
    jp2->setQuality(1);
    Data lossless = *jp2->encode();
    EXPECT_LT(lossy.size(), lossless.size());
    auto back = ZVImageDecoder::decoderWithData(lossless, 1);
    EXPECT_EQ(back->type(), ZVImageType::JPEG2000);
    EXPECT_EQ(codingtest::differingPixels(*back->frameAtIndex(0, true)->image->CGImage(), *picture->CGImage()), 0);
    EXPECT_LT(codingtest::differingPixels(*ZVImageDecoder::decoderWithData(lossy, 1)->frameAtIndex(0, true)->image->CGImage(),
                                          *picture->CGImage(), 24),
              33 * 21 / 10);

    // One image, types 2 and 3.
    for (ZVImageType type : {ZVImageType::JPEG2000, ZVImageType::TIFF}) {
        auto data = ZVCreateEncodedImageData(picture->CGImage(), type, 1.7);
        ASSERT_TRUE(data) << int(type);
        EXPECT_EQ(ZVDetectImageType(*data), type);
        auto decoded = ZVImageDecoder::decoderWithData(*data, 1)->frameAtIndex(0, true)->image->CGImage();
        EXPECT_EQ(codingtest::differingPixels(*decoded, *picture->CGImage()), 0) << int(type);
    }
}

}  // namespace
