#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "CodingTestSupport.h"
#include "imagecache/ZVImage.h"
#include "imagecache/ZVImageCache.h"
#include "imagecache/ZVImageCoder.h"
#include "imagecache/ZVImageCoderHelpers.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/graphics/CGContext.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempDir;
using testsupport::waitFor;

std::shared_ptr<const Data> shared(Data d) { return std::make_shared<const Data>(std::move(d)); }

std::shared_ptr<UIImage> patternImage(int w, int h, bool alpha, double scale = 1, uint32_t seed = 1) {
    return UIImage::imageWithCGImage(codingtest::pattern(w, h, seed, alpha), scale);
}

Data pngOf(const std::shared_ptr<UIImage>& image) {
    return *ZVCreateEncodedImageData(image->CGImage(), ZVImageType::PNG, 1);
}

// Two 2 × 2 frames of different colours.
Data twoFrameGIF() {
    codingtest::GIFFrame a{0, 0, 2, 2, {0, 0, 0, 0}, -1, 0, 10};
    codingtest::GIFFrame b{0, 0, 2, 2, {1, 1, 1, 1}, -1, 0, 10};
    return codingtest::buildGIF(2, 2, {a, b}, 0);
}

class ImageCacheTest : public ::testing::Test {
protected:
    void TearDown() override { kMainScreenScale.set(2); }
    TempDir dir;
    std::shared_ptr<ZVImageCache> cache = ZVImageCache::initWithPath((dir.path() / "images").string());
};

TEST(ImageCacheCreation, EmptyPathGivesNull) { EXPECT_EQ(ZVImageCache::initWithPath(""), nullptr); }

TEST_F(ImageCacheTest, NothingIsStoredWithoutKeyOrContent) {
    auto image = patternImage(4, 4, true);
    cache->setImage(image, nullptr, "", ZVImageCacheTypeAll);
    cache->setImage(nullptr, shared({}), "k", ZVImageCacheTypeAll);
    cache->setImage(nullptr, nullptr, "k", ZVImageCacheTypeAll);
    EXPECT_EQ(cache->memoryCache()->totalCount(), 0u);
    EXPECT_EQ(cache->diskCache()->totalCount(), 0);
}

TEST_F(ImageCacheTest, DiskOnlyStoreIsFoundOnDiskThenInMemory) {
    auto image = patternImage(8, 6, true);
    cache->setImage(image, shared(pngOf(image)), "k", ZVImageCacheTypeDisk);
    EXPECT_TRUE(cache->containsImageForKey("k", ZVImageCacheTypeDisk));
    EXPECT_FALSE(cache->containsImageForKey("k", ZVImageCacheTypeMemory));
    auto found = cache->getImageForKey("k", ZVImageCacheTypeAll);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(codingtest::differingPixels(*found->CGImage(), *image->CGImage()), 0);
    EXPECT_TRUE(cache->containsImageForKey("k", ZVImageCacheTypeMemory));
    EXPECT_EQ(cache->getImageForKey("k", ZVImageCacheTypeMemory), found);
}

