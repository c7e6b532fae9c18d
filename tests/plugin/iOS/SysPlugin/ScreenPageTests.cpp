// The system plug-in's screens from a page in the real engine, hosted as
// the game hosts it (the toolkit around the web view in the GTK host):
// cropping, choosing photos, scanning and photographing, each answering the
// page through KL_IOS with the values the page expects.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

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
#include "plugin/iOS/RAZ5Orered/UIWebViewController.h"
#include "platform/device/URLOpener.h"
#include "standin/StandinServer.h"
#include "platform/ui/UIButton.h"
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
        ASSERT_TRUE(testsupport::waitFor([] { return gtk_widget_get_mapped(GtkHost::toplevel()); }));
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
    // Waits for the next report tagged `tag` from message `from` on, moving
    // the test clock meanwhile (screens close on it); its arguments.
    Value reportAfter(size_t from, const std::string& tag) {
        Value found;
        bool seen = testsupport::waitFor([&] {
            advance(0.1);
            for (size_t i = from; i < probe->messages.size(); ++i)
                if (probe->messages[i].str("tag") == tag) {
                    found = probe->messages[i]["args"];
                    return true;
                }
            return false;
        });
        EXPECT_TRUE(seen) << "no " << tag;
        return found;
    }
    // Taps a screen's button, waits for the page's report and lets the
    // screen close; the report's arguments.
    Value tapAndWait(const std::string& button, const std::string& tag) {
        size_t from = probe->messages.size();
        EXPECT_TRUE(uitest::tapButton(button)) << button;
        auto args = bridgetest::waitForReport(*view, *probe, "", tag, from);
        advance(0.4);
        return args;
    }
    size_t reportsTagged(const std::string& tag, size_t from = 0) {
        size_t n = 0;
        for (size_t i = from; i < probe->messages.size(); ++i) n += probe->messages[i].str("tag") == tag;
        return n;
    }
    template <class T>
    std::shared_ptr<T> presented() {
        return std::dynamic_pointer_cast<T>(root->presentedViewController());
    }
    static std::string obj(const Value& v) { return v.toJSON(); }
    static std::string lit(const std::string& s) { return strings::jsStringLiteral(s); }

    testsupport::TempHome home;
    testsupport::TempBundle bundle;
    screentest::ScopedLibrary library;
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
        // The source is decoded off the main thread; the screen comes after.
        testsupport::waitFor([&] { return root->presentedViewController() != nullptr; });
        advance(0.4);
        return presented<CRImageCropController>();
    }
    Value confirm() { return tapAndWait("确定", "onCropImage"); }
};

