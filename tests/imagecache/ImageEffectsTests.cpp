#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "CodingTestSupport.h"
#include "imagecache/UIImageZVWebImage.h"
#include "platform/ui/UIView.h"
#include "support/TestSupport.h"

namespace {

using namespace ZVWebImage;

const RGBA8 kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255};

// Quadrants red (top left), green (top right), blue (bottom left), white.
std::shared_ptr<UIImage> fourColours(int w, int h, double scale = 1) {
    auto bitmap = CGImage::create(w, h, true);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bitmap->setPixel(x, y, y < h / 2 ? (x < w / 2 ? kRed : kGreen) : (x < w / 2 ? kBlue : kWhite));
    return UIImage::imageWithCGImage(bitmap, scale);
}

RGBA8 at(const std::shared_ptr<UIImage>& image, int x, int y) { return image->CGImage()->pixelAt(x, y); }

// Colours near the four corners: top left, top right, bottom left, bottom right.
std::vector<RGBA8> corners(const std::shared_ptr<UIImage>& image) {
    int w = image->CGImage()->width(), h = image->CGImage()->height();
    return {at(image, 1, 1), at(image, w - 2, 1), at(image, 1, h - 2), at(image, w - 2, h - 2)};
}

TEST(ImageEffects, RotationsAndFlipsMovePixels) {
    auto image = fourColours(100, 50);
    struct Case {
        const char* name;
        std::shared_ptr<UIImage> (*effect)(const UIImage&);
        int w, h;
        std::vector<RGBA8> corners;
    };
    const Case cases[] = {
        {"left 90", ZV_imageByRotateLeft90, 50, 100, {kGreen, kWhite, kRed, kBlue}},
        {"right 90", ZV_imageByRotateRight90, 50, 100, {kBlue, kRed, kWhite, kGreen}},
        {"180", ZV_imageByRotate180, 100, 50, {kWhite, kBlue, kGreen, kRed}},
        {"flip vertical", ZV_imageByFlipVertical, 100, 50, {kBlue, kWhite, kRed, kGreen}},
        {"flip horizontal", ZV_imageByFlipHorizontal, 100, 50, {kGreen, kRed, kWhite, kBlue}},
    };
    for (const auto& c : cases) {
        auto out = c.effect(*image);
        ASSERT_NE(out, nullptr) << c.name;
        EXPECT_EQ(out->CGImage()->width(), c.w) << c.name;
        EXPECT_EQ(out->CGImage()->height(), c.h) << c.name;
        EXPECT_EQ(corners(out), c.corners) << c.name;
    }
}

TEST(ImageEffects, HugeCanvasesAreRefused) {
    auto image = fourColours(4, 4);
    EXPECT_EQ(ZV_imageByInsetEdge(*image, {-1e6, -1e6, -1e6, -1e6}, nullptr), nullptr);
    auto strip = UIImage::imageWithCGImage(CGImage::create(30000, 2, true));
    EXPECT_EQ(ZV_imageByRotate(*strip, M_PI_4, true), nullptr);
}

TEST(ImageEffects, CropIsIntersectedWithTheBitmap) {
    auto image = fourColours(100, 50, 2);  // 50 × 25 points
    auto partly = ZV_imageByCropToRect(*image, CGRect(40, 20, 20, 10));
    ASSERT_NE(partly, nullptr);
    EXPECT_EQ(partly->size(), CGSizeMake(10, 5));
    EXPECT_EQ(at(partly, 0, 0), kWhite);
    EXPECT_EQ(ZV_imageByCropToRect(*image, CGRect(0, 0, 10, 5))->size(), CGSizeMake(10, 5));
    EXPECT_EQ(ZV_imageByCropToRect(*image, CGRect(60, 0, 10, 10)), nullptr);
    EXPECT_EQ(ZV_imageByCropToRect(*image, CGRect(0, 0, 0, 10)), nullptr);
}

TEST(ImageEffects, NegativeInsetsAddAColouredFrame) {
    auto red = UIColor::redColor();
    auto out = ZV_imageByInsetEdge(*fourColours(100, 50), {-10, -10, -10, -10}, &red);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->CGImage()->width(), 120);
    EXPECT_EQ(out->CGImage()->height(), 70);
    // The frame is 10 wide on every side; the picture starts right inside it.
    EXPECT_EQ(at(out, 9, 40), kRed);
    EXPECT_EQ(at(out, 10, 40), kBlue);
    EXPECT_EQ(at(out, 110, 12), kRed);
    EXPECT_EQ(at(out, 109, 12), kGreen);
    EXPECT_EQ(at(out, 60, 69), kRed);
    EXPECT_EQ(at(out, 60, 59), kWhite);
}

