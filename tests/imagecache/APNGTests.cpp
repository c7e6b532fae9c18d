#include <gtest/gtest.h>

#include <functional>

#include "CodingTestSupport.h"
#include "imagecache/ZVImageDecoder.h"
#include "imagecache/ZVPNGInfo.h"

namespace {

using codingtest::Chunk;

// Three 12 × 10 frames: full, then 5 × 4 at (3, 2), then 6 × 3 at (6, 7).
codingtest::APNG threeFrames() {
    codingtest::APNG spec;
    spec.width = 12, spec.height = 10, spec.loops = 2;
    spec.frames = {{codingtest::pattern(12, 10, 1, true)},
                   {codingtest::pattern(5, 4, 2, true), 3, 2},
                   {codingtest::pattern(6, 3, 3, true), 6, 7}};
    return spec;
}

size_t animationFrames(const Data& file) {
    auto info = ZVPNGInfoCreate(file.data(), file.size());
    return info ? info->frames.size() : size_t(-1);
}

size_t chunkIndex(const std::vector<Chunk>& chunks, const std::string& type, int nth = 0) {
    for (size_t i = 0; i < chunks.size(); ++i)
        if (chunks[i].type == type && nth-- == 0) return i;
    return chunks.size();
}

TEST(APNGReader, FaultyAnimationsPlayAsStillImages) {
    auto base = codingtest::chunksOf(codingtest::build(threeFrames()));
    ASSERT_EQ(animationFrames(codingtest::pngFile(base)), 3u);
    struct Case {
        const char* what;
        std::function<void(std::vector<Chunk>&)> damage;
    } cases[] = {
        {"sequence from 1", [](auto& c) {
             int seq = 1;
             for (auto& k : c)
                 if (k.type == "fcTL" || k.type == "fdAT") std::copy_n(codingtest::be32(seq++).begin(), 4, k.body.begin());
         }},
        {"fdAT right after IDAT", [](auto& c) { c.erase(c.begin() + long(chunkIndex(c, "fcTL", 1))); }},
        {"acTL announces 3, two fcTL", [](auto& c) {
             c.erase(c.begin() + long(chunkIndex(c, "fcTL", 2)), c.end() - 1);
         }},
        {"frame outside the canvas", [](auto& c) { c[chunkIndex(c, "fcTL", 1)].body[15] = 9; }},  // x = 9, width 5
        {"zero-size frame", [](auto& c) { c[chunkIndex(c, "fcTL", 2)].body[7] = 0; }},
        {"fdAT of 4 bytes", [](auto& c) { c[chunkIndex(c, "fdAT")].body.resize(4); }},
        {"fcTL last", [](auto& c) {
             Chunk fctl = c[chunkIndex(c, "fcTL", 2)];
             c.erase(c.begin() + long(chunkIndex(c, "fcTL", 2)), c.end() - 1);
             c.insert(c.end() - 1, fctl);
         }},
        {"non-cover fcTL then IDAT", [](auto& c) {
             // Frame 1's data chunk renamed to IDAT, as if a second default image.
             c[chunkIndex(c, "fdAT")].type = "IDAT";
         }},
        {"cover frame unlike IHDR", [](auto& c) { c[chunkIndex(c, "fcTL")].body[7] = 11; }},
        {"fcTL width 2^31", [](auto& c) { c[chunkIndex(c, "fcTL", 1)].body[4] = 0x80; }},
    };
    for (auto& c : cases) {
        auto chunks = base;
        c.damage(chunks);
        Data file = codingtest::pngFile(chunks);
        EXPECT_EQ(animationFrames(file), 0u) << c.what;
        auto decoder = ZVImageDecoder::decoderWithData(file, 1);
        ASSERT_TRUE(decoder) << c.what;
        EXPECT_EQ(decoder->frameCount(), 1u) << c.what;
        EXPECT_TRUE(decoder->frameAtIndex(0, true)) << c.what;
    }
}

TEST(APNGReader, DamagedChunkStreamsGiveNothing) {
    Data file = codingtest::build(threeFrames());
    Data huge = file;
    huge.insert(huge.end() - 12, {0xFF, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't'});  // length 0xFFFFFFF0 before IEND
    EXPECT_EQ(ZVPNGInfoCreate(huge.data(), huge.size()), nullptr);
    EXPECT_EQ(ZVPNGInfoCreate(file.data(), 31), nullptr);
    Data cut(file.begin(), file.end() - 13);  // the last fdAT runs past the end
    EXPECT_EQ(ZVPNGInfoCreate(cut.data(), cut.size()), nullptr);
    for (const Data* bad : {&huge, &cut})
        if (auto decoder = ZVImageDecoder::decoderWithData(*bad, 1)) decoder->frameAtIndex(0, true);
    Data trailing = file;
    trailing.insert(trailing.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
    EXPECT_EQ(animationFrames(trailing), 3u);  // bytes after IEND are ignored
}

TEST(APNGReader, AssembledFramesKeepSharedChunksInOrder) {
    auto chunks = codingtest::chunksOf(codingtest::build(threeFrames()));
    chunks.insert(chunks.begin() + long(chunkIndex(chunks, "fcTL")), Chunk{"tEXt", {'a', 0, '1'}});
    chunks.insert(chunks.end() - 1, Chunk{"tEXt", {'b', 0, '2'}});
    // Frame 2's image data split over two fdAT chunks.
    size_t at = chunkIndex(chunks, "fdAT", 1);
    Chunk second = chunks[at];
    chunks[at].body.resize(4 + 7);
    second.body.erase(second.body.begin() + 4, second.body.begin() + 4 + 7);
    std::copy_n(codingtest::be32(5).begin(), 4, second.body.begin());
    chunks.insert(chunks.begin() + long(at) + 1, second);
    Data file = codingtest::pngFile(chunks);
    auto info = ZVPNGInfoCreate(file.data(), file.size());
    ASSERT_TRUE(info);
    ASSERT_EQ(info->frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        auto png = ZVPNGInfoFrameData(file.data(), file.size(), *info, i);
        ASSERT_TRUE(png);
        std::vector<std::string> types;
        for (auto& c : codingtest::chunksOf(*png))
            if (types.empty() || types.back() != c.type) types.push_back(c.type);
        EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "tEXt", "IDAT", "tEXt", "IEND"})) << i;
        auto decoded = imageio::decodePNG(png->data(), png->size());
        ASSERT_TRUE(decoded) << i;
        EXPECT_EQ(codingtest::differingPixels(*decoded, *threeFrames().frames[i].image), 0) << i;
    }
    const ZVPNGFrameInfo& two = info->frames[2];
    ASSERT_EQ(two.chunkCount, 2u);
    EXPECT_EQ(ZVPNGInfoFrameData(file.data(), file.size(), *info, 2)->size(),
              8 + info->sharedChunkBytes + two.chunkBytes - 8);
    EXPECT_FALSE(ZVPNGInfoFrameData(file.data(), file.size(), *info, 3));
}