TEST_F(CropPage, TheScreenShowsOverThePageAndWritesAnUprightCut) {
    auto crop = open(Value::dict({{"isPng", true}}));
    ASSERT_TRUE(crop);
    // Over the page: presented on the controller that holds the web view,
    // covering its window with the dimmed image and the crop square.
    EXPECT_EQ(crop->presentingViewController(), root);
    auto window = root->view()->window();
    EXPECT_TRUE(crop->view()->isDescendantOfView(window.get()));
    EXPECT_EQ(uitest::screenFrame(*crop->view()), uitest::screenFrame(*view));
    auto shot = window->renderImage();
    screentest::keepShot(*window, "crop-screen.png");
    CGRect b = UIScreen::mainScreen().bounds();
    EXPECT_TRUE(near(shot->pixelAt(int(b.midX() - 60) * 2, int(b.midY() - 60) * 2), kRed, 40));
    EXPECT_TRUE(near(shot->pixelAt(int(b.midX() + 60) * 2, int(b.midY() + 60) * 2), kYellow, 40));
    RGBA8 dimmed = shot->pixelAt(8 * 2, int(b.midY() - 60) * 2);
    EXPECT_TRUE(dimmed.r > 20 && dimmed.r < 90 && dimmed.g < 20) << "red under the mask";
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

TEST_F(CropPage, AFailedWriteAnswersZeroClosesAndKeepsTheOldFile) {
    testsupport::writeFile(docs / "cut.png", "the older file");
    ASSERT_TRUE(open());
    files::WriteFault fault(docs / "cut.png", files::WriteStep::write);
    EXPECT_EQ(Value::fromJSON(confirm()[0].stringOr()), Value::dict({{"result", 0}}));
    EXPECT_EQ(fault.hits(), 1);
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_EQ(testsupport::readFile(docs / "cut.png"), "the older file");
}

TEST_F(CropPage, CancelAndUnusableSourcesSendNothing) {
    ASSERT_TRUE(open());
    EXPECT_TRUE(uitest::tapButton("取消"));
    advance(0.4);
    EXPECT_FALSE(root->presentedViewController());
    testsupport::writeFile(docs / "text.png", "not a picture");
    for (auto source : {docs / "text.png", docs / "missing.png", fs::path("/etc/hostname")}) {
        run("KL_IOS.CropImage(" + obj(Value::dict({{"sourcePath", source.string()}, {"savePath", "x.png"}})) + ")");
        // A thumbnail asked for after it is written once the source was read.
        run("KL_IOS.SaveThumbnail(" +
            obj(Value::dict({{"sourcePath", (docs / "four.jpg").string()}, {"savePath", (docs / "after.jpg").string()},
                             {"width", 10}, {"height", 10}})) + ")");
        ASSERT_TRUE(testsupport::waitFor([&] { return fs::exists(docs / "after.jpg"); })) << source;
        fs::remove(docs / "after.jpg");
        advance(0.4);
        EXPECT_FALSE(root->presentedViewController()) << source;
    }
    EXPECT_TRUE(reportedNothing("onCropImage"));
    EXPECT_FALSE(fs::exists(docs / "cut.png"));
}

TEST_F(CropPage, ASourceTheCallBeforeWritesIsCropped) {
    // As the demo game does: a code made into a file, then cropped at once.
    auto code = docs / "code.jpg";
    run("KL_IOS.CreateQRCode(" + lit(obj(Value::dict({{"text", "made just before"}, {"savePath", code.string()}}))) +
        "); KL_IOS.CropImage(" + obj(Value::dict({{"sourcePath", code.string()}, {"savePath", "x.png"}})) + ")");
    ASSERT_TRUE(testsupport::waitFor([&] { return root->presentedViewController() != nullptr; }));
    advance(0.4);
    EXPECT_TRUE(presented<CRImageCropController>());
}

// ---- Select

class SelectPage : public ScreenPage {
protected:
    void SetUp() override {
        ScreenPage::SetUp();
        auto shown = testsupport::quadrants(240, 160, false, kRed, kGreen, kBlue, kYellow);
        // Stored upside down (EXIF 3) and a quarter turned (EXIF 6).
        auto down = CGImage::create(240, 160, false), turned = CGImage::create(160, 240, false);
        for (int y = 0; y < 160; ++y)
            for (int x = 0; x < 240; ++x) down->setPixel(x, y, shown->pixelAt(239 - x, 159 - y));
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 160; ++x) turned->setPixel(x, y, shown->pixelAt(239 - y, x));
        writeJPEG(library / "down.jpg", testsupport::jpegWithOrientation(*down, 3), 300);
        writeJPEG(library / "turned.jpg", testsupport::jpegWithOrientation(*turned, 6), 200);
        auto broken = testsupport::jpegWithOrientation(*down, 1);
        broken.resize(broken.size() / 4);
        writeJPEG(library / "broken.jpg", broken, 100);
        testsupport::TempDir* far = &outside;
        screentest::writePicture(far->path() / "far.png", kGreen);
        fs::create_symlink(far->path() / "far.png", library / "far.png");
        screentest::writePicture(library / "Photo Stream/s.png", kGreen);
        screentest::writePicture(library / "Trip/t.png", kBlue);
        fs::create_directories(library / "Empty");
    }
    static void writeJPEG(const fs::path& path, const Data& bytes, int age) {
        testsupport::writeFile(path, std::string(bytes.begin(), bytes.end()));
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(age));
    }
    std::shared_ptr<PKImagePickerController> open() {
        run("KL_IOS.SelectImage(2)");
        advance(0.4);
        auto picker = presented<PKImagePickerController>();
        EXPECT_TRUE(picker);
        if (picker) EXPECT_TRUE(testsupport::waitFor([&] { return screentest::albums(*picker).assetsGroups().size() == 4; }));
        uitest::layout();
        return picker;
    }
    std::shared_ptr<PKAssetsViewController> openSavedPhotos(PKImagePickerController& picker) {
        return screentest::openAlbum(picker, 0, [this](double s) { advance(s); });
    }
    // A new picker with the saved photos' items ticked.
    bool chooseSavedPhotos(std::initializer_list<long> items) {
        auto picker = open();
        auto grid = picker ? openSavedPhotos(*picker) : nullptr;
        if (!grid) return false;
        for (long item : items) screentest::tapItem(*grid, item);
        return true;
    }
    // Taps Done; the arguments the page's onSelectImage got.
    Value done() { return tapAndWait("完成", "onSelectImage"); }
    testsupport::TempDir outside;
};

