#include <gtest/gtest.h>

#include "CodingTestSupport.h"
#include "imagecache/ZVImageDecoder.h"
#include "imagecache/ZVImageEncoder.h"
#include "platform/foundation/Files.h"
#include "platform/graphics/ImageSource.h"
#include "support/TestSupport.h"

namespace {

std::shared_ptr<UIImage> image(int w, int h, uint32_t seed, bool alpha) {
    return UIImage::imageWithCGImage(codingtest::pattern(w, h, seed, alpha));
}

size_t countChunks(const Data& png, const std::string& type) {
    size_t n = 0;
    for (auto& c : codingtest::chunksOf(png)) n += c.type == type;
    return n;
}

// Width and height of every fcTL, in order.
std::vector<std::pair<uint32_t, uint32_t>> frameSizes(const Data& png) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (auto& c : codingtest::chunksOf(png))
        if (c.type == "fcTL") out.push_back({uint32_t(c.body[4]) << 24 | c.body[5] << 16 | c.body[6] << 8 | c.body[7],
                                             uint32_t(c.body[8]) << 24 | c.body[9] << 16 | c.body[10] << 8 | c.body[11]});
    return out;
}

TEST(ImageEncoder, UnreadTypesAreRefusedAtCreation) {
    for (uint32_t t : {0u, 9u, 10u}) EXPECT_FALSE(ZVImageEncoder::create(ZVImageType(t))) << t;
    for (uint32_t t = 1; t <= 8; ++t) EXPECT_TRUE(ZVImageEncoder::create(ZVImageType(t))) << t;
    auto jpeg = ZVImageEncoder::create(ZVImageType::JPEG);
    EXPECT_DOUBLE_EQ(jpeg->quality(), 0.9);
    jpeg->setQuality(-0.3);
    EXPECT_EQ(jpeg->quality(), 0);
}

TEST(ImageEncoder, JPEGWritesOnlyTheFirstOfThreeImages) {
    auto encoder = ZVImageEncoder::create(ZVImageType::JPEG);
    for (uint32_t i = 0; i < 3; ++i) encoder->addImage(image(8 + int(i), 8, i, false), 0.1);
    auto data = encoder->encode();
    ASSERT_TRUE(data);
    auto source = imageio::ImageSource::create(std::make_shared<const Data>(*data));
    ASSERT_EQ(source->count(), 1u);
    EXPECT_EQ(source->imageAtIndex(0)->width(), 8);
}

TEST(ImageEncoder, PNGIsPlainForOneImageAndAnimatedForTwo) {
    auto one = ZVImageEncoder::create(ZVImageType::PNG);
    one->addImage(image(6, 5, 1, false), 0);
    auto plain = one->encode();
    ASSERT_TRUE(plain);
    EXPECT_EQ(countChunks(*plain, "acTL"), 0u);

    auto opaque = image(6, 5, 1, false), transparent = image(6, 5, 2, true);
    auto two = ZVImageEncoder::create(ZVImageType::PNG);
    two->setLoopCount(4);
    two->addImage(opaque, 0.1);
    two->addImage(transparent, -3);  // stored as 0
    auto apng = two->encode();
    ASSERT_TRUE(apng);
    auto chunks = codingtest::chunksOf(*apng);
    auto actl = std::find_if(chunks.begin(), chunks.end(), [](auto& c) { return c.type == "acTL"; });
    ASSERT_NE(actl, chunks.end());
    EXPECT_EQ(actl->body, (Data{0, 0, 0, 2, 0, 0, 0, 4}));
    auto decoder = ZVImageDecoder::decoderWithData(*apng, 1);
    ASSERT_TRUE(decoder);
    ASSERT_EQ(decoder->frameCount(), 2u);
    EXPECT_EQ(decoder->loopCount(), 4u);
    EXPECT_DOUBLE_EQ(decoder->frameDurationAtIndex(0), 0.1);
    EXPECT_DOUBLE_EQ(decoder->frameDurationAtIndex(1), 1.0 / 255);
    // An opaque frame first, then a transparent one: both come back as they were.
    for (size_t i : {0, 1, 0})
        EXPECT_EQ(codingtest::differingPixels(*decoder->frameAtIndex(i, true)->image->CGImage(),
                                              *(i ? transparent : opaque)->CGImage()),
                  0)
            << i;
}

