// The system plug-in's screens from a page in the real engine, hosted as
// the game hosts it (the toolkit around the web view in the GTK host):
// cropping, choosing photos, scanning and photographing, each answering the
// page through KL_IOS with the values the page expects.

#include <gtest/gtest.h>

#include "../../../platform/ui/UITestSupport.h"
#include "ScreenTestSupport.h"
#include "platform/device/Camera.h"
#include "platform/device/DeviceFacts.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/GtkHost.h"
#include "platform/ui/UIEventInjection.h"
#include "platform/ui/UIScreen.h"
#include "plugin/iOS/RAZ5Orered/BridgeTestSupport.h"
#include "plugin/iOS/RAZ5Orered/CropImage/CRImageCropController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAlbumsViewController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKAssetsViewController.h"
#include "plugin/iOS/RAZ5Orered/ImagePicker/PKImagePickerController.h"
#include "plugin/iOS/RAZ5Orered/QRCodeManager.h"
#include "plugin/iOS/RAZ5Orered/QRCodeViewController.h"
#include "plugin/iOS/RAZ5Orered/SysPlugin.h"
#include "support/ImageFixtures.h"

namespace {

namespace fs = std::filesystem;
using screentest::near;

constexpr RGBA8 kPageBlue{40, 120, 220, 255};
constexpr RGBA8 kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kYellow{255, 255, 0, 255};

// The game's place: a controller whose view holds the web view.
class PageHost : public UIViewController {
public:
    explicit PageHost(std::shared_ptr<WKWebView> web) : web_(std::move(web)) {}
    void loadView() override {
        UIViewController::loadView();
        web_->setFrame(view()->bounds());
        web_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
        view()->addSubview(web_);
    }

private:
    std::shared_ptr<WKWebView> web_;
};

bool hostReady() {
    static bool ready = [] {
        int argc = 1;
        char arg0[] = "sys_screen_page_tests";
        char* args[] = {arg0, nullptr};
        char** argv = args;
        return GtkHost::initialize(&argc, &argv);
    }();
    return ready;
}

class ScreenPage : public UITest, protected webtest::ProbedWebView {
protected:
    void SetUp() override {
        UITest::SetUp();
        ASSERT_TRUE(WKWebView::engineAvailable() && hostReady()) << "needs a display (run under xvfb-run)";
        screentest::writeKorvelBundle(bundle);
        IOSPlugin::resetForTesting();
        view = WKWebView::create(UIScreen::mainScreen().bounds(), config);
        root = std::make_shared<PageHost>(view);
        makeWindow(root);
        GtkHost::sync();
        IOSPlugin::Load();
        IOSPlugin::SetWebView(view);
        IOSPlugin::SetRootController(root);
        view->loadHTMLString("<html><body style='margin:0; background: rgb(40, 120, 220)'>page</body></html>",
                             std::nullopt);
        ASSERT_TRUE(webtest::waitForPage(*view, "document.readyState == 'complete' && window.KL_IOS"));
        ASSERT_TRUE(webtest::evaluate(*view, bridgetest::kReportingScript).done);
        docs = AppHome::documents();
    }
    void TearDown() override {
        if (root->presentedViewController()) root->dismissViewControllerAnimated(false);
        advance(0.5);
        Camera::setTestImage(nullptr);
        device::setFactsRoot("/");
        IOSPlugin::resetForTesting();
        UITest::TearDown();
    }

    Value call(const std::string& js, const std::string& tag) { return bridgetest::callAndWait(*view, *probe, js, tag); }
    // Runs page script without an answer and waits until the plug-in has handled it.
    void run(const std::string& js) { call(js + "; KL_IOS.GetAdId(report('settled'))", "settled"); }
    // True when, within the time-out, nothing tagged `tag` was reported.
    bool reportedNothing(const std::string& tag) {
        run("");
        for (auto& m : probe->messages)
            if (m.str("tag") == tag) return false;
        return true;
    }
    template <class T>
    std::shared_ptr<T> presented() {
        return std::dynamic_pointer_cast<T>(root->presentedViewController());
    }
    // What the host window shows now (page and toolkit together), once it satisfies `ok`.
    bool screenShows(const std::function<bool(const CGImage&)>& ok) {
        auto path = shots.path() / "screen.png";
        return testsupport::waitFor([&] {
            GtkHost::sync();
            auto data = GtkHost::writeScreenshot(path.string()) ? files::readData(path) : std::nullopt;
            auto img = data ? imageio::decode(*data) : std::nullopt;
            return img && img->image && ok(*img->image);
        });
    }
    static std::string obj(const Value& v) { return v.toJSON(); }
    static std::string lit(const std::string& s) { return strings::jsStringLiteral(s); }

    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    screentest::ScopedLibrary library;
    testsupport::TempDir shots;
    std::shared_ptr<UIViewController> root;
    fs::path docs;
};

// ---- Crop

class CropPage : public ScreenPage {
protected:
    void SetUp() override {
        ScreenPage::SetUp();
        // Shown upright as red, green / blue, yellow quadrants; stored turned
        // a quarter (EXIF 6), so only an upright cut shows them so.
        auto shown = testsupport::quadrants(400, 400, false, kRed, kGreen, kBlue, kYellow);
        auto stored = CGImage::create(400, 400, false);
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 400; ++x) stored->setPixel(x, y, shown->pixelAt(399 - y, x));
        auto jpeg = testsupport::jpegWithOrientation(*stored, 6);
        testsupport::writeFile(docs / "four.jpg", std::string(jpeg.begin(), jpeg.end()));
    }
    std::shared_ptr<CRImageCropController> open(const Value& extra = Value::dict()) {
        Value args = Value::dict({{"sourcePath", (docs / "four.jpg").string()}, {"savePath", (docs / "cut.png").string()}});
        for (auto& [k, v] : *extra.getDict()) args.set(k, v);
        run("KL_IOS.CropImage(" + obj(args) + ")");
        advance(0.4);
        return presented<CRImageCropController>();
    }
    Value confirm() {
        size_t from = probe->messages.size();
        EXPECT_TRUE(uitest::tapButton("确定"));
        auto answer = bridgetest::waitForReport(*view, *probe, "", "onCropImage", from);
        advance(0.4);
        return answer;
    }
};

