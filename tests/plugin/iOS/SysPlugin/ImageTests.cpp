// Thumbnails, upright copies and cuts, QR codes made and read back, and the
// page's non-screen image operations writing files.

#include <gtest/gtest.h>

#include "platform/device/PhotoLibrary.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/graphics/ImageIO.h"
#include "plugin/iOS/RAZ5Orered/ImageOperations.h"
#include "plugin/iOS/RAZ5Orered/QRCodeManager.h"
#include "plugin/iOS/RAZ5Orered/UIImage+Handler.h"
#include "plugin/iOS/RAZ5Orered/Utils.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempBundle;
using testsupport::TempHome;

using testsupport::jpegWithOrientation;
using testsupport::quadrants;

bool near(RGBA8 a, RGBA8 b, int tolerance = 24) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance &&
           std::abs(a.a - b.a) <= tolerance;
}
constexpr RGBA8 kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255};


TEST(Thumbnail, GeometryFitsOrFillsWithTiesToTheHeight) {
    struct Case {
        double w, h;
        int W, H;
        bool crop;
        int canvasW, canvasH;
        CGRect draw;
    } cases[] = {
        {400, 200, 100, 100, false, 100, 50, CGRect(0, 0, 100, 50)},
        {400, 200, 100, 100, true, 100, 100, CGRect(-50, 0, 200, 100)},
        {100, 100, 50, 50, false, 50, 50, CGRect(0, 0, 50, 50)},
        {100, 100, 50, 50, true, 50, 50, CGRect(0, 0, 50, 50)},
        {200, 400, 100, 100, true, 100, 100, CGRect(0, -50, 100, 200)},
        {300, 100, 64, 64, false, 64, 21, CGRect(0, 0, 64, 21)},  // 21.33 truncated
        {333, 100, 100, 30, true, 100, 30, CGRect(0, 0, 100, 30)},  // 30.03 truncated, tie broken by truncation
        // A sliver: the computed side would be 0; it stays one pixel.
        {10000, 1, 100, 100, false, 100, 1, CGRect(0, 0, 100, 1)},
    };
    for (auto& c : cases) {
        auto g = Utils::ThumbnailGeometryFor(c.w, c.h, c.W, c.H, c.crop);
        EXPECT_EQ(g.canvasWidth, c.canvasW) << c.w << "x" << c.h << " crop " << c.crop;
        EXPECT_EQ(g.canvasHeight, c.canvasH) << c.w << "x" << c.h << " crop " << c.crop;
        EXPECT_EQ(g.drawRect, c.draw) << c.w << "x" << c.h << " crop " << c.crop;
    }
}

TEST(Thumbnail, CropShowsTheMiddleAndCircleClipsTheCorners) {
    // 400 × 200: left half red, right half green; the middle 200 × 200
    // becomes a 100 × 100 thumbnail half red, half green.
    auto src = CGImage::create(400, 200, false);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x) src->setPixel(x, y, x < 200 ? kRed : kGreen);
    auto image = UIImage::imageWithCGImage(src);
    auto thumb = Utils::GetThumbnail(image, 100, 100, true, false, false);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->CGImage()->width(), 100);
    EXPECT_EQ(thumb->CGImage()->height(), 100);
    EXPECT_TRUE(near(thumb->CGImage()->pixelAt(10, 50), kRed));
    EXPECT_TRUE(near(thumb->CGImage()->pixelAt(90, 50), kGreen));

    auto fit = Utils::GetThumbnail(image, 100, 100, false, false, false);
    EXPECT_EQ(fit->CGImage()->width(), 100);
    EXPECT_EQ(fit->CGImage()->height(), 50);

    auto circle = Utils::GetThumbnail(image, 100, 100, true, true, true);
    EXPECT_TRUE(circle->CGImage()->hasAlpha());
    EXPECT_EQ(circle->CGImage()->pixelAt(1, 1).a, 0) << "outside the ellipse stays transparent";
    EXPECT_EQ(circle->CGImage()->pixelAt(50, 50).a, 255);
    auto opaque = Utils::GetThumbnail(image, 100, 100, true, true, false);
    EXPECT_FALSE(opaque->CGImage()->hasAlpha());

    EXPECT_FALSE(Utils::GetThumbnail(image, 0, 100, false, false, false));
    EXPECT_FALSE(Utils::GetThumbnail(nullptr, 10, 10, false, false, false));
}

