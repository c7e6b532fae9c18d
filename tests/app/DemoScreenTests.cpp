// The demo game under a virtual X server: its Select and Crop buttons, clicked
// through the X server, open the photo picker and the crop screen over the
// page, and their Chinese texts are drawn with the pinned CJK face. Each
// test runs a game of its own.
//
// The page reports where its buttons are through KL_IOS.Error (a script
// added to a copy of the demo bundle).

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "../platform/ui/UITestSupport.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIWindow.h"
#include "support/GameProcess.h"
#include "support/TestSupport.h"

// X11 last: its macros collide with names above.
#include "support/GameWindow.h"

namespace {

using testsupport::GameProcess;
using testsupport::RGB;
namespace fs = std::filesystem;

const char* kReportButtons = R"HTML(<script>
  window.addEventListener('load', function () {
    ['select', 'crop'].forEach(function (id) {
      var r = document.getElementById(id).getBoundingClientRect();
      KL_IOS.Error('button ' + id + ' ' + Math.round(r.left + r.width / 2) + ' ' + Math.round(r.top + r.height / 2));
    });
  });
</script>)HTML";

bool dark(RGB p) { return p.r < 90 && p.g < 90 && p.b < 90; }

class DemoScreens : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        display = XOpenDisplay(nullptr);
        ASSERT_TRUE(display) << "needs a display (run under xvfb-run)";
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        fs::copy(testsupport::sourceDir() / "examples/DemoGame.app", dir / "DemoGame.app", fs::copy_options::recursive);
        fs::copy(testsupport::sourceDir() / "examples/Photos", dir / "Photos", fs::copy_options::recursive);
        auto page = dir / "DemoGame.app/Data/index.html";
        testsupport::writeFile(page, strings::replaceAll(testsupport::readFile(page), "</body>",
                                                         std::string(kReportButtons) + "</body>"));
        game.emplace(GameProcess::Options{
            dir / "DemoGame.app", dir / "home", dir / "game.log",
            {{"KORVEL_PHOTO_LIBRARY", (dir / "Photos").string()},
             {"KORVEL_CAMERA_IMAGE", (testsupport::sourceDir() / "examples/camera-frame.png").string()}}});
        ASSERT_TRUE(testsupport::waitFor([&] { return (window = testsupport::windowOf(display, game->pid())) != 0; },
                                         std::chrono::seconds(30)));
        ASSERT_TRUE(testsupport::waitFor([&] { return buttonAt("select") && buttonAt("crop"); }, std::chrono::seconds(30)))
            << game->log();
    }
    void TearDown() override {
        game.reset();
        if (display) XCloseDisplay(display);
        UITest::TearDown();
    }
    std::optional<CGPoint> buttonAt(const std::string& id) {
        for (auto& r : game->reports()) {
            auto parts = strings::split(r, " ");
            if (parts.size() == 4 && parts[0] == "button" && parts[1] == id)
                return CGPoint{double(std::stoi(parts[2])), double(std::stoi(parts[3]))};
        }
        return std::nullopt;
    }
    void click(CGPoint p) { testsupport::clickIn(display, window, int(p.x), int(p.y)); }
    bool shows(CGPoint p, const std::function<bool(RGB)>& ok) {
        return testsupport::waitFor([&] {
            auto px = testsupport::pixel(display, window, p);
            return px && ok(*px);
        });
    }
    // What the X server shows of the whole window, to look at: written only
    // when KORVEL_SHOT_DIR names a folder.
    void keepShot(const std::string& name) {
        const char* shots = std::getenv("KORVEL_SHOT_DIR");
        if (!shots) return;
        XWindowAttributes a;
        XGetWindowAttributes(display, window, &a);
        XImage* image = XGetImage(display, window, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
        if (!image) return;
        auto bitmap = CGImage::create(a.width, a.height, false);
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x) {
                unsigned long v = XGetPixel(image, x, y);
                bitmap->setPixel(x, y, RGBA8{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v), 255});
            }
        XDestroyImage(image);
        files::writeAtomically((fs::path(shots) / name).string(), *imageio::encodePNG(*bitmap));
    }
    template <class Pred>
    int pixelsIn(const CGRect& r, Pred pred) {
        return testsupport::countPixels(display, window, int(r.minX()), int(r.minY()), int(r.width()), int(r.height()),
                                        pred);
    }
    int darkPixels(const CGRect& r) { return pixelsIn(r, dark); }
    int lightPixels(const CGRect& r) {
        return pixelsIn(r, [](RGB p) { return p.r > 200 && p.g > 200 && p.b > 200; });
    }
    // The same text drawn here with the pinned fonts, at scale 1.
    static int darkPixelsOfText(const std::string& text, const std::shared_ptr<UIFont>& font) {
        auto root = std::make_shared<UIWindow>(CGRect(0, 0, 200, 40));
        root->setBackgroundColor(UIColor::whiteColor());
        auto label = std::make_shared<UILabel>(CGRect(0, 0, 200, 40));
        label->setFont(font);
        label->setText(text);
        root->addSubview(label);
        auto img = root->renderImage(1);
        return countPixels(*img, CGRect(0, 0, 100, 20), [](RGBA8 p) { return p.r < 90 && p.g < 90 && p.b < 90; });
    }

    testsupport::TempDir dir;
    Display* display = nullptr;
    Window window = 0;
    std::optional<GameProcess> game;
};

