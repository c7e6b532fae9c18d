// Files that cost far more to decode than their size says: progressive
// JPEGs that repeat a scan, GIFs of many frames over a huge screen.

#include <gtest/gtest.h>

#include "platform/graphics/ImageIO.h"
#include "platform/graphics/ImageSource.h"
#include "support/JPEGScanBomb.h"

namespace {

using imageio::ImageSource;

TEST(HostileJPEG, RepeatedScansStopTheDecodeWhereAnHonestFileDecodes) {
    auto decodes = [](const std::vector<uint8_t>& file) { return imageio::decodeJPEG(file.data(), file.size()) != nullptr; };
    // The library's own progression (ten scans) and a few hundred more.
    EXPECT_TRUE(decodes(testsupport::progressiveJPEG(64)));
    EXPECT_TRUE(decodes(testsupport::progressiveJPEG(64, imageio::kMaxJPEGScans - 20)));
    // Past the scan limit, however small the picture.
    EXPECT_FALSE(decodes(testsupport::progressiveJPEG(64, imageio::kMaxJPEGScans)));
    EXPECT_FALSE(decodes(testsupport::progressiveJPEG(64, 2000)));
    // Fewer scans than the limit, but each a pass over 4096 × 4096 pixels:
    // past the blocks they may read in all.
    EXPECT_TRUE(decodes(testsupport::progressiveJPEG(4096)));
    EXPECT_FALSE(decodes(testsupport::progressiveJPEG(4096, 300)));
    // The same file arriving piece by piece stops as well.
    auto bomb = testsupport::progressiveJPEG(64, 2000);
    auto source = ImageSource::createIncremental();
    source->update(std::make_shared<Data>(bomb.begin(), bomb.begin() + long(bomb.size() * 3 / 4)), false);
    EXPECT_FALSE(source->imageAtIndex(0));
}

TEST(HostileJPEG, NoBytesGiveNoImageAndNoHeader) {
    const uint8_t none[1] = {0xFF};
    EXPECT_FALSE(imageio::decodeJPEG(none, 0));
    EXPECT_FALSE(imageio::readJPEGHeader(none, 0));
}

// GIF bytes written by hand: a screen without colour table, then frames of
// two colours (0 red, 1 blue) with their disposal, each pixel coded after a
// clear code so that codes stay three bits wide.
struct GIFFrame {
    int left, top, width, height, disposal;
    std::vector<uint8_t> pixels;  // indexes, row by row
};

Data gifFile(int screenWidth, int screenHeight, const std::vector<GIFFrame>& frames) {
    auto le16 = [](Data& d, int v) { d.insert(d.end(), {uint8_t(v & 255), uint8_t(v >> 8)}); };
    Data d = {'G', 'I', 'F', '8', '9', 'a'};
    le16(d, screenWidth);
    le16(d, screenHeight);
    d.insert(d.end(), {0, 0, 0});
    for (auto& f : frames) {
        d.insert(d.end(), {0x21, 0xF9, 4, uint8_t(f.disposal << 2), 10, 0, 0, 0});
        d.push_back(0x2C);
        le16(d, f.left);
        le16(d, f.top);
        le16(d, f.width);
        le16(d, f.height);
        d.insert(d.end(), {0x80, 255, 0, 0, 0, 0, 255, 2});  // local table of two colours, code size 2
        std::vector<int> codes;
        for (uint8_t p : f.pixels) codes.insert(codes.end(), {4, p});
        codes.push_back(5);
        Data packed((codes.size() * 3 + 7) / 8, 0);
        for (size_t i = 0; i < codes.size(); ++i)
            for (int bit = 0; bit < 3; ++bit)
                if (codes[i] >> bit & 1) packed[(i * 3 + size_t(bit)) / 8] |= uint8_t(1 << ((i * 3 + size_t(bit)) % 8));
        for (size_t at = 0; at < packed.size(); at += 255) {
            size_t n = std::min<size_t>(255, packed.size() - at);
            d.push_back(uint8_t(n));
            d.insert(d.end(), packed.begin() + long(at), packed.begin() + long(at + n));
        }
        d.push_back(0);
    }
    d.push_back(0x3B);
    return d;
}

TEST(HostileGIF, RestoringThePreviousScreenPutsBackOnlyTheFramesPart) {
    // Red everywhere; a blue square that hangs off the bottom right and is
    // taken away again; then one blue pixel at the top left.
    auto file = gifFile(4, 4, {{0, 0, 4, 4, 1, std::vector<uint8_t>(16, 0)},
                               {2, 2, 3, 3, 3, std::vector<uint8_t>(9, 1)},
                               {0, 0, 1, 1, 1, {1}}});
    auto source = ImageSource::create(file.data(), file.size());
    ASSERT_EQ(source->count(), 3u);
    auto second = source->imageAtIndex(1), third = source->imageAtIndex(2);
    ASSERT_TRUE(second && third);
    EXPECT_EQ(second->pixelAt(3, 3).b, 255);
    EXPECT_EQ(second->pixelAt(1, 1).r, 255);
    for (auto [x, y] : {std::pair{2, 2}, {3, 3}, {3, 2}, {1, 1}}) EXPECT_EQ(third->pixelAt(x, y).r, 255) << x << "," << y;
    EXPECT_EQ(third->pixelAt(0, 0).b, 255);
}

TEST(HostileGIF, AHugeScreenOfTinyFramesPlaysOnlyAsManyFramesAsTheWorkAllows) {
    std::vector<GIFFrame> frames;
    for (int i = 0; i < 200; ++i) frames.push_back({i, i, 1, 1, 3, {uint8_t(i % 2)}});
    // 8000 × 8000 as the hostile file has it: 64 Mpx a frame, 16 frames.
    auto big = gifFile(8000, 8000, frames);
    EXPECT_LT(big.size(), 6000u);
    auto source = ImageSource::create(big.data(), big.size());
    EXPECT_EQ(source->count(), 16u);
    // A screen of 16 Mpx: 63 frames, the last of them still drawn.
    auto mid = gifFile(4096, 4096, frames);
    auto played = ImageSource::create(mid.data(), mid.size());
    ASSERT_EQ(played->count(), 63u);
    auto last = played->imageAtIndex(62);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->pixelAt(62, 62).r, 255);
    EXPECT_EQ(last->pixelAt(61, 61).a, 0) << "the frame before was restored away";
}

}  // namespace