TEST_F(ImageCacheTest, ScaleTravelsWithTheBytes) {
    auto image = patternImage(6, 6, false, 3);
    Data png = pngOf(image);
    cache->setImage(nullptr, shared(png), "bare", ZVImageCacheTypeDisk);
    for (double screen : {1.0, 2.0, 3.0}) {
        kMainScreenScale.set(screen);
        EXPECT_EQ(cache->getImageForKey("bare", ZVImageCacheTypeDisk)->scale(), screen);
    }
    kMainScreenScale.set(2);
    cache->setImage(image, shared(png), "with-image", ZVImageCacheTypeDisk);
    EXPECT_EQ(cache->getImageForKey("with-image", ZVImageCacheTypeDisk)->scale(), 3);

    // Extended data that is no archive, or an archive of a number no screen
    // has (outside 1/8 to 8; a damaged folder's 5e-324 made an image of
    // endless size), reads as the screen's.
    for (const Data& blob : {Data{1, 2, 3, 4, 5}, ZVImageCache::scaleExtendedData(-2),
                             ZVImageCache::scaleExtendedData(std::nan("")), ZVImageCache::scaleExtendedData(5e-324),
                             ZVImageCache::scaleExtendedData(0.1), ZVImageCache::scaleExtendedData(8.5),
                             ZVImageCache::scaleExtendedData(1e300)}) {
        auto object = CacheObject::make<Data>(png);
        ZVDiskCache::setExtendedData(blob, object);
        cache->diskCache()->setObject(object, "garbage");
        auto read = cache->getImageForKey("garbage", ZVImageCacheTypeDisk);
        EXPECT_EQ(read->scale(), 2);
        EXPECT_TRUE(std::isfinite(read->size().width));
    }
    for (double kept : {0.125, 8.0}) {
        auto object = CacheObject::make<Data>(png);
        ZVDiskCache::setExtendedData(ZVImageCache::scaleExtendedData(kept), object);
        cache->diskCache()->setObject(object, "edge");
        EXPECT_EQ(cache->getImageForKey("edge", ZVImageCacheTypeDisk)->scale(), kept);
    }
}

TEST_F(ImageCacheTest, AnimatedBytesComeBackAnimatedOrAsTheirFirstFrame) {
    cache->setImage(nullptr, shared(twoFrameGIF()), "gif", ZVImageCacheTypeDisk);
    auto animated = std::dynamic_pointer_cast<ZVImage>(cache->getImageForKey("gif", ZVImageCacheTypeDisk));
    ASSERT_NE(animated, nullptr);
    EXPECT_EQ(animated->animatedImageFrameCount(), 2u);

    cache->setAllowAnimatedImage(false);
    auto still = cache->getImageForKey("gif", ZVImageCacheTypeDisk);
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(dynamic_cast<ZVAnimatedImage*>(still.get()), nullptr);
    RGBA8 pixel = still->CGImage()->pixelAt(1, 1);
    EXPECT_EQ(pixel, animated->animatedImageFrameAtIndex(0)->CGImage()->pixelAt(1, 1));
    EXPECT_NE(pixel, animated->animatedImageFrameAtIndex(1)->CGImage()->pixelAt(1, 1));
}

TEST_F(ImageCacheTest, CallbackLookupReportsItsSourceOnTheMainThread) {
    auto image = patternImage(5, 5, true);
    cache->setImage(image, shared(pngOf(image)), "disk", ZVImageCacheTypeDisk);
    ZVImageCoder::setZV_isDecodedForDisplay(*image, true);
    cache->setImage(image, nullptr, "memory", ZVImageCacheTypeMemory);

    struct Case {
        std::string key;
        ZVImageCacheType expected;
    };
    for (const Case& c : {Case{"memory", ZVImageCacheTypeMemory}, Case{"disk", ZVImageCacheTypeDisk},
                          Case{"missing", ZVImageCacheTypeNone}}) {
        bool called = false, onMain = false;
        std::shared_ptr<UIImage> got;
        ZVImageCacheType from = ZVImageCacheTypeAll;
        cache->getImageForKey(c.key, ZVImageCacheTypeAll, [&](std::shared_ptr<UIImage> i, ZVImageCacheType t) {
            called = true, onMain = isMainThread(), got = std::move(i), from = t;
        });
        ASSERT_TRUE(waitFor([&] { return called; })) << c.key;
        EXPECT_TRUE(onMain) << c.key;
        EXPECT_EQ(from, c.expected) << c.key;
        EXPECT_EQ(got != nullptr, c.expected != ZVImageCacheTypeNone) << c.key;
    }
}