TEST_F(SelectPage, TwoPhotosComeUprightInTheTempFolderInTheOrderChosen) {
    auto picker = open();
    ASSERT_TRUE(picker);
    // The list by pixels: the saved photos' newest is the broken file (the
    // placeholder in front), the stream shows its colour, then the albums
    // by name: the empty one the placeholder, the trip its colour.
    auto table = screentest::albums(*picker).tableView();
    auto frontOf = [&](long row) {
        return std::dynamic_pointer_cast<PKAlbumCell>(table->cellForRowAtIndexPath({0, row}))->imageView1;
    };
    ASSERT_TRUE(testsupport::waitFor([&] {
        for (long r = 0; r < 4; ++r)
            if (!frontOf(r)->image()) return false;
        return true;
    }));
    uitest::layout();
    auto window = root->view()->window();
    auto shot = window->renderImage();
    screentest::keepShot(*window, "picker-albums.png");
    auto colourAt = [&](long row) {
        CGRect f = uitest::screenFrame(*frontOf(row));
        return shot->pixelAt(int(f.midX() * 2), int(f.midY() * 2));
    };
    RGBA8 placeholder{239, 239, 244, 255};
    EXPECT_TRUE(near(colourAt(0), placeholder, 6));
    EXPECT_TRUE(near(colourAt(1), kGreen, 30));
    EXPECT_TRUE(near(colourAt(2), placeholder, 6));
    EXPECT_TRUE(near(colourAt(3), kBlue, 30));
    EXPECT_TRUE(uitest::findLabel("相机胶卷") && uitest::findLabel("Photo Stream") && uitest::findLabel("Trip"));

    auto grid = openSavedPhotos(*picker);
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->numberOfAssets(), 3u) << "the link out of the library is no asset";
    screentest::tapItem(*grid, 0);
    screentest::tapItem(*grid, 1);
    screentest::tapItem(*grid, 2);
    EXPECT_EQ(picker->selectedAssetURLs().size(), 2u) << "the third tap is refused";
    screentest::keepShot(*window, "picker-grid.png");

    // The page's function gets the paths as its arguments (the bridge
    // spreads an array).
    auto paths = done();
    ASSERT_EQ(paths.size(), 2u);
    std::string first = paths[0].stringOr(), second = paths[1].stringOr();
    auto temp = (docs / "Temp").string() + "/";
    ASSERT_TRUE(strings::hasPrefix(first, temp) && strings::hasSuffix(first, "_0")) << first;
    EXPECT_EQ(second, first.substr(0, first.size() - 1) + "1") << "the same second, the next counter";
    for (auto& p : {first, second}) {
        auto data = files::readData(p);
        ASSERT_TRUE(data) << p;
        EXPECT_EQ(imageio::sniff(data->data(), data->size()), imageio::Format::JPEG);
        auto image = UIImage::imageWithData(*data);
        EXPECT_EQ(image->size(), CGSize(240, 160)) << p;
        EXPECT_TRUE(near(image->CGImage()->pixelAt(20, 20), kRed, 40)) << p;
        EXPECT_TRUE(near(image->CGImage()->pixelAt(220, 140), kYellow, 40)) << p;
    }
}

