#pragma once
// Shared set-up of the toolkit's tests: the pinned fonts, a test clock, and
// windows that are hidden again after each test.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/graphics/CGImage.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIWindow.h"

class UITest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A visible key window of the screen's size with a white root view.
    std::shared_ptr<UIWindow> makeWindow(std::shared_ptr<UIViewController> root = nullptr);
    // Advances the test clock and runs what fell due on the main queue.
    void advance(double seconds);

    ScopedTestClock clock;
    std::vector<std::shared_ptr<UIWindow>> windows;
};

// Counts the pixels in a rectangle of points (scale 2) that satisfy `pred`.
template <class P>
int countPixels(const CGImage& img, const CGRect& pts, P pred) {
    int n = 0;
    for (int y = int(pts.minY() * 2); y < int(pts.maxY() * 2); ++y)
        for (int x = int(pts.minX() * 2); x < int(pts.maxX() * 2); ++x) n += pred(img.pixelAt(x, y));
    return n;
}
