// The crop view and its furniture, headless: the layout rules with exact
// numbers, the gestures' limits, and what the overlays draw, by pixels.

#include <gtest/gtest.h>

#include "../../../platform/ui/UITestSupport.h"
#include "platform/ui/UIEventInjection.h"
#include "plugin/iOS/RAZ5Orered/CropImage/CRImageView.h"

namespace {

std::shared_ptr<UIImage> plainImage(int w, int h) {
    auto bitmap = CGImage::create(w, h, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bitmap->setPixel(x, y, RGBA8{uint8_t(x % 256), uint8_t(y % 256), 90, 255});
    return UIImage::imageWithCGImage(bitmap);
}

CGPoint mid(const CGRect& r) { return {r.midX(), r.midY()}; }

class CropView : public UITest {
protected:
    // A crop view of 400 × 300 at the top left of a window, set up as the
    // crop screen sets it.
    std::shared_ptr<CRImageView> make(int imageW = 800, int imageH = 400, bool screenSettings = true) {
        auto root = std::make_shared<UIViewController>();
        makeWindow(root);
        auto v = CRImageView::create(CGRect(0, 0, 400, 300));
        root->view()->addSubview(v);
        v->setToCropImage(plainImage(imageW, imageH));
        if (screenSettings) {
            v->setNeedScaleCrop(true);
            v->setCropAreaCornerWidth(24);
            v->setCropAreaCornerHeight(24);
            v->setMinSpace(30);
            v->setCropAreaCornerLineWidth(4);
            v->setCropAreaBorderLineWidth(2);
            v->setInitialScaleFactor(0.8);
            v->setCropAspectRatio(1);
        }
        return v;
    }
    static CGRect area(const CRImageView& v) { return v.cropAreaView()->frame(); }
    // A point of the image view in screen points.
    static CGPoint screen(const CRImageView& v, CGPoint p) { return v.imageView()->convertPointToView(p, nullptr); }
};

TEST_F(CropView, FitsTheImageAndCentresTheInitialSquare) {
    auto v = make();
    EXPECT_EQ(v->imageView()->frame(), CGRect(0, 50, 400, 200));
    EXPECT_EQ(area(*v), CGRect(120, 20, 160, 160));
    // The corners' outer edges lie cm = 2 outside the area.
    EXPECT_EQ(v->topLeftCorner()->frame(), CGRect(118, 18, 24, 24));
    EXPECT_EQ(v->bottomRightCorner()->frame(), CGRect(258, 158, 24, 24));
    EXPECT_DOUBLE_EQ(v->currentMinSpace(), 30);

    // Moving the view puts the area back where it started; a portrait
    // image takes 0.8 of its width.
    v->setToCropImage(plainImage(300, 600));
    EXPECT_EQ(v->imageView()->frame(), CGRect(125, 0, 150, 300));
    EXPECT_EQ(area(*v), CGRect(15, 90, 120, 120));
    v->setCenter({250, 200});
    EXPECT_EQ(area(*v), CGRect(15, 90, 120, 120));
}

TEST_F(CropView, TheCutIsInsideTheBorderInPixelsOfTheUprightImage) {
    auto v = make();
    // Area (120, 20, 160, 160) in a view showing 800 × 400 pixels at half size.
    auto cut = v->currentCroppedImage();
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size(), CGSize(312, 312));
    EXPECT_EQ(cut->CGImage()->pixelAt(0, 0), v->toCropImage()->CGImage()->pixelAt(244, 44));
    // The same pixels from a double-scale picture (400 × 200 points).
    v->setToCropImage(UIImage::imageWithCGImage(v->toCropImage()->CGImage(), 2));
    auto retina = v->currentCroppedImage();
    ASSERT_TRUE(retina);
    EXPECT_EQ(retina->size(), CGSize(312, 312));
    EXPECT_EQ(retina->CGImage()->pixelAt(0, 0), cut->CGImage()->pixelAt(0, 0));
    // Nothing of the image left under the area: no cut.
    v->cropAreaView()->setFrame(CGRect(500, 20, 40, 40));
    EXPECT_FALSE(v->currentCroppedImage());
}

TEST_F(CropView, SettingsAreStoredWithTheirLimits) {
    auto v = make(800, 400, false);
    v->setCropAspectRatio(-2);
    EXPECT_EQ(v->cropAspectRatio(), 0);
    v->setInitialScaleFactor(1.5);
    EXPECT_EQ(v->initialScaleFactor(), 1.0);
    // The scale factor takes effect at the next re-layout: a free area of the whole image.
    v->setCropAspectRatio(0);
    EXPECT_EQ(area(*v), CGRect(0, 0, 400, 200));
    // Edge handles only without an aspect ratio; a colour reaches every corner.
    v->setCropAspectRatio(1);
    v->setShowMidLines(true);
    EXPECT_TRUE(v->midLines().empty());
    v->setCropAspectRatio(0);
    EXPECT_EQ(v->midLines().size(), 4u);
    v->setCropAreaCornerLineColor(UIColor::redColor());
    EXPECT_EQ(v->cropAreaCornerLineColor(), UIColor::redColor());
    EXPECT_EQ(v->bottomLeftCorner()->cornerShapeLayer()->strokeColor(), UIColor::redColor());
}

TEST_F(CropView, CornerDragsKeepTheSquareAndStopAtTheLeastSide) {
    auto v = make();
    // Top-left corner dragged far inwards: the side stops at 30 + 2·24 − 2·2.
    CGPoint from = screen(*v, {130, 30});
    uitest::drag(from, screen(*v, {300, 190}));
    EXPECT_EQ(area(*v).size, CGSize(74, 74));
    EXPECT_EQ(area(*v).maxX(), 280);
    EXPECT_EQ(area(*v).maxY(), 180);
    // The bottom-right corner dragged outwards: square, never past the image.
    uitest::drag(screen(*v, {270, 170}), screen(*v, {395, 300}));
    CGRect a = area(*v);
    EXPECT_DOUBLE_EQ(a.width(), a.height());
    EXPECT_LE(a.maxY(), 200);
    EXPECT_LE(a.maxX(), 400);
}

TEST_F(CropView, AreaDragsStopAtTheMarginFromTheEdge) {
    for (bool inImage : {false, true}) {
        SCOPED_TRACE(inImage);
        auto v = make();
        v->setCornerBorderInImage(inImage);
        double m = inImage ? 2 : 0;
        CGRect start = area(*v);
        uitest::drag(screen(*v, mid(start)), screen(*v, {start.midX() - 300, start.midY() - 300}));
        EXPECT_EQ(area(*v).origin, CGPoint(m, m));
        uitest::drag(screen(*v, mid(area(*v))), screen(*v, {area(*v).midX() + 500, area(*v).midY() + 10}));
        EXPECT_EQ(area(*v).maxX(), 400 - m);
        EXPECT_EQ(v->topLeftCorner()->frame().minX(), area(*v).minX() - 2);
        windows.clear();
    }
}

TEST_F(CropView, PinchingFollowsTheHalfRoomRules) {
    auto v = make();
    // Growing past the image's height (the bounding side for a landscape
    // image): the height is capped to the image, the width follows the ratio.
    uitest::pinch(screen(*v, mid(area(*v))), 40, 100);
    EXPECT_EQ(area(*v), CGRect(100, 0, 200, 200));
    // Shrinking below the least side gives that side, centre kept; the
    // pinch's least side counts m (0 here), not the corner margin: 30 + 2·24.
    uitest::pinch(screen(*v, mid(area(*v))), 100, 10);
    EXPECT_EQ(area(*v), CGRect(161, 61, 78, 78));

    // Free ratio near the left edge: a width over twice the half room is
    // capped to the image and moved inside it; the height stays.
    auto free = make(800, 400, false);
    free->setInitialScaleFactor(0.5);
    free->setCropAspectRatio(0);
    free->cropAreaView()->setCenter({60, 100});
    free->setNeedScaleCrop(true);
    uitest::pinch(screen(*free, {60, 100}), 40, 60);
    CGRect a = area(*free);
    EXPECT_EQ(a.minX(), 0);
    EXPECT_DOUBLE_EQ(a.width(), 300);
    EXPECT_DOUBLE_EQ(a.height(), 150);
}

bool white(RGBA8 p) { return p.r > 240 && p.g > 240 && p.b > 240; }

TEST_F(CropView, CornersStrokeTheirOuterBandAndKeepTheirPointWhenResized) {
    auto root = std::make_shared<UIViewController>();
    auto window = makeWindow(root);
    root->view()->setBackgroundColor(UIColor::blackColor());
    auto corner = std::make_shared<CornerView>(CGRect(100, 100, 24, 24), UIColor::whiteColor(), 4);
    root->view()->addSubview(corner);
    auto img = window->renderImage();
    // Top-left L: the bands 0–4 along the top and the left edge, nothing inside.
    EXPECT_EQ(countPixels(*img, CGRect(100, 100, 24, 4), white), 24 * 4 * 4);
    EXPECT_EQ(countPixels(*img, CGRect(100, 104, 4, 20), white), 4 * 20 * 4);
    EXPECT_EQ(countPixels(*img, CGRect(104, 104, 20, 20), white), 0);
    EXPECT_EQ(countPixels(*img, CGRect(96, 96, 4, 32), white), 0);

    corner->setCornerPosition(CornerView::BottomRight);
    corner->updateSizeWithWidth(40, 30);
    EXPECT_EQ(corner->frame(), CGRect(84, 94, 40, 30));
    img = window->renderImage();
    EXPECT_EQ(countPixels(*img, CGRect(84, 120, 40, 4), white), 40 * 4 * 4);
    EXPECT_EQ(countPixels(*img, CGRect(120, 94, 4, 26), white), 4 * 26 * 4);
    EXPECT_EQ(countPixels(*img, CGRect(84, 94, 36, 26), white), 0);
}

TEST_F(CropView, ThirdsLinesFollowTheSizeAndKeepSettingsMadeWhileHidden) {
    auto root = std::make_shared<UIViewController>();
    auto window = makeWindow(root);
    root->view()->setBackgroundColor(UIColor::blackColor());
    auto areaView = std::make_shared<CropAreaView>();
    areaView->setBorderWidth(0);
    areaView->setCrossLineColor(UIColor::whiteColor());
    areaView->setCrossLineWidth(2);
    areaView->setFrame(CGRect(0, 0, 90, 90));
    root->view()->addSubview(areaView);
    areaView->setShowCrossLines(true);
    areaView->setFrame(CGRect(0, 0, 150, 90));
    auto img = window->renderImage();
    EXPECT_GT(countPixels(*img, CGRect(49, 10, 2, 10), white), 30) << "x = 150 / 3 after the resize";
    EXPECT_EQ(countPixels(*img, CGRect(29, 10, 2, 10), white), 0) << "not where 90 / 3 was";

    areaView->setShowCrossLines(false);
    EXPECT_FALSE(areaView->crossLineLayer());
    areaView->setCrossLineWidth(6);
    areaView->setShowCrossLines(true);
    EXPECT_EQ(areaView->crossLineLayer()->lineWidth(), 6);
    img = window->renderImage();
    EXPECT_EQ(countPixels(*img, CGRect(47, 10, 6, 10), white), 6 * 10 * 4);
}

TEST_F(CropView, EdgeHandlesTakeTouchesOutsideTheArea) {
    auto v = make(800, 400, false);
    v->setInitialScaleFactor(0.5);
    v->setCropAspectRatio(0);
    v->setShowMidLines(true);
    ASSERT_EQ(v->midLines().size(), 4u);
    CGRect a = area(*v);
    auto hit = v->window()->hitTestWindow(screen(*v, {a.midX(), a.minY() - 10}));
    EXPECT_EQ(hit, v->midLines()[0]);
    // Dragging it up grows the area upwards with the bottom edge fixed.
    uitest::drag(screen(*v, {a.midX(), a.minY() - 10}), screen(*v, {a.midX(), a.minY() - 30}));
    EXPECT_DOUBLE_EQ(area(*v).maxY(), a.maxY());
    EXPECT_DOUBLE_EQ(area(*v).minY(), a.minY() - 20);
}

}  // namespace