TEST_F(SelectPage, CancelSendsNoValueAndPhotosNotReadOrWrittenAreLeftOut) {
    ASSERT_TRUE(open());
    EXPECT_TRUE(tapAndWait("取消", "onSelectImage")[0].isNull());
    EXPECT_FALSE(root->presentedViewController());

    // A broken photo has no picture: only the good one comes.
    ASSERT_TRUE(chooseSavedPhotos({0, 2}));
    EXPECT_EQ(done().size(), 1u);

    // Photos that could not be written are left out.
    ASSERT_TRUE(chooseSavedPhotos({0, 1}));
    {
        files::WriteFault full(docs / "Temp", files::WriteStep::write);
        EXPECT_EQ(done().size(), 0u);
        EXPECT_EQ(full.hits(), 2);
    }

    // A photo deleted before Done: the other one still comes.
    ASSERT_TRUE(chooseSavedPhotos({0, 1}));
    fs::remove(library / "down.jpg");
    auto paths = done();
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(UIImage::imageWithContentsOfFile(paths[0].stringOr())->size(), CGSize(240, 160));
}

// ---- Scan

// A camera frame of 480 × 640 with the picture in its middle.
std::shared_ptr<UIImage> cameraFrame(const std::shared_ptr<UIImage>& picture) {
    auto ctx = CGContext::bitmap(CGSize(480, 640), true, 1);
    ctx->setFillColor(UIColor::whiteColor());
    ctx->fillRect(CGRect(0, 0, 480, 640));
    if (picture) picture->drawInRect(*ctx, CGRect(112, 192, 256, 256));
    return UIImage::imageWithCGImage(ctx->makeImage());
}

class ScanPage : public ScreenPage {
protected:
    std::shared_ptr<QRCodeViewController> scan() {
        run("KL_IOS.ScanQRCode()");
        advance(0.4);
        return presented<QRCodeViewController>();
    }
    // The scanner's one label, and whether its text is drawn there.
    bool shows(const std::string& text) {
        auto label = uitest::findLabel(text);
        if (!label) return false;
        auto shot = root->view()->window()->renderImage();
        CGRect f = uitest::screenFrame(*label);
        return countPixels(*shot, f, [](RGBA8 p) { return p.r < 80 && p.g < 80 && p.b < 80; }) > 40;
    }
};

TEST_F(ScanPage, ACodeInFrontOfTheCameraReachesThePageAsTheSameText) {
    const std::string text = "quote \" \\ backslash </script><script>window.owned=1</script>\nline 中文";
    run("KL_IOS.CreateQRCode(" + lit(obj(Value::dict({{"text", text}, {"savePath", (docs / "qr.jpg").string()}}))) + ")");
    ASSERT_TRUE(testsupport::waitFor([&] { return fs::exists(docs / "qr.jpg"); }));
    auto code = UIImage::imageWithContentsOfFile(docs / "qr.jpg");
    ASSERT_TRUE(code);
    Camera::setTestImage(cameraFrame(code));
    size_t from = probe->messages.size();
    run("KL_IOS.ScanQRCode(); KL_IOS.ScanQRCode()");
    advance(0.4);
    auto scanner = presented<QRCodeViewController>();
    ASSERT_TRUE(scanner);
    auto args = reportAfter(from, "onScanQRCode");
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(args[0], Value(text));
    run("");
    EXPECT_EQ(reportsTagged("onScanQRCode", from), 1u) << "two calls, one scanner, one answer";
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(scanner->session) << "the camera is released";
    EXPECT_TRUE(webtest::evaluate(*view, "window.owned === undefined").value.boolValue());
}

