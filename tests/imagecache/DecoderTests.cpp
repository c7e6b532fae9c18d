#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "CodingTestSupport.h"
#include "imagecache/ZVImageDecoder.h"
#include "platform/graphics/ImageDestination.h"

namespace {

using codingtest::GIFFrame;

// Indexes into the test palette: a w × h block of colours varying with `seed`.
GIFFrame gifFrame(int left, int top, int w, int h, int seed, int disposal, int transparent = -1) {
    GIFFrame f{left, top, w, h, {}, transparent, disposal, 10 + seed};
    for (int i = 0; i < w * h; ++i) f.indexes.push_back(uint8_t((i * 7 + seed * 3) % 16));
    return f;
}

// Five frames on a 16 × 12 screen covering every disposal, offsets,
// transparency and an interlaced frame.
Data everyDisposalGIF() {
    std::vector<GIFFrame> frames = {gifFrame(0, 0, 16, 12, 1, 1), gifFrame(2, 3, 9, 5, 2, 2, 4),
                                    gifFrame(5, 1, 10, 9, 3, 3, 0), gifFrame(1, 6, 12, 6, 4, 0, 7),
                                    gifFrame(0, 0, 16, 12, 5, 2, 3)};
    frames[3].interlaced = true;
    return codingtest::buildGIF(16, 12, frames, 3);
}

Data threeFrameAPNG() {
    codingtest::APNG spec;
    spec.width = 12, spec.height = 10;
    spec.frames = {{codingtest::pattern(12, 10, 1, true)},
                   {codingtest::pattern(5, 4, 2, true), 3, 2, 1, 10, 0, 1},
                   {codingtest::pattern(6, 3, 3, true), 6, 7, 1, 10, 1, 0}};
    return codingtest::build(spec);
}

Data prefix(const Data& d, size_t n) { return Data(d.begin(), d.begin() + long(n)); }

TEST(ImageDecoder, TenBytesAreNothing) {
    EXPECT_FALSE(ZVImageDecoder::decoderWithData(Data(10, 0x47), 1));
    EXPECT_FALSE(ZVImageDecoder::decoderWithData(Data(), 1));
}

TEST(ImageDecoder, GIFFramesMatchGiflibsSlurpThroughEveryDisposal) {
    Data gif = everyDisposalGIF();
    auto expected = codingtest::slurpAndCompose(gif);
    ASSERT_EQ(expected.size(), 5u);
    auto decoder = ZVImageDecoder::decoderWithData(gif, 1);
    ASSERT_TRUE(decoder);
    ASSERT_EQ(decoder->frameCount(), 5u);
    EXPECT_EQ(decoder->loopCount(), 3u);
    EXPECT_DOUBLE_EQ(decoder->frameDurationAtIndex(1), 0.12);
    for (size_t i : {0, 1, 2, 3, 4, 2, 4, 0, 3}) {
        auto frame = decoder->frameAtIndex(i, true);
        ASSERT_TRUE(frame);
        EXPECT_EQ(codingtest::differingPixels(*frame->image->CGImage(), *expected[i]), 0) << "frame " << i;
    }
}

TEST(ImageDecoder, ProgressiveAnimationsShowOneFrameUntilFinal) {
    struct Case {
        const char* what;
        Data file;
        size_t frames, loops;
    } cases[] = {{"GIF", everyDisposalGIF(), 5, 3}, {"APNG", threeFrameAPNG(), 3, 0}};
    for (auto& c : cases) {
        ZVImageDecoder decoder(1);
        EXPECT_TRUE(decoder.updateData(prefix(c.file, 12), false));
        EXPECT_EQ(decoder.type(), ZVImageType::Unknown) << c.what;  // 16 bytes or fewer fix nothing
        EXPECT_TRUE(decoder.updateData(prefix(c.file, c.file.size() * 3 / 4), false));
        EXPECT_EQ(decoder.frameCount(), 1u) << c.what;
        EXPECT_EQ(decoder.loopCount(), 0u) << c.what;
        EXPECT_TRUE(decoder.frameAtIndex(0, true)) << c.what;
        EXPECT_FALSE(decoder.frameAtIndex(1, true)) << c.what;
        EXPECT_TRUE(decoder.updateData(c.file, true));
        EXPECT_EQ(decoder.frameCount(), c.frames) << c.what;
        EXPECT_EQ(decoder.loopCount(), c.loops) << c.what;
        EXPECT_FALSE(decoder.updateData(c.file, true)) << c.what;  // finalised
    }
}

TEST(ImageDecoder, EverySplitOfAFileIsSafeAndShowsOneFrameAtMost) {
    auto tiff = imageio::ImageDestination::create(imageio::Format::TIFF, 3);
    for (int i = 0; i < 3; ++i) tiff->addImage(codingtest::pattern(9, 6, uint32_t(i), i == 1));
    auto jp2 = imageio::ImageDestination::create(imageio::Format::JPEG2000, 1);
    jp2->addImage(codingtest::pattern(9, 6, 4, true));
    for (const Data& file : {everyDisposalGIF(), threeFrameAPNG(), *tiff->finalize(), *jp2->finalize()}) {
        size_t frames = ZVImageDecoder::decoderWithData(file, 1)->frameCount();
        for (size_t cut = 0; cut <= file.size(); ++cut) {
            ZVImageDecoder decoder(1);
            decoder.updateData(prefix(file, cut), false);
            ASSERT_LE(decoder.frameCount(), 1u) << cut;
            decoder.frameAtIndex(0, cut % 2 == 0);
            decoder.updateData(file, true);
            ASSERT_EQ(decoder.frameCount(), frames) << cut;
        }
    }
}

TEST(ImageDecoder, DataOfAnotherTypeIsRefusedButFinalIsLatched) {
    Data gif = everyDisposalGIF();
    Data png = *imageio::encodePNG(*codingtest::pattern(4, 4, 1, false));
    ZVImageDecoder decoder(1);
    ASSERT_TRUE(decoder.updateData(prefix(gif, gif.size() - 10), false));
    size_t frames = decoder.frameCount();
    EXPECT_FALSE(decoder.updateData(prefix(gif, 20), false));  // shorter than what is held
    Data other = png;
    other.resize(gif.size(), 0);  // not shorter than what is held
    EXPECT_FALSE(decoder.updateData(other, true));
    EXPECT_EQ(decoder.frameCount(), frames);
    EXPECT_EQ(*decoder.data(), prefix(gif, gif.size() - 10));
    EXPECT_TRUE(decoder.isFinalized());
    EXPECT_FALSE(decoder.updateData(gif, true));
}

TEST(ImageDecoder, IconFramesKeepTheirOwnSizes) {
    auto dest = imageio::ImageDestination::create(imageio::Format::ICO, 2);
    dest->addImage(codingtest::pattern(16, 16, 1, true));
    dest->addImage(codingtest::pattern(32, 32, 2, true));
    auto decoder = ZVImageDecoder::decoderWithData(*dest->finalize(), 1);
    ASSERT_TRUE(decoder);
    ASSERT_EQ(decoder->frameCount(), 2u);
    EXPECT_EQ(decoder->frameAtIndex(0, true)->image->CGImage()->width(), 16);
    EXPECT_EQ(decoder->frameAtIndex(1, true)->image->CGImage()->width(), 32);
}

TEST(ImageDecoder, WebPAndATIFFWithoutFieldsGiveNoFrames) {
    Data webp = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', ' ', 0, 0};
    Data tiff = {'I', 'I', '*', 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (const Data& d : {webp, tiff}) {
        ZVImageDecoder decoder(1);
        EXPECT_TRUE(decoder.updateData(d, true));
        EXPECT_NE(decoder.type(), ZVImageType::Unknown);
        EXPECT_EQ(decoder.frameCount(), 0u);
    }
}

TEST(ImageDecoder, DurationsAreReadableWhileAnotherThreadDecodes) {
    Data gif = everyDisposalGIF();
    ZVImageDecoder decoder(1);
    std::atomic<bool> done{false};
    std::atomic<int> odd{0};
    std::thread reader([&] {
        while (!done)
            for (size_t i = 0; i < 5; ++i) {
                double d = decoder.frameDurationAtIndex(i);
                if (d != 0 && std::fabs(d - (0.11 + 0.01 * double(i))) > 1e-9) ++odd;
            }
    });
    for (size_t n = 17; n <= gif.size(); n += 7) {
        decoder.updateData(prefix(gif, n), false);
        decoder.frameAtIndex(0, true);
    }
    decoder.updateData(gif, true);
    for (size_t i = 0; i < 5; ++i) decoder.frameAtIndex(i, true);
    done = true;
    reader.join();
    EXPECT_EQ(odd, 0);
    EXPECT_DOUBLE_EQ(decoder.frameDurationAtIndex(4), 0.15);
}

}  // namespace
