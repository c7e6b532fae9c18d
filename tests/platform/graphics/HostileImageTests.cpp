// Files that cost far more to decode than their size says: progressive
// JPEGs that repeat a scan, GIFs of many frames over a huge screen, JPEG
// 2000 codestreams that ask for millions of code-blocks, TIFFs of many huge
// pages that share one strip.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/graphics/ImageIO.h"
#include "platform/graphics/ImageSource.h"
#include "support/HostileImageFiles.h"
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

Data bytesOf(const std::vector<uint8_t>& v) { return Data(v.begin(), v.end()); }

std::unique_ptr<ImageSource> codestreamSource(const testsupport::EmptyCodestream& spec) {
    auto bytes = testsupport::emptyCodestream(spec);
    return ImageSource::create(std::make_shared<Data>(bytes.begin(), bytes.end()));
}

TEST(HostileJPEG2000, CodingStylesThatAskForTooMuchAreRefusedBeforeOpenJPEGSeesThem) {
    // 64 x 64 code-blocks over 1024 x 1024: an image (every packet empty).
    auto honest = codestreamSource({1024, 1024, 1, 8, 5, 6});
    ASSERT_EQ(honest->count(), 1u);
    auto zeros = honest->imageAtIndex(0);
    ASSERT_TRUE(zeros);
    EXPECT_EQ(zeros->pixelAt(1023, 1023), (RGBA8{128, 128, 128, 255}));  // no coefficients: the level shift
    struct Case {
        const char* what;
        testsupport::EmptyCodestream spec;
    } refused[] = {
        {"4 x 4 code-blocks over 2048 x 2048 (100 MiB of bookkeeping)", {2048, 2048, 1, 8, 5, 2}},
        {"4 x 4 code-blocks over 8192 x 8192 (102 bytes)", {8192, 8192, 1, 8, 5, 2}},
        {"4 x 4 code-blocks over 4096 x 4096 x 4 x 16 bits (129 bytes)", {4096, 4096, 4, 16, 5, 2}},
        {"4 x 4 code-blocks asked for by the tile-part header", {8192, 8192, 1, 8, 5, 6, 2}},
        {"2 x 2 precincts over 1024 x 1024", {1024, 1024, 1, 8, 5, 6, 0, 1, 1}},
        {"65535 layers of 64 x 64 precincts", {1024, 1024, 1, 8, 5, 6, 0, 65535, 6}},
    };
    for (auto& c : refused) {
        auto source = codestreamSource(c.spec);
        EXPECT_EQ(source->status(), imageio::SourceStatus::InvalidData) << c.what;
        EXPECT_FALSE(source->imageAtIndex(0)) << c.what;
    }
    // Within the bound of bytes: a few layers of such precincts, and 4 x 4
    // code-blocks over 1024 x 1024 (27 MiB), which decode.
    EXPECT_EQ(codestreamSource({1024, 1024, 1, 8, 5, 6, 0, 8, 6})->count(), 1u);
    auto small = codestreamSource({1024, 1024, 1, 8, 5, 2})->imageAtIndex(0);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->pixelAt(512, 512), (RGBA8{128, 128, 128, 255}));
    // The most decomposition levels (32), whose precincts OpenJPEG does not
    // report: its parse agrees with ours as far as it tells.
    auto deepest = codestreamSource({256, 256, 1, 8, 32, 6})->imageAtIndex(0);
    ASSERT_TRUE(deepest);
    EXPECT_EQ(deepest->pixelAt(255, 0), (RGBA8{128, 128, 128, 255}));

    // Arriving in pieces: the main header lists the image; the tile-part
    // header that asks for 4 x 4 code-blocks, once there, stops its decode.
    auto file = testsupport::emptyCodestream({8192, 8192, 1, 8, 5, 6, 2});
    const uint8_t sot[] = {0xFF, 0x90};
    size_t tilePart = size_t(std::search(file.begin(), file.end(), sot, sot + 2) - file.begin());
    auto source = ImageSource::createIncremental();
    source->update(std::make_shared<Data>(file.begin(), file.begin() + long(tilePart + 12)), false);
    ASSERT_EQ(source->count(), 1u);
    source->update(std::make_shared<Data>(bytesOf(file)), true);
    EXPECT_FALSE(source->imageAtIndex(0));
    // A main header beyond the bounds is refused for good, before the rest arrives.
    auto bomb = testsupport::emptyCodestream({8192, 8192, 1, 8, 5, 2});
    auto early = ImageSource::createIncremental();
    early->update(std::make_shared<Data>(bomb.begin(), bomb.end() - 10), false);
    EXPECT_EQ(early->status(), imageio::SourceStatus::InvalidData);
}

// OpenJPEG does not skip a segment it does not know: it reads on by pairs
// of bytes for a marker it knows. A style in such a segment's body is one
// OpenJPEG uses; the file is refused, bare or in JP2 boxes.
TEST(HostileJPEG2000, AStyleHiddenInAnUnknownSegmentIsSeen) {
    using testsupport::Hidden;
    for (Hidden hidden : {Hidden::MainHeaderCOC, Hidden::TilePartCOD}) {
        testsupport::EmptyCodestream spec{8192, 8192, 1, 8, 5, 6};
        spec.hidden = hidden;
        auto bare = testsupport::emptyCodestream(spec);
        auto boxed = testsupport::inJP2Boxes(bare, spec);
        for (const auto& file : {bare, boxed}) {
            auto source = ImageSource::create(std::make_shared<Data>(bytesOf(file)));
            EXPECT_EQ(source->status(), imageio::SourceStatus::InvalidData) << int(hidden) << " " << file.size();
        }
    }
    // The same segment holding what OpenJPEG does not know (even a marker
    // of its own, off the pairs OpenJPEG reads) is skipped by both; of odd
    // length, OpenJPEG's pairs would straddle the next marker: refused.
    auto withSegment = [](std::vector<uint8_t> segment) {
        auto file = testsupport::emptyCodestream({1024, 1024, 1, 8, 5, 6});
        const uint8_t sot[] = {0xFF, 0x90};
        file.insert(std::search(file.begin(), file.end(), sot, sot + 2), segment.begin(), segment.end());
        return ImageSource::create(std::make_shared<Data>(bytesOf(file)));
    };
    EXPECT_EQ(withSegment({0xFF, 0x70, 0x00, 0x06, 0x00, 0xFF, 0x53, 0x00})->count(), 1u);
    EXPECT_EQ(withSegment({0xFF, 0x70, 0x00, 0x05, 0x00, 0x00, 0x00})->status(), imageio::SourceStatus::InvalidData);
}

TEST(HostileTIFF, HugePagesSharingOneStripAreListedOnlyAsFarAsTheWorkAllows) {
    // 64 pages of 64 Mpx in 200 KiB: 16 pages, as a GIF screen of that size plays 16 frames.
    auto big = testsupport::pagesSharingOneStrip(64, 8192);
    EXPECT_LT(big.size(), 210u * 1024);
    EXPECT_EQ(ImageSource::create(big.data(), big.size())->count(), 16u);
    // 1024 pages of 4 Mpx: 256, the last of them decoded.
    auto many = testsupport::pagesSharingOneStrip(1024, 2048);
    auto source = ImageSource::create(many.data(), many.size());
    ASSERT_EQ(source->count(), 256u);
    auto last = source->imageAtIndex(255);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->pixelAt(2047, 2047), (RGBA8{0, 0, 0, 255}));
    // Pages within the bound are all listed.
    auto few = testsupport::pagesSharingOneStrip(3, 64);
    EXPECT_EQ(ImageSource::create(few.data(), few.size())->count(), 3u);
}

}  // namespace