TEST_F(ScanPage, BackSendsNoValueWhateverTheCameraDid) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> setUp;
        const char* text;  // shown on the scanner
    };
    testsupport::TempDir facts;
    for (const Case& c : {Case{"scanning", [](const fs::path&) { Camera::setTestImage(cameraFrame(nullptr)); },
                               QRCodeViewController::kHintText},
                          Case{"no camera", [](const fs::path& f) { device::setFactsRoot(f); },
                               QRCodeViewController::kInputFailedText},
                          Case{"denied",
                               [](const fs::path& f) {
                                   fs::create_directories(f / "sys/class/video4linux/video0");
                                   device::setFactsRoot(f);
                               },
                               QRCodeViewController::kDeniedText}}) {
        SCOPED_TRACE(c.name);
        c.setUp(facts.path());
        auto scanner = scan();
        ASSERT_TRUE(scanner);
        if (c.text == QRCodeViewController::kHintText) {
            EXPECT_TRUE(uitest::findLabel(c.text));
            EXPECT_TRUE(scanner->isScanning);
            ASSERT_TRUE(testsupport::waitFor([&] { return scanner->previewLayer && scanner->previewLayer->image(); }));
            screentest::keepShot(*root->view()->window(), "scanner.png");
            // The square fits the screen's width less its margins: a dimmed frame shows at both sides.
            CGRect area = uitest::screenFrame(*scanner->contentView);
            const double margin = QRCodeViewController::kSquareMargin;
            EXPECT_EQ(QRCodeViewController::scanSquareSide(area.width(), area.height()), area.width() - 2 * margin);
            EXPECT_EQ(QRCodeViewController::scanSquareSide(400, 300), 200);  // two thirds of a low area
            auto shot = root->view()->window()->renderImage();
            auto red = [&](double x) { return shot->pixelAt(int(x * 2), int(area.midY() * 2)).r; };
            EXPECT_NEAR(red(area.minX() + margin / 2), 128, 12);
            EXPECT_NEAR(red(area.maxX() - margin / 2), 128, 12);
            EXPECT_EQ(red(area.minX() + margin + 4), 255);
            EXPECT_EQ(red(area.midX()), 255);
        } else {
            EXPECT_TRUE(shows(c.text)) << "the text is drawn in black";
            EXPECT_FALSE(scanner->isScanning);
            screentest::keepShot(*root->view()->window(),
                                 std::string("scanner-") +
                                     (c.text == QRCodeViewController::kDeniedText ? "denied" : "nocamera") + ".png");
        }
        size_t from = probe->messages.size();
        EXPECT_TRUE(uitest::tapButton("〈 返回"));
        auto args = reportAfter(from, "onScanQRCode");
        EXPECT_TRUE(args[0].isNull());
        EXPECT_FALSE(QRCodeManager::isScannerHeld());
        Camera::setTestImage(nullptr);
        device::setFactsRoot("/");
    }
}

// ---- Photograph

class PhotoPage : public ScreenPage {
protected:
    void SetUp() override {
        ScreenPage::SetUp();
        Camera::setTestImage(UIImage::imageWithCGImage(testsupport::quadrants(320, 240, false, kRed, kGreen, kBlue, kYellow)));
    }
    // Opens the camera screen with the page's arguments and waits for a frame.
    bool openCamera(const Value& args) {
        run("KL_IOS.Photograph(" + obj(args) + ")");
        advance(0.4);
        return testsupport::waitFor([&] {
            auto shutter = std::dynamic_pointer_cast<UIButton>(
                uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "camera_shutter"; }));
            return shutter && shutter->isEnabled();
        });
    }
    Value shoot() {
        size_t from = probe->messages.size();
        auto shutter = uitest::findView([](UIView& v) { return v.accessibilityIdentifier() == "camera_shutter"; });
        EXPECT_TRUE(shutter && uitest::tapView(*shutter));
        auto args = reportAfter(from, "onPhotograph");
        advance(0.4);
        return args.size() == 1 ? Value::fromJSON(args[0].stringOr()).value_or(Value()) : Value();
    }
};

