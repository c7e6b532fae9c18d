// The user centre's web page in the real engine, in the GTK host under a
// virtual X server: the Tasks page from the stand-in shows in the user
// centre's window over the game's own web view, and a toast shows above
// the embedded page.

#include "UserCentreTestSupport.h"
#include "platform/foundation/Files.h"
#include "platform/graphics/ImageIO.h"
#include "platform/ui/GtkHost.h"
#include "platform/ui/UIScreen.h"
#include "usercenter/core/CXRHelperBtn.h"
#include "usercenter/core/CXRMessage.h"
#include "usercenter/core/ZVApi.h"

using standin::UserCentreStandin;

namespace {

class WebPageOnScreen : public UserCentreTest {
protected:
    void SetUp() override {
        UserCentreTest::SetUp();
        static int argc = 1;
        static char arg0[] = "usercenter_screens_display_tests";
        static char* argvData[] = {arg0, nullptr};
        static char** argv = argvData;
        ASSERT_TRUE(GtkHost::initialize(&argc, &argv)) << "needs a display (run under xvfb-run)";
        ZVSuWebVC::setWebViewFactory(nullptr);  // the engine's
    }
    // What the host window shows now.
    std::shared_ptr<CGImage> screen() {
        const char* shots = std::getenv("KORVEL_SHOT_DIR");  // to look at
        auto path = shots ? std::filesystem::path(shots) / "i21-toast-over-page.png" : dir / "screen.png";
        if (!GtkHost::writeScreenshot(path.string())) return nullptr;
        auto bytes = files::readData(path);
        auto decoded = bytes ? imageio::decode(*bytes) : std::nullopt;
        return decoded ? decoded->image : nullptr;
    }
    bool shows(CGPoint p, uint32_t rgb) {
        return testsupport::waitFor([&] {
            auto img = screen();
            if (!img) return false;
            RGBA8 px = img->pixelAt(int(p.x), int(p.y));
            UIColor want = UIColor::fromRGB(rgb);
            return std::abs(px.r - want.red * 255) < 12 && std::abs(px.g - want.green * 255) < 12 &&
                   std::abs(px.b - want.blue * 255) < 12;
        }, std::chrono::seconds(20));
    }
    testsupport::TempDir dir;
};

TEST_F(WebPageOnScreen, AToastShowsAboveTheEmbeddedPage) {
    // The game's page underneath, red.
    auto game = WKWebView::create(UIScreen::mainScreen().bounds(), WKWebViewConfiguration::create());
    game->loadHTMLString("<body style='margin:0;background:#FF0000'></body>", std::nullopt);
    auto gameWindow = makeWindow();
    gameWindow->rootViewController()->view()->addSubview(game);

    auto centre = openUserCentre();
    ASSERT_TRUE(centre);
    centre->setSelectedIndex(2);
    uitest::layout();
    GtkHost::sync();
    double top = UIScreen::mainScreen().navigationBarTop();
    ASSERT_TRUE(shows({100, top + 100}, UserCentreStandin::PageLayout::kSigned));
    EXPECT_EQ(env->standin().journal().last(UserCentreStandin::path(ZVApi::kTasksPage))->signOk, true);

    auto tasks = tabRoot<ZVSuWebVC>(*centre, 2);
    auto band = std::make_shared<UIView>(CGRect(0, top, UIScreen::mainScreen().bounds().width(), 200));
    band->setUserInteractionEnabled(false);
    tasks->view()->addSubview(band);
    CXRMessage::showMessage("任务已完成", band);
    auto toast = uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "toast"; });
    ASSERT_TRUE(toast);
    CGRect box = uitest::screenFrame(*toast);
    EXPECT_TRUE(shows({box.minX() + 3, box.midY()}, 0x000000));
    EXPECT_TRUE(shows({box.minX() - 10, box.midY()}, UserCentreStandin::PageLayout::kSigned));
    game->removeFromSuperview();
}

}  // namespace