TEST_F(DemoScreens, SelectShowsThePickerOverThePageInTheCJKFace) {
    CGPoint navigationBar{40, 52};
    ASSERT_TRUE(shows(navigationBar, [](RGB p) { return p.r < 80; })) << "the dark page shows first";
    click(*buttonAt("select"));
    // The picker's light bars and list cover the page, its first row's
    // thumbnails in place.
    ASSERT_TRUE(shows(navigationBar, [](RGB p) { return p.r > 230 && p.g > 230; })) << game->log();
    ASSERT_TRUE(shows({300, 300}, [](RGB p) { return p.r > 230; }));
    ASSERT_TRUE(shows({48, 120}, [](RGB p) { return p.r + p.g + p.b < 600; })) << "a photo, not the placeholder";
    ASSERT_TRUE(shows({10, 4}, [](RGB p) { return p.r > 230 && p.g > 230; })) << "risen to the top: none of the page shows";
    keepShot("demo-picker.png");
    // "照片" in the bar, in the CJK face the fonts file pins: the same glyphs
    // as drawn here, give or take smoothing. A missing face would draw boxes.
    int title = darkPixels(CGRect(137, 30, 100, 24));
    int expected = darkPixelsOfText("照片", UIFont::systemFontOfSize(17, UIFontWeight::Semibold));
    EXPECT_GT(expected, 40);
    EXPECT_NEAR(title, expected, expected * 0.4);
    EXPECT_GT(darkPixels(CGRect(96, 64 + 22, 100, 21)), 60) << "the first album's name, 相机胶卷";
}

TEST_F(DemoScreens, CropShowsItsScreenOverThePage) {
    ASSERT_TRUE(shows({10, 640}, [](RGB p) { return p.r < 80 && p.b > 20; })) << "the page shows first";
    click(*buttonAt("crop"));
    // The crop screen's black ground and its bar with 取消 and 确定 in white.
    ASSERT_TRUE(shows({10, 40}, [](RGB p) { return p.r < 10 && p.g < 10 && p.b < 10; })) << game->log();
    ASSERT_TRUE(shows({10, 640}, [](RGB p) { return std::abs(p.r - 26) < 6 && std::abs(p.b - 26) < 6; }));
    ASSERT_TRUE(shows({10, 4}, [](RGB p) { return p.r < 10 && p.g < 10 && p.b < 10; })) << "none of the page shows";
    keepShot("demo-crop.png");
    EXPECT_GT(lightPixels(CGRect(280, 612, 70, 30)), 40) << "确定";
    EXPECT_GT(lightPixels(CGRect(20, 612, 70, 30)), 40) << "取消";
}

}  // namespace
