// The system plug-in's full-screen screens over the game, headless: Escape
// does what their Back or Cancel does, and the SDK's floating button hides
// while one of them shows and comes back after.

#include <gtest/gtest.h>

#include "../../../platform/ui/UITestSupport.h"
#include "ScreenTestSupport.h"
#include "platform/ui/UIAlertController.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIImagePickerController.h"
#include "platform/ui/UIKeyCommand.h"
#include "plugin/iOS/RAZ5Orered/CropImage/CRImageCropController.h"
#include "usercenter/core/CXRHelperBtn.h"

namespace {

namespace fs = std::filesystem;

std::shared_ptr<CRImageCropController> cropScreen(const fs::path& folder) {
    auto crop = std::make_shared<CRImageCropController>();
    crop->image = UIImage::imageWithCGImage(CGImage::create(64, 64, false));
    crop->savePath = files::Place{folder, "cut.png"};
    return crop;
}

struct CameraOutcome : UIImagePickerControllerDelegate {
    int cancels = 0;
    void imagePickerControllerDidCancel(UIImagePickerController& picker) override {
        ++cancels;
        picker.dismissViewControllerAnimated(true);
    }
};

class ScreenKeys : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        screentest::writeKorvelBundle(bundle);
        game = std::make_shared<UIViewController>();
        makeWindow(game);
        CXRHelperBtn::show();
    }
    void TearDown() override {
        CXRHelperBtn::hide();
        UITest::TearDown();
    }
    static bool buttonShown() { return !CXRHelperBtn::sharedButton()->buttonWindow()->isHidden(); }
    // Presents `screen` over the game; the button hides at once.
    void present(const std::shared_ptr<UIViewController>& screen) {
        ASSERT_TRUE(buttonShown());
        game->presentViewController(screen, true);
        EXPECT_FALSE(buttonShown());
        advance(0.5);
        uitest::layout();
    }
    // Tab onto the screen's first control: its focus ring shows (kept as
    // focus-<name>.png with KORVEL_SHOT_DIR).
    void ringShows(const std::string& name) {
        ASSERT_TRUE(uitest::pressKey(UIKeyInputTab)) << name;
        auto control = UIKeyRouting::focusedControl();
        ASSERT_TRUE(control) << name;
        auto window = game->view()->window();
        auto img = window->renderImage();
        screentest::keepShot(*window, "focus-" + name + ".png");
        CGRect f = uitest::screenFrame(*control);
        auto ring = [](RGBA8 p) { return p.b > 200 && p.r < 60 && p.g > 80 && p.g < 130; };
        int around = countPixels(*img, f.insetBy(-5, -5).intersection(window->bounds()), ring) - countPixels(*img, f, ring);
        EXPECT_GT(around, 4 * (f.width() + f.height())) << name;
    }
    // Escape; the screen leaves, the button only once it is gone.
    void escapeCloses() {
        EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
        advance(0.1);
        EXPECT_FALSE(buttonShown());
        advance(0.4);
        EXPECT_FALSE(game->presentedViewController());
        EXPECT_TRUE(buttonShown());
    }

    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    screentest::ScopedLibrary library;
    std::shared_ptr<UIViewController> game;
};

TEST_F(ScreenKeys, EscapeInThePickerStepsBackFromTheGridThenCancels) {
    screentest::writePicture(library / "a.png", RGBA8{200, 40, 40, 255});
    int cancels = 0;
    auto delegate = std::make_shared<PKImagePickerControllerDelegate>();
    delegate->qb_imagePickerControllerDidCancel = [&](PKImagePickerController& p) {
        ++cancels;
        p.dismissViewControllerAnimated(true);
    };
    auto picker = PKImagePickerController::create();
    picker->delegate = delegate;
    present(picker);
    ASSERT_TRUE(testsupport::waitFor([&] { return !screentest::albums(*picker).assetsGroups().empty(); }));
    ASSERT_TRUE(screentest::openAlbum(*picker, 0, [this](double s) { advance(s); }));
    ringShows("picker-grid");

    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    advance(0.5);
    EXPECT_EQ(picker->albumsNavigationController()->viewControllers().size(), 1u);
    EXPECT_EQ(cancels, 0);
    EXPECT_FALSE(buttonShown());
    escapeCloses();
    EXPECT_EQ(cancels, 1);
}

TEST_F(ScreenKeys, EscapeOnTheCropAndCameraScreensIsTheirCancel) {
    auto crop = cropScreen(home.path());
    present(crop);
    ASSERT_TRUE(crop->imageView && crop->imageView->window());
    ringShows("crop");
    escapeCloses();
    EXPECT_FALSE(fs::exists(home.path() / "cut.png"));

    auto outcome = std::make_shared<CameraOutcome>();
    auto camera = std::make_shared<UIImagePickerController>();
    camera->delegate = outcome;
    present(camera);
    ringShows("camera");
    escapeCloses();
    EXPECT_EQ(outcome->cancels, 1);

    // An alert over the game leaves the button where it is; Escape is its "取消".
    int cancelled = 0;
    auto alert = UIAlertController::alertControllerWithTitle("温馨提示", "确定关闭悬浮窗？", UIAlertControllerStyle::Alert);
    alert->addAction(UIAlertAction::actionWithTitle("确定", UIAlertActionStyle::Default));
    alert->addAction(UIAlertAction::actionWithTitle("取消", UIAlertActionStyle::Cancel, [&](UIAlertAction&) { ++cancelled; }));
    game->presentViewController(alert, false);
    EXPECT_TRUE(buttonShown());
    ringShows("alert");
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    advance(0.5);
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(game->presentedViewController());
    // Hidden by the SDK meanwhile, it stays hidden after the screen.
    present(cropScreen(home.path()));
    CXRHelperBtn::hide();
    EXPECT_TRUE(uitest::pressKey(UIKeyInputEscape));
    advance(0.5);
    EXPECT_FALSE(buttonShown());
}

}  // namespace