TEST(ImageHandler, FixOrientationTurnsPixelsUpright) {
    auto bitmap = quadrants(4, 2);
    auto upright = UIImage::imageWithCGImage(bitmap);
    EXPECT_EQ(Handler::fixOrientation(upright), upright) << "an upright image is the same object";

    // Stored sideways (right): displayed rotated a quarter turn clockwise,
    // so the stored top-left (red) shows at the top-right.
    auto sideways = UIImage::imageWithCGImage(bitmap, 1, UIImageOrientation::Right);
    auto fixed = Handler::fixOrientation(sideways);
    ASSERT_TRUE(fixed);
    EXPECT_NE(fixed, sideways);
    EXPECT_EQ(fixed->imageOrientation(), UIImageOrientation::Up);
    ASSERT_EQ(fixed->CGImage()->width(), 2);
    ASSERT_EQ(fixed->CGImage()->height(), 4);
    EXPECT_EQ(fixed->CGImage()->pixelAt(1, 0), kRed);
    EXPECT_EQ(fixed->CGImage()->pixelAt(0, 0), kBlue);
    EXPECT_EQ(fixed->CGImage()->pixelAt(1, 3), kGreen);
    EXPECT_EQ(fixed->CGImage()->pixelAt(0, 3), kWhite);

    // Mirrored up: only flipped left to right.
    auto mirrored = Handler::fixOrientation(UIImage::imageWithCGImage(bitmap, 1, UIImageOrientation::UpMirrored));
    ASSERT_EQ(mirrored->CGImage()->width(), 4);
    EXPECT_EQ(mirrored->CGImage()->pixelAt(0, 0), kGreen);
    EXPECT_EQ(mirrored->CGImage()->pixelAt(3, 0), kRed);
    EXPECT_EQ(mirrored->CGImage()->pixelAt(0, 1), kWhite);

    // A 2× image comes back with one pixel per point.
    auto retina = Handler::fixOrientation(UIImage::imageWithCGImage(quadrants(8, 4), 2, UIImageOrientation::Down));
    EXPECT_EQ(retina->CGImage()->width(), 4);
    EXPECT_EQ(retina->scale(), 1);
}

TEST(ImageHandler, ImageAtRectCutsFromTheUprightImage) {
    // A photo 300 × 400 as displayed, stored sideways: the top square of
    // what the player saw.
    auto stored = quadrants(400, 300);
    auto photo = UIImage::imageWithCGImage(stored, 1, UIImageOrientation::Right);
    ASSERT_EQ(photo->size(), CGSize(300, 400));
    auto top = Handler::imageAtRect(photo, CGRect(0, 0, 300, 300));
    ASSERT_TRUE(top);
    EXPECT_EQ(top->CGImage()->width(), 300);
    EXPECT_EQ(top->CGImage()->height(), 300);
    EXPECT_TRUE(near(top->CGImage()->pixelAt(280, 20), kRed));
    EXPECT_TRUE(near(top->CGImage()->pixelAt(20, 20), kBlue));
    EXPECT_FALSE(Handler::imageAtRect(photo, CGRect(500, 500, 10, 10)));
    auto clamped = Handler::imageAtRect(photo, CGRect(250, 350, 100, 100));
    EXPECT_EQ(clamped->CGImage()->width(), 50);
}

TEST(QRCode, CodesAreSharpAndReadBack) {
    auto code = QRCodeManager::CreateQRCode(std::string("https://example.com/?q=1"), 256);
    ASSERT_TRUE(code);
    const auto& bmp = *code->CGImage();
    EXPECT_LE(bmp.width(), 256);
    EXPECT_GT(bmp.width(), 240);
    // Only black and white: no smoothing between modules.
    for (int y = 0; y < bmp.height(); y += 3)
        for (int x = 0; x < bmp.width(); x += 3) {
            RGBA8 p = bmp.pixelAt(x, y);
            ASSERT_TRUE(p == RGBA8({0, 0, 0, 255}) || p == kWhite) << x << "," << y;
        }
    EXPECT_EQ(QRCodeManager::ReadQRCode(*code), "https://example.com/?q=1");
    EXPECT_FALSE(QRCodeManager::CreateQRCode(std::nullopt, 256));
    EXPECT_FALSE(QRCodeManager::ReadQRCode(*UIImage::imageWithCGImage(quadrants(64, 64))));
}