TEST_F(PhotoPage, ThePictureIsWrittenAsPNGWholeOrAsAThumbnail) {
    auto path = (docs / "shot.png").string();
    ASSERT_TRUE(openCamera(Value::dict({{"savePath", path}, {"width", 100}, {"height", 100}, {"crop", true}})));
    screentest::keepShot(*root->view()->window(), "camera.png");
    EXPECT_EQ(shoot(), Value::dict({{"result", true}}));
    auto data = files::readData(path);
    ASSERT_TRUE(data);
    EXPECT_EQ(imageio::sniff(data->data(), data->size()), imageio::Format::PNG);
    auto thumb = UIImage::imageWithData(*data);
    EXPECT_EQ(thumb->size(), CGSize(100, 100));
    EXPECT_TRUE(near(thumb->CGImage()->pixelAt(10, 10), kRed, 30));
    EXPECT_FALSE(root->presentedViewController());

    ASSERT_TRUE(openCamera(Value::dict({{"savePath", path}, {"width", 0}})));
    EXPECT_EQ(shoot(), Value::dict({{"result", true}}));
    EXPECT_EQ(UIImage::imageWithContentsOfFile(path)->size(), CGSize(320, 240)) << "width 0: the whole picture";
}

TEST_F(PhotoPage, AFailedWriteAnswersSaveFileFailAndKeepsTheOldFile) {
    auto path = docs / "shot.png";
    testsupport::writeFile(path, "the older file");
    ASSERT_TRUE(openCamera(Value::dict({{"savePath", path.string()}})));
    files::WriteFault fault(path, files::WriteStep::rename);
    EXPECT_EQ(shoot(), Value::dict({{"result", false}, {"msg", "save file fail"}}));
    EXPECT_EQ(testsupport::readFile(path), "the older file");
}

TEST_F(PhotoPage, CancelAnswersUserCancel) {
    ASSERT_TRUE(openCamera(Value::dict({{"savePath", (docs / "none.png").string()}})));
    auto args = tapAndWait("取消", "onPhotograph");
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(Value::fromJSON(args[0].stringOr()), Value::dict({{"result", false}, {"msg", "user cancel"}}));
    EXPECT_FALSE(fs::exists(docs / "none.png"));
}

// ---- The in-app page

class WebPage : public ScreenPage {
protected:
    void SetUp() override {
        ScreenPage::SetUp();
        URLOpener::install(opener);
        server.on("GET", "/page", [](const standin::Request&, standin::JournalEntry&) {
            return standin::Reply::text(
                "<html><body style='background: rgb(250, 200, 40)'><p id=text>in-app page</p>"
                "<a id=app href='otherapp://x'>app</a> <a id=file href='file:///etc/hostname'>file</a></body></html>",
                "text/html");
        });
        server.on("GET", "/slow", [](const standin::Request&, standin::JournalEntry&) { return standin::Reply::hang(); });
        ASSERT_TRUE(server.start());
    }
    void TearDown() override {
        UIWebViewController::Close();
        advance(0.5);
        server.stop();
        URLOpener::install(nullptr);
        ScreenPage::TearDown();
    }
    std::shared_ptr<UIWebViewController> open(const std::string& path) {
        EXPECT_TRUE(UIWebViewController::OpenUrl(server.baseURL() + path));
        advance(0.4);
        return UIWebViewController::instance();
    }
    // Clicks a link of the in-app page and waits for the game page's
    // onOpenUrl; the object it got.
    Value follow(UIWebViewController& page, const std::string& id) {
        size_t from = probe->messages.size();
        webtest::evaluate(*page.webView, "document.getElementById('" + id + "').click(); 1");
        return bridgetest::waitForReport(*view, *probe, "", "onOpenUrl", from)[0];
    }