TEST_F(ImageCacheTest, CallbackDiskHitCountsItsRealCost) {
    auto image = patternImage(20, 10, true);
    cache->setImage(image, shared(pngOf(image)), "k", ZVImageCacheTypeDisk);
    bool called = false;
    cache->getImageForKey("k", ZVImageCacheTypeAll, [&](auto, auto) { called = true; });
    ASSERT_TRUE(waitFor([&] { return called; }));
    EXPECT_EQ(cache->memoryCache()->totalCost(), 20u * 10u * 4u);
    cache->memoryCache()->trimToCost(100);
    EXPECT_FALSE(cache->containsImageForKey("k", ZVImageCacheTypeMemory));
}

TEST_F(ImageCacheTest, ImageWithoutBytesIsEncodedAsPNGOrJPEG) {
    const Data pngSignature{0x89, 'P', 'N', 'G'}, jpegSignature{0xFF, 0xD8, 0xFF};
    cache->setImage(patternImage(8, 8, true), nullptr, "alpha", ZVImageCacheTypeDisk);
    cache->setImage(patternImage(8, 8, false), nullptr, "opaque", ZVImageCacheTypeDisk);
    ASSERT_TRUE(waitFor([&] { return cache->diskCache()->totalCount() == 2; }));
    auto alpha = cache->getImageDataForKey("alpha"), opaque = cache->getImageDataForKey("opaque");
    EXPECT_TRUE(std::equal(pngSignature.begin(), pngSignature.end(), alpha->begin()));
    EXPECT_TRUE(std::equal(jpegSignature.begin(), jpegSignature.end(), opaque->begin()));
}

TEST_F(ImageCacheTest, ImageWithoutBytesReachesMemoryDecodedAndBytesAloneDecodeThere) {
    auto image = patternImage(8, 8, true);
    cache->setImage(image, nullptr, "image", ZVImageCacheTypeMemory);
    cache->setImage(nullptr, shared(pngOf(image)), "bytes", ZVImageCacheTypeMemory);
    ASSERT_TRUE(waitFor([&] { return cache->memoryCache()->totalCount() == 2; }));
    for (const char* key : {"image", "bytes"}) {
        auto found = cache->getImageForKey(key, ZVImageCacheTypeMemory);
        EXPECT_TRUE(ZVImageCoder::ZV_isDecodedForDisplay(*found)) << key;
        EXPECT_EQ(codingtest::differingPixels(*found->CGImage(), *image->CGImage()), 0) << key;
    }
}

TEST_F(ImageCacheTest, DamagedStoredBytesAreAMiss) {
    // Noise compresses badly: its PNG is over the inline threshold, so it lies in a file.
    std::mt19937 random(7);
    auto bitmap = CGImage::create(100, 100, false);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) bitmap->setPixel(x, y, {uint8_t(random()), uint8_t(random()), uint8_t(random()), 255});
    auto image = UIImage::imageWithCGImage(bitmap);
    Data png = pngOf(image);
    ASSERT_GT(png.size(), ZVDiskCache::kDefaultInlineThreshold);
    cache->setImage(image, shared(png), "file", ZVImageCacheTypeDisk);
    auto files = std::filesystem::directory_iterator(dir.path() / "images" / "data");
    std::filesystem::path valueFile = files->path();
    std::filesystem::resize_file(valueFile, png.size() / 3);
    EXPECT_EQ(cache->getImageForKey("file", ZVImageCacheTypeAll), nullptr);

    Data noise(4096);
    for (auto& b : noise) b = uint8_t(random());
    cache->setImage(nullptr, shared(noise), "noise", ZVImageCacheTypeDisk);
    EXPECT_EQ(cache->getImageForKey("noise", ZVImageCacheTypeAll), nullptr);
}

TEST(ImageCacheCost, BitmapBytesOrOne) {
    UIImage empty(nullptr, 1, UIImageOrientation::Up);
    EXPECT_EQ(ZVImageCache::imageCost(&empty), 1u);
    EXPECT_EQ(ZVImageCache::imageCost(nullptr), 1u);
    EXPECT_EQ(ZVImageCache::imageCost(patternImage(10, 3, true).get()), 3u * 40u);
}

}  // namespace