TEST(QRCode, TheLastCodeOfSeveralIsRead) {
    auto a = QRCodeManager::CreateQRCode(std::string("first"), 200);
    auto b = QRCodeManager::CreateQRCode(std::string("second"), 200);
    auto ctx = CGContext::bitmap(CGSize(440, 220), true, 1);
    ctx->setFillColor(UIColor::whiteColor());
    ctx->fillRect(CGRect(0, 0, 440, 220));
    a->drawInRect(*ctx, CGRect(10, 10, 200, 200));
    b->drawInRect(*ctx, CGRect(230, 10, 200, 200));
    auto both = UIImage::imageWithCGImage(ctx->makeImage());
    auto read = QRCodeManager::ReadQRCode(*both);
    ASSERT_TRUE(read);
    EXPECT_TRUE(*read == "first" || *read == "second");
}

class ImageFiles : public ::testing::Test {
protected:
    TempHome home;
    TempBundle bundle;
    fs::path docs = AppHome::documents();
    std::string json(const Value& v) { return v.toJSON(); }
};

TEST_F(ImageFiles, QRCodeFilesReadBackWithAndWithoutALogo) {
    // Hostile and non-Latin texts come back byte for byte.
    const std::string text = "二维码 \"quotes\" \\ </script> \u2028 end";
    ASSERT_TRUE(ImageOperations::CreateQRCode(json(Value::dict({{"text", text}, {"savePath", (docs / "qr.png").string()}}))));
    auto data = files::readData(docs / "qr.png");
    ASSERT_TRUE(data);
    EXPECT_EQ(imageio::sniff(data->data(), data->size()), imageio::Format::JPEG) << "JPEG whatever the extension";
    auto plain = UIImage::imageWithData(*data);
    EXPECT_EQ(QRCodeManager::ReadQRCode(*plain), text);

    // A 200 × 100 logo is fitted into 64 × 32 and stretched over the middle square.
    auto logo = CGImage::create(200, 100, false);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) logo->setPixel(x, y, RGBA8{200, 30, 30, 255});
    files::writeAtomically(docs / "logo.png", *imageio::encodePNG(*logo));
    ASSERT_TRUE(ImageOperations::CreateQRCode(json(Value::dict({{"text", "https://example.com/logo"},
                                                                  {"savePath", (docs / "qr-logo.jpg").string()},
                                                                  {"imagePath", (docs / "logo.png").string()}}))));
    auto withLogo = UIImage::imageWithContentsOfFile(docs / "qr-logo.jpg");
    ASSERT_TRUE(withLogo);
    EXPECT_EQ(withLogo->CGImage()->width(), 256);
    EXPECT_EQ(withLogo->CGImage()->height(), 256);
    EXPECT_TRUE(near(withLogo->CGImage()->pixelAt(97, 97), RGBA8{200, 30, 30, 255}, 40));
    EXPECT_TRUE(near(withLogo->CGImage()->pixelAt(158, 158), RGBA8{200, 30, 30, 255}, 40));
    EXPECT_FALSE(near(withLogo->CGImage()->pixelAt(128, 90), RGBA8{200, 30, 30, 255}, 40));
    EXPECT_EQ(QRCodeManager::ReadQRCode(*withLogo), "https://example.com/logo");

    // A missing logo file gives the plain code.
    ASSERT_TRUE(ImageOperations::CreateQRCode(json(Value::dict({{"text", "plain"},
                                                                  {"savePath", (docs / "qr2.jpg").string()},
                                                                  {"imagePath", (docs / "none.png").string()}}))));
    EXPECT_EQ(QRCodeManager::ReadQRCode(*UIImage::imageWithContentsOfFile(docs / "qr2.jpg")), "plain");
}

TEST_F(ImageFiles, BadQRCodeArgumentsWriteNothing) {
    for (const std::string& bad : {std::string("not json"), json(Value::dict({{"text", ""}, {"savePath", (docs / "x").string()}})),
                                   json(Value::dict({{"text", "t"}})),
                                   json(Value::dict({{"text", "t"}, {"savePath", "/etc/qr.jpg"}})),
                                   json(Value::dict({{"text", 5}, {"savePath", (docs / "x").string()}}))}) {
        EXPECT_FALSE(ImageOperations::CreateQRCode(bad)) << bad;
    }
    EXPECT_FALSE(ImageOperations::CreateQRCode(std::nullopt));
    EXPECT_FALSE(fs::exists(docs / "x"));
}