TEST(ImageEffects, RoundedCornersAndBorders) {
    auto image = fourColours(100, 50);
    auto round = ZV_imageByRoundCornerRadius(*image, 10);
    ASSERT_NE(round, nullptr);
    for (auto [x, y] : {std::pair{0, 0}, {99, 0}, {0, 49}, {99, 49}, {1, 1}}) EXPECT_EQ(at(round, x, y).a, 0) << x << "," << y;
    for (auto [x, y] : {std::pair{50, 0}, {0, 25}, {99, 25}, {50, 49}}) EXPECT_EQ(at(round, x, y).a, 255) << x << "," << y;

    auto black = UIColor::blackColor();
    auto bordered = ZV_imageByRoundCornerRadius(*image, 10, 4, &black);
    EXPECT_EQ(at(bordered, 40, 4).r, 0);  // the stroke, over the red quadrant
    EXPECT_EQ(at(bordered, 40, 8), kRed);

    auto gone = ZV_imageByRoundCornerRadius(*image, 10, 25, &black);
    for (int x = 0; x < 100; x += 7) EXPECT_EQ(at(gone, x, 25).a, 0);
}

TEST(ImageEffects, TintKeepsTheColourWhereOpaque) {
    auto bitmap = CGImage::create(10, 10, true);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 5; ++x) bitmap->setPixel(x, y, kGreen);
    auto out = ZV_imageByTintColor(*UIImage::imageWithCGImage(bitmap), UIColor::blueColor());
    EXPECT_EQ(at(out, 2, 5), kBlue);
    EXPECT_EQ(at(out, 7, 5).a, 0);
}

TEST(ImageEffects, ContentModesPlaceTheImage) {
    const CGRect r(10, 20, 100, 50);
    const CGSize s{40, 10};
    using M = UIViewContentMode;
    const std::pair<M, CGRect> cases[] = {
        {M::ScaleToFill, r},
        {M::ScaleAspectFit, {10, 32.5, 100, 25}},
        {M::ScaleAspectFill, {-40, 20, 200, 50}},
        {M::Redraw, r},
        {M::Center, {40, 40, 40, 10}},
        {M::Top, {40, 20, 40, 10}},
        {M::Bottom, {40, 60, 40, 10}},
        {M::Left, {10, 40, 40, 10}},
        {M::Right, {70, 40, 40, 10}},
        {M::TopLeft, {10, 20, 40, 10}},
        {M::TopRight, {70, 20, 40, 10}},
        {M::BottomLeft, {10, 60, 40, 10}},
        {M::BottomRight, {70, 60, 40, 10}},
    };
    for (const auto& [mode, expected] : cases) EXPECT_EQ(ZVRectForContentMode(r, s, mode), expected) << int(mode);
    EXPECT_TRUE(ZVRectForContentMode(r, {0.001, 10}, M::ScaleAspectFit).isEmpty());
    // A tall image fitted into a wide rect is scaled by height.
    EXPECT_EQ(ZVRectForContentMode(CGRect(0, 0, 100, 50), {10, 20}, M::ScaleAspectFit), CGRect(37.5, 0, 25, 50));

    auto resized = ZV_imageByResizeToSize(*fourColours(40, 10), {100, 50}, M::ScaleAspectFit);
    EXPECT_EQ(resized->size(), CGSizeMake(100, 50));
    EXPECT_EQ(at(resized, 5, 10).a, 0);
    EXPECT_EQ(at(resized, 5, 20), kRed);
}

TEST(ImageEffects, ColourImages) {
    EXPECT_EQ(ZV_imageWithColor(UIColor::redColor(), {0, 5}), nullptr);
    auto one = ZV_imageWithColor(UIColor::redColor());
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->size(), CGSizeMake(1, 1));
    EXPECT_EQ(at(one, 0, 0), kRed);
}

TEST(ImageEffects, BlurWithoutWorkWrapsTheBitmapAtScaleOne) {
    auto image = fourColours(20, 10, 2);
    auto same = ZV_imageByBlurRadius(*image, 0, nullptr, CGBlendMode::Normal, 1, nullptr);
    EXPECT_EQ(same->CGImage(), image->CGImage());
    EXPECT_EQ(same->scale(), 1);
    EXPECT_EQ(ZV_imageByGrayscale(*image)->scale(), 1);
    EXPECT_EQ(ZV_imageByBlurDark(*image)->scale(), 2);  // tinted: drawn at the image's scale

    testsupport::StderrCapture log;
    auto tiny = fourColours(1, 4, 2);  // half a point wide
    EXPECT_EQ(ZV_imageByBlurLight(*tiny), nullptr);
    EXPECT_NE(log.text().find("UIImage+ZVAdd error: invalid size: (0.50 x 2.00). Both dimensions must be >= 1: "),
              std::string::npos);
}

