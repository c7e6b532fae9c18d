#include <gtest/gtest.h>

#include "CodingTestSupport.h"
#include "imagecache/ZVImage.h"
#include "imagecache/ZVImageCoder.h"
#include "imagecache/ZVImageScale.h"
#include "platform/device/PhotoLibrary.h"
#include "platform/foundation/Files.h"
#include "platform/graphics/ImageIO.h"
#include "support/TestSupport.h"

namespace {

std::string str(const Data& d) { return std::string(d.begin(), d.end()); }

Data pngOf(int side, uint32_t seed, bool alpha = false) { return *imageio::encodePNG(*codingtest::pattern(side, side, seed, alpha)); }

// Three frames of 4 × 4 with delays of 0.01, 0.02 and 0.5 s.
Data threeFrameGIF() {
    std::vector<codingtest::GIFFrame> frames;
    for (int i = 0; i < 3; ++i) frames.push_back({0, 0, 4, 4, std::vector<uint8_t>(16, uint8_t(i + 1)), -1, 1, i == 2 ? 50 : i + 1});
    return codingtest::buildGIF(4, 4, frames, 0);
}

TEST(ImageScale, FileNamesStateTheScale) {
    struct Case {
        const char* path;
        double scale;
    } cases[] = {{"bg@1.5x", 1},  // the match must start at 3 or later
                 {"icon@2x.png", 2},  {"img/bg@1.5x.jpg", 1.5}, {"@2x", 1},        {"@2x.png", 1},
                 {"icon@0x.png", 1},  {"ab@3x", 1},         {"abc@3x", 3},     {"dir/logo@3x.gif", 3},
                 {"a@2x.b/c", 1},     {"big@2.x.png", 2},   {"x@2xy.png", 1},  {"", 1},
                 {"dir/", 1},         {"one@2x\ntwo", 2},   {"s@9e99x", 1},    {"s@1e999999999999999999999999999999x", 1}};
    for (auto& c : cases) EXPECT_DOUBLE_EQ(ZVImageScaleFromPath(c.path), c.scale) << c.path;
}

TEST(AnimatedImages, ImageNamedPrefersTheScreensScale) {
    testsupport::TempBundle bundle;
    bundle.writeFile("logo@2x.png", str(pngOf(8, 1)));
    bundle.writeFile("logo.png", str(pngOf(4, 2)));
    bundle.writeFile("only@3x.gif", str(threeFrameGIF()));
    struct Case {
        double screen;
        const char* name;
        double scale;
        int pixels;
    } cases[] = {{2, "logo", 2, 8}, {1, "logo", 1, 4}, {3, "logo.png", 2, 8}, {2, "only", 3, 4}, {1, "only.gif", 3, 4}};
    for (auto& c : cases) {
        kMainScreenScale.set(c.screen);
        auto image = ZVImage::imageNamed(c.name);
        ASSERT_TRUE(image) << c.name << " at " << c.screen;
        EXPECT_EQ(image->scale(), c.scale) << c.name << " at " << c.screen;
        EXPECT_EQ(image->CGImage()->width(), c.pixels) << c.name;
    }
    kMainScreenScale.set(2);
    EXPECT_FALSE(ZVImage::imageNamed("missing"));
    EXPECT_FALSE(ZVImage::imageNamed("dir/"));
}

TEST(AnimatedImages, StillAndAnimatedImagesAnswerAsPromised) {
    auto still = ZVImage::imageWithData(pngOf(6, 1), 1);
    ASSERT_TRUE(still);
    EXPECT_EQ(still->animatedImageFrameCount(), 0u);
    EXPECT_FALSE(still->animatedImageData());
    EXPECT_EQ(still->animatedImageMemorySize(), 0u);
    EXPECT_EQ(still->size().width, 6);
    EXPECT_TRUE(ZVImageCoder::ZV_isDecodedForDisplay(*still));

    auto gif = ZVImage::imageWithData(threeFrameGIF(), 2);
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->animatedImageType(), ZVImageType::GIF);
    EXPECT_EQ(gif->animatedImageFrameCount(), 3u);
    EXPECT_EQ(gif->size().width, 2);  // 4 pixels at scale 2
    EXPECT_DOUBLE_EQ(gif->animatedImageDurationAtIndex(0), 0.1);   // 0.01 plays as 0.1
    EXPECT_DOUBLE_EQ(gif->animatedImageDurationAtIndex(1), 0.02);  // stays
    EXPECT_EQ(gif->animatedImageMemorySize(), 3 * gif->animatedImageBytesPerFrame());
    EXPECT_FALSE(gif->animatedImageFrameAtIndex(3));
    EXPECT_EQ(gif->animatedImageFrameAtIndex(2)->CGImage()->pixelAt(0, 0),
              codingtest::slurpAndCompose(threeFrameGIF())[2]->pixelAt(0, 0));
    EXPECT_FALSE(ZVImage::imageWithData(Data{1, 2, 3}, 1));
}

TEST(AnimatedImages, PreloadingOffReleasesTheFrames) {
    auto gif = ZVImage::imageWithData(threeFrameGIF(), 1);
    gif->setPreloadAllAnimatedImageFrames(true);
    EXPECT_TRUE(gif->preloadAllAnimatedImageFrames());
    std::weak_ptr<UIImage> frame = gif->animatedImageFrameAtIndex(1);
    EXPECT_EQ(frame.lock(), gif->animatedImageFrameAtIndex(1));  // the same preloaded image
    gif->setPreloadAllAnimatedImageFrames(false);
    EXPECT_FALSE(gif->preloadAllAnimatedImageFrames());
    EXPECT_TRUE(frame.expired());
    EXPECT_TRUE(gif->animatedImageFrameAtIndex(1));  // decoded on request again
}