TEST_F(ImageFiles, ThumbnailsFollowTheAlphaFlagAndTheEXIFOrientation) {
    files::writeAtomically(docs / "photo.jpg", jpegWithOrientation(*quadrants(400, 200), 6));
    auto base = Value::dict({{"sourcePath", (docs / "photo.jpg").string()}, {"width", 100}, {"height", 100}});

    auto jpeg = base;
    jpeg.set("savePath", (docs / "thumb.png").string());  // the extension does not decide
    ASSERT_TRUE(ImageOperations::SaveThumbnail(json(jpeg)));
    auto data = *files::readData(docs / "thumb.png");
    EXPECT_EQ(imageio::sniff(data.data(), data.size()), imageio::Format::JPEG);
    auto thumb = UIImage::imageWithData(data);
    // Shown upright the photo is 200 × 400, so the fitted thumbnail is 50 × 100.
    EXPECT_EQ(thumb->size(), CGSize(50, 100));
    EXPECT_TRUE(near(thumb->CGImage()->pixelAt(40, 10), kRed, 40)) << "stored top-left shows at the top-right";

    auto png = base;
    png.set("savePath", (docs / "thumb.jpg").string());
    png.set("alpha", true);
    png.set("crop", true);
    png.set("circle", true);
    ASSERT_TRUE(ImageOperations::SaveThumbnail(json(png)));
    data = *files::readData(docs / "thumb.jpg");
    EXPECT_EQ(imageio::sniff(data.data(), data.size()), imageio::Format::PNG);
    auto round = UIImage::imageWithData(data);
    EXPECT_EQ(round->size(), CGSize(100, 100));
    EXPECT_EQ(round->CGImage()->pixelAt(0, 0).a, 0);

    // Sizes follow the one pixel budget of every bitmap: a long strip is
    // fine, 8193 × 8193 is beyond it.
    auto strip = base;
    strip.set("savePath", (docs / "strip.jpg").string());
    strip.set("crop", true);
    strip.set("width", 20000);
    strip.set("height", 3);
    ASSERT_TRUE(ImageOperations::SaveThumbnail(json(strip)));
    EXPECT_EQ(UIImage::imageWithContentsOfFile(docs / "strip.jpg")->size(), CGSize(20000, 3));

    // Unusable arguments write nothing.
    for (auto [key, value] : {std::pair<const char*, Value>{"width", 0}, {"height", -3}, {"width", 8193},
                              {"sourcePath", ""},
                              {"sourcePath", (docs / "missing.jpg").string()}, {"savePath", ""},
                              {"savePath", "/tmp/escape.jpg"}}) {
        auto bad = base;
        bad.set("savePath", (docs / "bad.jpg").string());
        bad.set("height", 8193);
        bad.set(key, value);
        EXPECT_FALSE(ImageOperations::SaveThumbnail(json(bad))) << key;
    }
    EXPECT_FALSE(fs::exists(docs / "bad.jpg"));
    EXPECT_FALSE(fs::exists("/tmp/escape.jpg"));
}

TEST_F(ImageFiles, SavedPhotosGetFreshNamesAndStandUpright) {
    PhotoLibrary::setFolder(home.path() / "Pictures");
    files::writeAtomically(docs / "p.jpg", jpegWithOrientation(*quadrants(40, 20), 6));
    files::writeAtomically(docs / "a.png", *imageio::encodePNG(*quadrants(8, 8, true)));
    ASSERT_TRUE(ImageOperations::SaveImageToPhotoAlbum((docs / "p.jpg").string()));
    ASSERT_TRUE(ImageOperations::SaveImageToPhotoAlbum((docs / "p.jpg").string()));
    ASSERT_TRUE(ImageOperations::SaveImageToPhotoAlbum((docs / "a.png").string()));
    EXPECT_TRUE(fs::exists(home.path() / "Pictures/IMG_0001.JPG"));
    EXPECT_TRUE(fs::exists(home.path() / "Pictures/IMG_0002.JPG"));
    EXPECT_TRUE(fs::exists(home.path() / "Pictures/IMG_0003.PNG"));
    auto saved = UIImage::imageWithContentsOfFile(home.path() / "Pictures/IMG_0001.JPG");
    EXPECT_EQ(saved->imageOrientation(), UIImageOrientation::Up);
    EXPECT_EQ(saved->size(), CGSize(20, 40)) << saved->size().width << "x" << saved->size().height;

    EXPECT_FALSE(ImageOperations::SaveImageToPhotoAlbum((docs / "none.jpg").string()));
    EXPECT_FALSE(ImageOperations::SaveImageToPhotoAlbum(std::nullopt));
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path() / "Pictures"), fs::directory_iterator()), 3);
    PhotoLibrary::setFolder("");
}

}  // namespace