std::vector<std::shared_ptr<CGImage>> decodeAll(ZVImageDecoder& decoder, const std::vector<size_t>& order) {
    std::vector<std::shared_ptr<CGImage>> out(decoder.frameCount());
    for (size_t i : order)
        if (auto f = decoder.frameAtIndex(i, true)) out[i] = f->image->CGImage();
    return out;
}

TEST(APNGDecoder, EveryDisposeAndBlendMatchesTheReferenceCompositor) {
    for (bool cover : {true, false})
        for (int a = 0; a < 6; ++a)
            for (int b = 0; b < 6; ++b) {
                auto spec = threeFrames();
                spec.cover = cover;
                spec.defaultImage = codingtest::pattern(12, 10, 9, false);
                spec.frames[0].dispose = uint8_t(b % 3);
                spec.frames[1].dispose = uint8_t(a % 3), spec.frames[1].blend = uint8_t(a / 3);
                spec.frames[2].dispose = uint8_t(b % 3), spec.frames[2].blend = uint8_t(b / 3);
                spec.frames.push_back({codingtest::pattern(12, 10, 4, true), 0, 0, 1, 10, 0, 1});
                auto expected = codingtest::compose(spec);
                auto decoder = ZVImageDecoder::decoderWithData(codingtest::build(spec), 1);
                ASSERT_TRUE(decoder);
                ASSERT_EQ(decoder->frameCount(), 4u);
                for (auto order : {std::vector<size_t>{0, 1, 2, 3}, std::vector<size_t>{3, 1, 2, 0, 2}}) {
                    auto frames = decodeAll(*decoder, order);
                    for (size_t i = 0; i < 4; ++i) {
                        ASSERT_TRUE(frames[i]);
                        EXPECT_EQ(codingtest::differingPixels(*frames[i], *expected[i]), 0)
                            << "cover " << cover << " frame " << i << " ops " << a << "," << b << " order " << order[0];
                    }
                }
            }
}

TEST(APNGDecoder, TheCanvasRedrawsOnlyWhatAFrameNeeds) {
    codingtest::APNG spec;
    spec.width = 8, spec.height = 8;
    spec.frames.push_back({codingtest::pattern(8, 8, 1, true)});
    for (uint32_t i = 1; i < 6; ++i) spec.frames.push_back({codingtest::pattern(2, 2, i + 1, true), i, i, 1, 10, 0, 1});
    spec.frames[3].dispose = 1;
    auto decoder = ZVImageDecoder::decoderWithData(codingtest::build(spec), 1);
    ASSERT_TRUE(decoder);
    std::vector<size_t> drawn;
    decoder->setCanvasDrawObserver([&](size_t i) { drawn.push_back(i); });
    decoder->frameAtIndex(3, true);
    drawn.clear();
    decoder->frameAtIndex(4, true);
    EXPECT_EQ(drawn, std::vector<size_t>{4});
    drawn.clear();
    decoder->frameAtIndex(2, true);  // every frame over frame 0: rebuilt from 0
    EXPECT_EQ(drawn, (std::vector<size_t>{0, 1, 2}));
}

TEST(APNGDecoder, ACoverOnlyFrameControlPlaysStillAndKeepsTheSource) {
    auto spec = threeFrames();
    spec.frames.resize(1);
    Data file = codingtest::build(spec);
    ASSERT_EQ(animationFrames(file), 1u);
    auto decoder = ZVImageDecoder::decoderWithData(file, 1);
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->frameCount(), 1u);
    EXPECT_EQ(decoder->framePropertiesAtIndex(0)["PixelWidth"].intValue(), 12);
}

}  // namespace
