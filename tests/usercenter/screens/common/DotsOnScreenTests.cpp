// The loading dots in the GTK host under a virtual X server, on the real
// clock: with and without their caption, pictures of the window taken one
// after another keep showing the ring changed, so the dots move on screen.

#include <gtest/gtest.h>

#include "platform/foundation/Files.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/GtkHost.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"
#include "support/TestSupport.h"
#include "usercenter/screens/common/ZVProgressDP.h"

namespace {

// The host window's picture inside `area` (points at scale 1).
std::shared_ptr<CGImage> picture(const testsupport::TempDir& dir, const CGRect& area) {
    auto path = dir / "screen.png";
    if (!GtkHost::writeScreenshot(path.string())) return nullptr;
    auto bytes = files::readData(path);
    auto decoded = bytes ? imageio::decode(*bytes) : std::nullopt;
    return decoded ? decoded->image->cropped(area) : nullptr;
}

bool same(const CGImage& a, const CGImage& b) {
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (!(a.pixelAt(x, y) == b.pixelAt(x, y))) return false;
    return true;
}

int greyPixels(const CGImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            RGBA8 p = img.pixelAt(x, y);
            n += p.r < 200 && std::abs(p.r - p.g) < 8 && std::abs(p.g - p.b) < 8;
        }
    return n;
}

TEST(LoadingDotsOnScreen, TheDotsMoveInALiveWindow) {
    static int argc = 1;
    static char arg0[] = "usercenter_screens_display_tests";
    static char* argvData[] = {arg0, nullptr};
    static char** argv = argvData;
    ASSERT_TRUE(GtkHost::initialize(&argc, &argv)) << "needs a display (run under xvfb-run)";
    auto window = std::make_shared<UIWindow>();
    window->setRootViewController(std::make_shared<UIViewController>());
    window->setBackgroundColor(UIColor::whiteColor());
    window->makeKeyAndVisible();
    testsupport::TempDir dir;
    const CGRect ring(100, 200, 120, 120);
    for (bool caption : {false, true}) {
        auto dots = std::make_shared<ZVProgressDP>(ring);
        window->rootViewController()->view()->addSubview(dots);
        if (caption) dots->showWithTitle("加载中");
        else dots->show();
        GtkHost::sync();
        std::shared_ptr<CGImage> first;
        ASSERT_TRUE(testsupport::waitFor([&] {
            first = picture(dir, ring);
            return first && greyPixels(*first) > 50;
        })) << "caption " << caption;
        // Five changes at least: more than the window's first paints.
        int changes = 0;
        EXPECT_TRUE(testsupport::waitFor([&] {
            auto later = picture(dir, ring);
            if (later && !same(*later, *first)) ++changes, first = later;
            return changes >= 5;
        })) << "caption " << caption << ", " << changes << " changes";
        dots->dismiss();
        dots->removeFromSuperview();
    }
    window->setHidden(true);
}

}  // namespace