TEST(AnimatedImages, FrameImagesNeedMatchingLists) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "a@2x.png", str(pngOf(4, 1)));
    testsupport::writeFile(dir / "b@2x.png", str(pngOf(4, 2)));
    std::vector<std::string> paths = {(dir / "a@2x.png").string(), (dir / "b@2x.png").string()};
    EXPECT_FALSE(ZVFrameImage::imageWithImagePaths(paths, std::vector<double>{0.1}, 0));
    EXPECT_FALSE(ZVFrameImage::imageWithImagePaths({}, std::vector<double>{}, 0));
    EXPECT_FALSE(ZVFrameImage::imageWithImageDataArray({pngOf(4, 1)}, std::vector<double>{0.1, 0.2}, 0));
    auto frames = ZVFrameImage::imageWithImagePaths(paths, 0.005, 2);
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->scale(), 2);
    EXPECT_EQ(frames->animatedImageFrameCount(), 2u);
    EXPECT_DOUBLE_EQ(frames->animatedImageDurationAtIndex(1), 0.005);  // no minimum here
    EXPECT_EQ(frames->animatedImageFrameAtIndex(1)->CGImage()->pixelAt(3, 3), codingtest::pattern(4, 4, 2, false)->pixelAt(3, 3));
    EXPECT_FALSE(frames->animatedImageFrameAtIndex(2));
}

TEST(AnimatedImages, SpriteRectanglesBecomeUnitContentsRectangles) {
    UIImage sheet(codingtest::pattern(100, 100, 1, false), 1, UIImageOrientation::Up);
    auto sprites = ZVSpriteSheetImage::imageWithSpriteSheetImage(
        sheet, {CGRect(10, 10, 50, 50), CGRect(200, 200, 10, 10)}, {0.1, 0.2}, 0);
    ASSERT_TRUE(sprites);
    CGRect r = sprites->contentsRectForCALayerAtIndex(0);
    EXPECT_DOUBLE_EQ(r.minX(), 0.1);
    EXPECT_DOUBLE_EQ(r.width(), 0.5);
    EXPECT_EQ(sprites->contentsRectForCALayerAtIndex(1), CGRect(0, 0, 1, 1));  // wholly outside
    EXPECT_EQ(sprites->contentsRectForCALayerAtIndex(5), CGRect(0, 0, 1, 1));
    EXPECT_EQ(sprites->animatedImageFrameAtIndex(1).get(), sprites.get());
    EXPECT_TRUE(ZVImageCoder::ZV_isDecodedForDisplay(*sprites));
    EXPECT_FALSE(ZVSpriteSheetImage::imageWithSpriteSheetImage(sheet, {CGRect(0, 0, 1, 1)}, {0.1, 0.2}, 0));
    auto five = UIImage::animatedImageWithImages(std::vector<std::shared_ptr<UIImage>>(5, std::make_shared<UIImage>(sheet)), 1);
    EXPECT_TRUE(ZVImageCoder::ZV_isDecodedForDisplay(*five));
    EXPECT_FALSE(ZVImageCoder::ZV_isDecodedForDisplay(sheet));
}

TEST(AnimatedImages, ArchivesRoundTrip) {
    auto gif = ZVImage::imageWithData(threeFrameGIF(), 2);
    auto back = ZVImage::imageWithArchivedData(gif->archivedData());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->scale(), 2);
    EXPECT_EQ(back->animatedImageFrameCount(), 3u);
    EXPECT_EQ(*back->animatedImageData(), threeFrameGIF());
    auto still = ZVImage::imageWithData(pngOf(5, 3, true), 3);
    auto stillBack = ZVImage::imageWithArchivedData(still->archivedData());
    ASSERT_TRUE(stillBack);
    EXPECT_EQ(stillBack->scale(), 3);
    EXPECT_EQ(codingtest::differingPixels(*stillBack->CGImage(), *still->CGImage()), 0);
    EXPECT_FALSE(ZVImage::imageWithArchivedData(Data{1, 2, 3}));
}

TEST(AnimatedImages, GIFBytesAreKeptForStorageAndTheAlbum) {
    testsupport::TempDir album;
    PhotoLibrary::setFolder(album.path());
    auto gif = ZVImage::imageWithData(threeFrameGIF(), 1);
    EXPECT_EQ(ZVImageCoder::ZV_imageDataRepresentation(*gif), threeFrameGIF());
    std::string url;
    bool done = false;
    ZVImageCoder::ZV_saveToAlbumWithCompletionBlock(gif, [&](const std::string& u, const std::optional<Error>& e) {
        url = u, done = true;
        EXPECT_FALSE(e);
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return done; }));
    EXPECT_EQ(url, "file://" + (album / "IMG_0001.GIF").string());
    EXPECT_EQ(files::readData(album / "IMG_0001.GIF"), threeFrameGIF());
    // A still is encoded anew: JPEG when opaque, PNG with alpha.
    auto opaque = ZVImage::imageWithData(pngOf(6, 1), 1), alpha = ZVImage::imageWithData(pngOf(6, 2, true), 1);
    auto a = *ZVImageCoder::ZV_imageDataRepresentation(*opaque), b = *ZVImageCoder::ZV_imageDataRepresentation(*alpha);
    EXPECT_EQ(imageio::sniff(a.data(), a.size()), imageio::Format::JPEG);
    EXPECT_EQ(imageio::sniff(b.data(), b.size()), imageio::Format::PNG);
    PhotoLibrary::setFolder("");
}

}  // namespace