TEST_F(CropPage, TheScreenShowsOverThePageAndWritesAnUprightCut) {
    auto crop = open(Value::dict({{"isPng", true}}));
    ASSERT_TRUE(crop);
    // Over the page: the dimmed image and the crop square, no page blue left.
    EXPECT_TRUE(screenShows([](const CGImage& s) {
        CGRect b = UIScreen::mainScreen().bounds();
        return near(s.pixelAt(int(b.midX()) - 60, int(b.midY()) - 60), kRed, 40) &&
               near(s.pixelAt(int(b.midX()) + 60, int(b.midY()) + 60), kYellow, 40) &&
               !near(s.pixelAt(10, 10), kPageBlue, 30) && !near(s.pixelAt(10, int(b.height()) - 10), kPageBlue, 30);
    }));
    GtkHost::writeScreenshot("/work/wt/notes/shots/crop-over-page.png");
    auto expected = crop->imageView->currentCroppedImage();
    ASSERT_TRUE(expected);
    auto answer = confirm();
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(Value::fromJSON(answer[0].stringOr()), Value::dict({{"result", 1}}));
    EXPECT_FALSE(root->presentedViewController()) << "closed";
    auto cut = UIImage::imageWithContentsOfFile(docs / "cut.png");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size(), expected->size()) << "under the 512 limit: unscaled";
    int w = int(cut->size().width), h = int(cut->size().height);
    auto px = [&](double fx, double fy) { return cut->CGImage()->pixelAt(int(fx * w), int(fy * h)); };
    EXPECT_TRUE(near(px(0.1, 0.1), kRed, 40));
    EXPECT_TRUE(near(px(0.9, 0.1), kGreen, 40));
    EXPECT_TRUE(near(px(0.1, 0.9), kBlue, 40));
    EXPECT_TRUE(near(px(0.9, 0.9), kYellow, 40));
}

TEST_F(CropPage, TheSmallerLimitBoundsTheCutAndTheFileIsReplaced) {
    testsupport::writeFile(docs / "cut.png", "an older file");
    ASSERT_TRUE(open(Value::dict({{"maxWidth", 800}, {"maxHeight", 300}, {"isPng", true}})));
    EXPECT_EQ(Value::fromJSON(confirm()[0].stringOr()), Value::dict({{"result", 1}}));
    auto cut = UIImage::imageWithContentsOfFile(docs / "cut.png");
    ASSERT_TRUE(cut) << "replaced by the cut";
    EXPECT_EQ(cut->size(), CGSize(300, 300));

    // Under the limit: as cut, as JPEG unless isPng.
    auto crop = open(Value::dict({{"maxWidth", 1000}, {"maxHeight", "wrong type: 512"}}));
    ASSERT_TRUE(crop);
    CGSize cutSize = crop->imageView->currentCroppedImage()->size();
    ASSERT_LT(cutSize.width, 512);
    EXPECT_EQ(Value::fromJSON(confirm()[0].stringOr()), Value::dict({{"result", 1}}));
    auto data = files::readData(docs / "cut.png");
    ASSERT_TRUE(data);
    EXPECT_EQ(imageio::sniff(data->data(), data->size()), imageio::Format::JPEG);
    EXPECT_EQ(UIImage::imageWithData(*data)->size(), cutSize);
}

TEST_F(CropPage, CancelAndUnusableSourcesSendNothing) {
    ASSERT_TRUE(open());
    EXPECT_TRUE(uitest::tapButton("取消"));
    advance(0.4);
    EXPECT_FALSE(root->presentedViewController());
    testsupport::writeFile(docs / "text.png", "not a picture");
    for (auto source : {docs / "text.png", docs / "missing.png", fs::path("/etc/hostname")}) {
        run("KL_IOS.CropImage(" + obj(Value::dict({{"sourcePath", source.string()}, {"savePath", "x.png"}})) + ")");
        advance(0.4);
        EXPECT_FALSE(root->presentedViewController()) << source;
    }
    EXPECT_TRUE(reportedNothing("onCropImage"));
    EXPECT_FALSE(fs::exists(docs / "cut.png"));
}

}  // namespace