TEST(ImageEffects, SaturationZeroIsLuminance) {
    auto image = UIImage::imageWithCGImage(codingtest::pattern(32, 16, 3, false));
    auto grey = ZV_imageByGrayscale(*image);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            RGBA8 in = at(image, x, y), out = at(grey, x, y);
            double expected = 0.0722 * in.b + 0.7152 * in.g + 0.2126 * in.r;
            ASSERT_NEAR(out.r, std::lround(expected), 1) << x << "," << y;
            ASSERT_EQ(out.r, out.g);
            ASSERT_EQ(out.g, out.b);
        }
}

// Three box passes in floating point, edges extended, one channel.
std::vector<double> floatBoxes(std::vector<double> v, int w, int h, int kernel, int passes) {
    int r = kernel / 2;
    for (int p = 0; p < passes; ++p) {
        std::vector<double> out(v.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double sum = 0;
                for (int dy = -r; dy <= r; ++dy)
                    for (int dx = -r; dx <= r; ++dx)
                        sum += v[std::clamp(y + dy, 0, h - 1) * w + std::clamp(x + dx, 0, w - 1)];
                out[y * w + x] = sum / (kernel * kernel);
            }
        v = std::move(out);
    }
    return v;
}

TEST(ImageEffects, IntegerBoxBlurMatchesFloatingPoint) {
    const int w = 23, h = 17;
    auto src = CGImage::create(w, h, true), a = CGImage::create(w, h, true), b = CGImage::create(w, h, true);
    std::mt19937 random(5);
    std::vector<double> channel(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t v = uint8_t(random());
            src->setPixel(x, y, {v, v, v, 255});
            channel[y * w + x] = v;
        }
    for (int kernel : {3, 7, 41}) {
        ZVPixelEffects::boxConvolve(*src, *a, kernel);
        ZVPixelEffects::boxConvolve(*a, *b, kernel);
        ZVPixelEffects::boxConvolve(*b, *a, kernel);
        auto expected = floatBoxes(channel, w, h, kernel, 3);
        for (int i = 0; i < w * h; ++i) ASSERT_NEAR(a->pixelAt(i % w, i / w).r, expected[i], 1) << kernel << " at " << i;
    }
}

TEST(ImageEffects, BlurApproximatesAGaussian) {
    // A vertical edge: black left, white right. Three boxes of the kernel the
    // blur picks for radius r have the spread of a Gaussian of sigma r / 2.
    const int w = 200, h = 8, r = 20;
    auto bitmap = CGImage::create(w, h, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bitmap->setPixel(x, y, x < w / 2 ? RGBA8{0, 0, 0, 255} : kWhite);
    auto blurred = ZV_imageByBlurRadius(*UIImage::imageWithCGImage(bitmap), r, nullptr, CGBlendMode::Normal, 1, nullptr);
    const double sigma = r / 2.0;
    double worst = 0;
    for (int x = 0; x < w; ++x) {
        double gaussian = 255 * 0.5 * std::erfc(-(x + 0.5 - w / 2.0) / (sigma * std::sqrt(2.0)));
        worst = std::max(worst, std::fabs(at(blurred, x, h / 2).r - gaussian));
    }
    EXPECT_LT(worst, 6.0);  // of 255 levels
}

TEST(ImageEffects, GIFFramesRepeatByTheirDelays) {
    auto frame = [](uint8_t index, int delay) { return codingtest::GIFFrame{0, 0, 2, 2, {index, index, index, index}, -1, 0, delay}; };
    auto gif = ZV_imageWithSmallGIFData(codingtest::buildGIF(2, 2, {frame(0, 10), frame(1, 20)}), 2);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(gif->images().size(), 3u);
    EXPECT_NE(gif->images()[0], gif->images()[1]);
    EXPECT_EQ(gif->images()[1], gif->images()[2]);
    EXPECT_NEAR(gif->duration(), 0.3, 1e-9);
    EXPECT_EQ(gif->images()[0]->scale(), 2);

    auto fast = ZV_imageWithSmallGIFData(codingtest::buildGIF(2, 2, {frame(0, 1), frame(1, 1)}), 1);
    EXPECT_NEAR(fast->duration(), 0.2, 1e-9);

    auto still = ZV_imageWithSmallGIFData(codingtest::buildGIF(2, 2, {frame(0, 10)}), 1);
    ASSERT_NE(still, nullptr);
    EXPECT_TRUE(still->images().empty());

    // 1,000 frames of a 512 × 512 canvas would decode to 1 GiB.
    std::vector<codingtest::GIFFrame> many(1000, codingtest::GIFFrame{0, 0, 1, 1, {0}, -1, 0, 10});
    EXPECT_EQ(ZV_imageWithSmallGIFData(codingtest::buildGIF(512, 512, many), 1), nullptr);
    EXPECT_EQ(ZV_imageWithSmallGIFData(Data{'G', 'I', 'F'}, 1), nullptr);
}

}  // namespace