TEST(ImageEncoder, TheFirstFrameSetsTheCanvas) {
    struct Case {
        int first, second;
        std::vector<std::pair<uint32_t, uint32_t>> sizes;
    } cases[] = {{10, 20, {{20, 20}, {20, 20}}}, {20, 10, {{20, 20}, {10, 10}}}};
    for (auto& c : cases) {
        auto encoder = ZVImageEncoder::create(ZVImageType::PNG);
        encoder->addImage(image(c.first, c.first, 1, true), 0.1);
        encoder->addImage(image(c.second, c.second, 2, true), 0.1);
        auto apng = encoder->encode();
        ASSERT_TRUE(apng);
        EXPECT_EQ(frameSizes(*apng), c.sizes) << c.first;
        auto first = ZVImageDecoder::decoderWithData(*apng, 1)->frameAtIndex(0, true)->image->CGImage();
        // The smaller first frame keeps its place at the top-left.
        EXPECT_EQ(first->pixelAt(1, 1), codingtest::pattern(c.first, c.first, 1, true)->pixelAt(1, 1)) << c.first;
    }
}

TEST(ImageEncoder, DelaysBecomeFractionsOfAtMost255) {
    struct Case {
        double seconds;
        uint16_t num, den;
    } cases[] = {{0.1, 1, 10}, {0.04, 1, 25}, {300, 255, 1}, {0, 1, 255}, {-2, 1, 255}, {1.5, 3, 2}, {0.333, 1, 3}};
    for (auto& c : cases) EXPECT_EQ(ZVPNGDelayToFraction(c.seconds), std::make_pair(c.num, c.den)) << c.seconds;
}

TEST(ImageEncoder, GIFKeepsLoopCountAndDelaysForGiflib) {
    auto encoder = ZVImageEncoder::create(ZVImageType::GIF);
    encoder->setLoopCount(3);
    encoder->addImage(image(8, 8, 1, true), 0.1);
    encoder->addImageWithData(*imageio::encodePNG(*codingtest::pattern(8, 8, 2, false)), 0.25);
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "c.png", [] {
        auto png = *imageio::encodePNG(*codingtest::pattern(8, 8, 3, false));
        return std::string(png.begin(), png.end());
    }());
    encoder->addImageWithFile((dir / "c.png").string(), 1);
    encoder->addImageWithFile("file://" + (dir / "c.png").string(), 2);
    encoder->addImageWithFile("https://example.com/c.png", 3);  // not a file: refused
    auto gif = encoder->encode();
    ASSERT_TRUE(gif);
    auto timing = codingtest::readGIFTiming(*gif);
    EXPECT_EQ(timing.loops, 3);
    EXPECT_EQ(timing.delays, (std::vector<int>{10, 25, 100, 200}));
    auto frames = codingtest::slurpAndCompose(*gif);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(codingtest::differingPixels(*frames[0], *codingtest::pattern(8, 8, 1, true)), 0);
}

TEST(ImageEncoder, AFailedWriteKeepsTheOldFile) {
    testsupport::TempDir dir;
    auto path = dir / "out.gif";
    auto encoder = ZVImageEncoder::create(ZVImageType::GIF);
    encoder->addImage(image(8, 8, 1, false), 0.1);
    ASSERT_TRUE(encoder->encodeToFile(path));
    auto old = files::readData(path);
    encoder->addImage(image(8, 8, 2, false), 0.1);
    for (auto step : {files::WriteStep::create, files::WriteStep::write, files::WriteStep::rename}) {
        files::WriteFault fault(path, step);
        EXPECT_FALSE(encoder->encodeToFile(path));
        EXPECT_EQ(files::readData(path), old);
    }
    EXPECT_TRUE(encoder->encodeToFile(path));
    EXPECT_NE(files::readData(path), old);
    EXPECT_FALSE(ZVImageEncoder::create(ZVImageType::GIF)->encodeToFile(path));  // no images
}

TEST(ImageEncoder, FramesOfADecoderBecomeAnAnimation) {
    auto source = ZVImageEncoder::create(ZVImageType::GIF);
    for (uint32_t i = 0; i < 3; ++i) source->addImage(image(5, 5, i, false), 0.5);
    auto decoder = ZVImageDecoder::decoderWithData(*source->encode(), 1);
    auto apng = ZVImageEncoder::encodeImageWithDecoder(decoder.get(), ZVImageType::PNG, 1);
    ASSERT_TRUE(apng);
    auto back = ZVImageDecoder::decoderWithData(*apng, 1);
    ASSERT_EQ(back->frameCount(), 3u);
    EXPECT_DOUBLE_EQ(back->frameDurationAtIndex(2), 0.5);
    EXPECT_FALSE(ZVImageEncoder::encodeImageWithDecoder(nullptr, ZVImageType::PNG, 1));
}

}  // namespace