    std::shared_ptr<RecordingURLOpener> opener = std::make_shared<RecordingURLOpener>();
    standin::HttpServer server{"pages"};
};

TEST_F(WebPage, LoadsWithAHintAndSendsOtherApplicationsLinksAway) {
    EXPECT_FALSE(UIWebViewController::OpenUrl(std::nullopt));
    EXPECT_FALSE(UIWebViewController::OpenUrl(std::string("file:///etc/hostname")));
    auto page = open("/page");
    ASSERT_TRUE(page && page->webView);
    EXPECT_FALSE(page->tipsView->isHidden()) << "the hint shows while loading";
    ASSERT_TRUE(testsupport::waitFor([&] { return page->tipsView->isHidden(); })) << "and hides once loaded";
    // Above the game page and the floating button's window.
    auto helperLevel = std::make_shared<UIWindow>();
    helperLevel->setWindowLevel(100);
    helperLevel->setHidden(false);
    auto windows = UIApplication::sharedApplication().windows();
    EXPECT_EQ(windows.back(), page->pageWindow());
    EXPECT_EQ(UIApplication::sharedApplication().dispatchTouch(7, UITouchPhase::Began, {20, 200}), true);
    EXPECT_TRUE(page->webView->isDescendantOfView(page->pageWindow().get()));
    helperLevel->setHidden(true);
    screentest::keepShot(*page->pageWindow(), "inapp-page.png");

    EXPECT_EQ(follow(*page, "app"), Value::dict({{"url", "otherapp://x"}, {"result", true}}));
    EXPECT_EQ(opener->opened, std::vector<std::string>{"otherapp://x"});
    // The engine itself keeps a web page from opening files; what reaches
    // the policy from other roads opens nothing either.
    for (auto url : {"file:///etc/hostname", "data:text/html,x", "javascript:alert(1)"}) {
        WKNavigationAction action;
        action.request = NSURLRequest::requestWithURL(*NSURL::URLWithString(url));
        std::optional<WKNavigationActionPolicy> decided;
        size_t from = probe->messages.size();
        page->webView_decidePolicyForNavigationAction_decisionHandler(
            *page->webView, action, [&](WKNavigationActionPolicy p) { decided = p; });
        EXPECT_EQ(decided, WKNavigationActionPolicy::Cancel) << url;
        EXPECT_EQ(bridgetest::waitForReport(*view, *probe, "", "onOpenUrl", from)[0],
                  Value::dict({{"url", url}, {"result", false}}));
    }
    EXPECT_EQ(opener->opened.size(), 1u) << "only the other application's link was handed over";
    EXPECT_EQ(webtest::evaluate(*page->webView, "document.getElementById('text').textContent").value,
              Value("in-app page"))
        << "the page stays";

    UIWebViewController::Close();
    advance(0.4);
    EXPECT_FALSE(page->presentingViewController());
    EXPECT_TRUE(page->pageWindow()->isHidden());
    EXPECT_TRUE(webtest::waitForPage(*page->webView, "!document.getElementById('text')")) << "the content is dropped";
}

TEST_F(WebPage, ALoadThatHangsIsStoppedAfterFifteenSeconds) {
    auto page = open("/slow");
    ASSERT_TRUE(page);
    // The request has reached the server, which holds it.
    ASSERT_TRUE(testsupport::waitFor([&] { return server.journal().count("/slow") > 0; }));
    ASSERT_TRUE(page->webView->isLoading());
    screentest::keepShot(*page->pageWindow(), "inapp-page-loading.png");
    advance(14.5);
    EXPECT_TRUE(page->webView->isLoading());
    advance(0.6);
    EXPECT_TRUE(testsupport::waitFor([&] { return !page->webView->isLoading(); }));
    EXPECT_FALSE(page->tipsView->isHidden()) << "the hint stays: the page never loaded";
}

}  // namespace
