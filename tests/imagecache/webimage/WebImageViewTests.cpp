#include <cstdlib>

#include "WebImageTestSupport.h"
#include "imagecache/ZVImageCoder.h"
#include "imagecache/setters/CALayerZVWebImage.h"
#include "imagecache/setters/UIButtonZVWebImage.h"
#include "imagecache/setters/UIImageViewZVExtension.h"
#include "imagecache/setters/UIImageViewZVWebImage.h"
#include "platform/dispatch/RunLoop.h"
#include "standin/RawServer.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UITableView.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UITestSupport.h"

using namespace std::chrono_literals;
using namespace webimagetest;
using standin::Reply;
using namespace ZVWebImage;

namespace {

const RGBA8 kRed{210, 40, 40, 255}, kBlue{40, 90, 200, 255}, kGreen{40, 170, 90, 255};

std::shared_ptr<UIImage> plain(RGBA8 colour, int side = 8) {
    auto cg = CGImage::create(side, side, false);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) cg->setPixel(x, y, colour);
    return ZVImageCoder::ZV_imageByDecoded(UIImage::imageWithCGImage(cg, 2));
}

bool near(RGBA8 a, RGBA8 b, int tolerance = 8) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// The colour of an image's middle-left edge (outside the disc of `disc`).
RGBA8 edgeOf(const UIImage& image) { return image.CGImage()->pixelAt(1, image.CGImage()->height() / 2); }

class WebImageViewTest : public UITest, public WebImageEnvironment {
protected:
    void SetUp() override {
        UITest::SetUp();
        setUpEnvironment();
        testsupport::writeFile(bundle.path() / "ZVSDK.bundle" / "wi-place.png", text(png(*plain(kGreen, 16)->CGImage())));
    }
    void TearDown() override {
        tearDownEnvironment();
        UITest::TearDown();
    }
    std::shared_ptr<UIImageView> imageView() {
        auto v = std::make_shared<UIImageView>(CGRect(0, 0, 40, 40));
        return v;
    }
    // Waits for the server to have been asked for `path` `n` times.
    bool asked(const std::string& path, size_t n = 1) {
        return testsupport::waitFor([&] { return server.journal().count(path) >= n; });
    }
    void settle() {
        drainWebImageThreads();
        RunLoop::drain();
    }

    testsupport::TempBundle bundle;
};

TEST_F(WebImageViewTest, AnImageInMemoryIsSetBeforeTheCallReturns) {
    auto image = plain(kBlue);
    cache->setImage(image, nullptr, url("/m.png"), ZVImageCacheTypeMemory);
    auto view = imageView();
    std::optional<Call> seen;
    ZV_setImageWithURL(*view, url("/m.png"), plain(kRed), 0, manager, {}, {},
                       [&](auto img, auto& u, auto from, auto stage, auto& error) { seen = Call{img, u.absoluteString(), from, stage, error}; });
    EXPECT_EQ(view->image(), image);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->from, ZVWebImageSourceMemoryImmediate);
    EXPECT_EQ(seen->stage, ZVWebImageStageFinished);
    EXPECT_EQ(ZV_imageURL(*view)->absoluteString(), url("/m.png"));
    settle();
    EXPECT_EQ(server.journal().size(), 0u);
}

TEST_F(WebImageViewTest, ANewURLSupersedesTheOneStillLoading) {
    server.script("/a.png", Reply::held({text(png(*disc(8, 8, kRed)))}, "image/png"));
    serve("/b.png", png(*disc(8, 8, kBlue)), "image/png");
    auto view = imageView();
    Calls a, b;
    ZV_setImageWithURL(*view, url("/a.png"), nullptr, 0, manager, {}, {}, a.handler());
    ASSERT_TRUE(asked("/a.png"));
    ZV_setImageWithURL(*view, url("/b.png"), nullptr, 0, manager, {}, {}, b.handler());
    auto endA = a.waitEnd(), endB = b.waitEnd();
    ASSERT_TRUE(endA && endB);
    EXPECT_EQ(endA->stage, ZVWebImageStageCancelled);
    EXPECT_EQ(endA->image, nullptr);
    EXPECT_EQ(endB->stage, ZVWebImageStageFinished);
    server.releasePieces();
    settle();
    ASSERT_NE(view->image(), nullptr);
    EXPECT_TRUE(near(edgeOf(*view->image()), kBlue));
    EXPECT_EQ(a.all().size(), 1u);
}

TEST_F(WebImageViewTest, CancelKeepsThePlaceholderAndManualSetLeavesTheViewAlone) {
    server.script("/slow.png", Reply::held({text(png(*disc(8, 8)))}, "image/png"));
    auto view = imageView();
    auto placeholder = plain(kRed);
    Calls cancelled;
    ZV_setImageWithURL(*view, url("/slow.png"), placeholder, 0, manager, {}, {}, cancelled.handler());
    ASSERT_TRUE(asked("/slow.png"));
    ZV_cancelCurrentImageRequest(*view);
    auto end = cancelled.waitEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->stage, ZVWebImageStageCancelled);
    server.releasePieces();
    settle();
    EXPECT_EQ(view->image(), placeholder);
    EXPECT_FALSE(ZV_imageURL(*view));

    serve("/manual.png", png(*disc(8, 8)), "image/png");
    Calls manual;
    ZV_setImageWithURL(*view, url("/manual.png"), placeholder, ZVWebImageOptionManualSet, manager, {}, {},
                       manual.handler());
    end = manual.waitEnd();
    ASSERT_TRUE(end);
    EXPECT_NE(end->image, nullptr);
    EXPECT_EQ(view->image(), placeholder);
}

TEST_F(WebImageViewTest, FadesTakeAFifthOfASecondForTheFinalImageAndDrawTheBlend) {
    auto window = makeWindow();
    auto view = imageView();
    window->rootViewController()->view()->addSubview(view);
    serve("/fade.png", png(*plain(kBlue, 40)->CGImage()), "image/png");
    std::optional<double> fadeAtFinal;
    ZV_setImageWithURL(*view, url("/fade.png"), plain(kRed, 40), ZVWebImageOptionFadeIn, manager, {}, {},
                       [&](auto, auto&, auto, auto stage, auto&) {
                           if (auto a = view->layer()->animationForKey(ZVWebImageFadeAnimationKey)) fadeAtFinal = a->duration;
                       });
    ASSERT_TRUE(testsupport::waitFor([&] { return fadeAtFinal.has_value(); }));
    EXPECT_DOUBLE_EQ(*fadeAtFinal, 0.2);
    auto pixel = [&] { return window->renderImage(2)->pixelAt(40, 40); };
    RGBA8 start = pixel();
    EXPECT_TRUE(near(start, kRed)) << int(start.r) << "," << int(start.b);
    advance(0.1);  // half way: as much of each
    RGBA8 middle = pixel();
    EXPECT_NEAR(middle.r, (kRed.r + kBlue.r) / 2, 12);
    EXPECT_NEAR(middle.b, (kRed.b + kBlue.b) / 2, 12);
    advance(0.11);
    EXPECT_TRUE(near(pixel(), kBlue));
    EXPECT_TRUE(view->layer()->animationKeys().empty());
}

TEST_F(WebImageViewTest, PartialImagesFadeForTwoFifthsOfASecondAndButtonsNever) {
    Data file = png(*disc(120, 120));
    std::vector<std::string> pieces{text(Data(file.begin(), file.begin() + long(file.size() / 2))),
                                    text(Data(file.begin() + long(file.size() / 2), file.end()))};
    server.script("/partial.png", Reply::held(pieces, "image/png"));
    auto view = imageView();
    std::vector<std::pair<long, double>> fades;  // stage, duration
    ZV_setImageWithURL(*view, url("/partial.png"), nullptr, ZVWebImageOptionFadeIn | ZVWebImageOptionProgressiveDisplay,
                       manager, {}, {}, [&](auto, auto&, auto, auto stage, auto&) {
                           auto a = view->layer()->animationForKey(ZVWebImageFadeAnimationKey);
                           fades.push_back({stage, a ? a->duration : 0});
                       });
    ASSERT_TRUE(asked("/partial.png"));
    server.releasePieces();
    ASSERT_TRUE(testsupport::waitFor([&] { return !fades.empty(); }));
    server.releasePieces();
    ASSERT_TRUE(testsupport::waitFor([&] { return fades.back().first == ZVWebImageStageFinished; }));
    EXPECT_EQ(fades.front(), (std::pair<long, double>{ZVWebImageStageIntermediate, 0.4}));
    EXPECT_EQ(fades.back(), (std::pair<long, double>{ZVWebImageStageFinished, 0.2}));

    auto button = std::make_shared<UIButton>(CGRect(0, 0, 40, 40));
    serve("/button.png", png(*disc(8, 8)), "image/png");
    Calls calls;
    ZV_setImageWithURL(*button, url("/button.png"), UIControlStateNormal, nullptr, ZVWebImageOptionFadeIn, manager, {},
                       {}, calls.handler());
    ASSERT_TRUE(calls.waitEnd());
    settle();
    EXPECT_NE(button->imageForState(UIControlStateNormal), nullptr);
    EXPECT_TRUE(button->layer()->animationKeys().empty());
    EXPECT_TRUE(button->imageView()->layer()->animationKeys().empty());
}

TEST_F(WebImageViewTest, AButtonStateOfTwoBitsMakesTwoIndependentRequests) {
    server.script("/both.png", Reply::held({text(png(*disc(8, 8, kBlue)))}, "image/png"), 2);
    auto button = std::make_shared<UIButton>(CGRect(0, 0, 40, 40));
    Calls calls;
    ZV_setImageWithURL(*button, url("/both.png"), UIControlStateHighlighted | UIControlStateSelected, nullptr, 0,
                       manager, {}, {}, calls.handler());
    ASSERT_TRUE(asked("/both.png", 2));
    server.releasePieces(2);
    ASSERT_TRUE(testsupport::waitFor([&] { return calls.endCount() == 2; }));
    settle();
    EXPECT_NE(button->imageForState(UIControlStateHighlighted), nullptr);
    EXPECT_NE(button->imageForState(UIControlStateSelected), nullptr);
    EXPECT_EQ(button->imageForState(UIControlStateNormal), nullptr);

    serve("/h.png", png(*disc(8, 8)), "image/png");
    serve("/s.png", png(*disc(8, 8)), "image/png");
    ZV_setImageWithURL(*button, url("/s.png"), UIControlStateSelected, nullptr);
    ZV_setImageWithURL(*button, url("/h.png"), UIControlStateHighlighted, nullptr);
    EXPECT_EQ(ZV_imageURLForState(*button, UIControlStateHighlighted | UIControlStateSelected)->absoluteString(), url("/h.png"));
    EXPECT_EQ(ZV_imageURLForState(*button, UIControlStateSelected)->absoluteString(), url("/s.png"));
    EXPECT_FALSE(ZV_backgroundImageURLForState(*button, UIControlStateSelected)) << "background images apart";
    ZV_cancelImageRequestForState(*button, UIControlStateHighlighted | UIControlStateSelected);
}

TEST_F(WebImageViewTest, LayersTakeTheBitmapAndAnnotationViewsTheImage) {
    serve("/layer.png", png(*disc(12, 10)), "image/png");
    auto layer = CALayer::layer();
    Calls layerCalls;
    ZV_setImageWithURL(*layer, url("/layer.png"), nullptr, 0, manager, {}, {}, layerCalls.handler());
    auto end = layerCalls.waitEnd();
    ASSERT_TRUE(end && end->image);
    EXPECT_EQ(layer->contents(), end->image->CGImage());

    auto pin = std::make_shared<MKAnnotationView>();
    Calls pinCalls;
    ZV_setImageWithURL(*pin, url("/layer.png"), nullptr, 0, manager, {}, {}, pinCalls.handler());
    ASSERT_TRUE(pinCalls.waitEnd());
    ASSERT_NE(pin->image(), nullptr);
    EXPECT_EQ(pin->bounds().size, pin->image()->size());
}

TEST_F(WebImageViewTest, GameIconsFromTextThatIsAnAddressOrNot) {
    serve("/icon.png", png(*disc(8, 8, kBlue)), "image/png");
    auto view = imageView();
    ZVExtension::setGameIconWithUrlStr(*view, "", "wi-place.png");
    ASSERT_NE(view->image(), nullptr);
    EXPECT_TRUE(near(view->image()->CGImage()->pixelAt(0, 0), kGreen));

    // An address with no name clears the image until it has loaded.
    ZVExtension::setGameIconWithUrlStr(*view, url("/icon.png"), "");
    EXPECT_EQ(view->image(), nullptr);
    ASSERT_TRUE(testsupport::waitFor([&] { return view->image() != nullptr; }));
    EXPECT_TRUE(near(edgeOf(*view->image()), kBlue));

    // No scheme, no address: the placeholder only, nothing asked for.
    size_t before = server.journal().size();
    ZVExtension::setGameIconWithUrlStr(*view, "www.x.com/a.png", "wi-place.png");
    EXPECT_TRUE(near(view->image()->CGImage()->pixelAt(0, 0), kGreen));
    settle();
    EXPECT_EQ(server.journal().size(), before);
}

// A reused cell moved from an address still loading to text that is none
// never shows the first address's image, whether a placeholder is named or not.
TEST_F(WebImageViewTest, AReusedCellNeverShowsItsPreviousAddressesImage) {
    for (std::string name : {"wi-place.png", ""}) {
        std::string path = "/old-" + std::to_string(name.size()) + ".png";
        server.script(path, Reply::held({text(png(*disc(8, 8, kRed)))}, "image/png"));
        auto view = imageView();
        ZVExtension::setGameIconWithUrlStr(*view, url(path), name);
        ASSERT_TRUE(asked(path));
        ZVExtension::setGameIconWithUrlStr(*view, "not an address", name);
        server.releasePieces();
        settle();
        auto shown = view->image();
        if (name.empty()) EXPECT_EQ(shown, nullptr);
        else EXPECT_TRUE(shown && near(shown->CGImage()->pixelAt(0, 0), kGreen));
        EXPECT_FALSE(cache->containsImageForKey(url(path))) << "the old request was cancelled, not finished";
    }
}

TEST_F(WebImageViewTest, AChineseFileNameIsPercentEncodedAndLoads) {
    // The raw server sees the request line as sent, and answers only the encoded path.
    standin::RawServer raw;
    ASSERT_TRUE(raw.start());
    std::string bytes = text(png(*disc(8, 8, kBlue)));
    raw.script("/pictures/%E5%9B%BE%E6%A0%87.png", "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                                                       std::to_string(bytes.size()) + "\r\nConnection: close\r\n\r\n" + bytes);
    auto view = imageView();
    ZVExtension::setGameIconWithUrlStr(*view, raw.baseURL() + "/pictures/图标.png", "");
    ASSERT_TRUE(testsupport::waitFor([&] { return view->image() != nullptr; }));
    EXPECT_TRUE(near(edgeOf(*view->image()), kBlue));
}

TEST_F(WebImageViewTest, AViewReleasedMidDownloadIsLeftAlone) {
    server.script("/gone.png", Reply::held({text(png(*disc(8, 8)))}, "image/png"));
    auto view = imageView();
    Calls calls;
    ZV_setImageWithURL(*view, url("/gone.png"), plain(kRed), 0, manager, {}, {}, calls.handler());
    ASSERT_TRUE(asked("/gone.png"));
    view.reset();
    auto end = calls.waitEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->stage, ZVWebImageStageCancelled);
    server.releasePieces();
    settle();
    EXPECT_EQ(calls.all().size(), 1u);
}

// Icons in the rows of a table, from the server through the shared manager.
class IconCell : public UITableViewCell {
public:
    using UITableViewCell::UITableViewCell;
    // The icon at the left, the title beside it (made on first use: the
    // cell is not owned yet while it is being constructed).
    const std::shared_ptr<UIImageView>& icon() {
        if (!icon_) {
            icon_ = std::make_shared<UIImageView>(CGRect(16, 8, 48, 48));
            contentView()->addSubview(icon_);
        }
        return icon_;
    }
    const std::shared_ptr<UILabel>& title() {
        if (!title_) {
            title_ = std::make_shared<UILabel>(CGRect(76, 0, 280, 64));
            title_->setFont(UIFont::systemFontOfSize(16));
            contentView()->addSubview(title_);
        }
        return title_;
    }

private:
    std::shared_ptr<UIImageView> icon_;
    std::shared_ptr<UILabel> title_;
};

class IconRows : public UITableViewDataSource, public UITableViewDelegate {
public:
    std::vector<std::string> urls;
    long tableView_numberOfRowsInSection(UITableView&, long) override { return long(urls.size()); }
    std::shared_ptr<UITableViewCell> tableView_cellForRowAtIndexPath(UITableView& t, const NSIndexPath& ip) override {
        auto cell = std::static_pointer_cast<IconCell>(t.dequeueReusableCellWithIdentifier("icon", ip));
        cell->title()->setText("游戏 " + std::to_string(ip.row + 1));
        ZVExtension::setGameIconWithUrlStr(*cell->icon(), urls[size_t(ip.row)], "wi-place.png");
        return cell;
    }
    std::optional<double> tableView_heightForRowAtIndexPath(UITableView&, const NSIndexPath&) override { return 64; }
};

TEST_F(WebImageViewTest, ATableOfIconCellsRendersTheServersIcons) {
    const std::vector<RGBA8> colours{kBlue, kRed, kGreen, {230, 150, 30, 255}, {120, 60, 190, 255}, {30, 160, 180, 255}};
    auto rows = std::make_shared<IconRows>();
    for (size_t i = 0; i < colours.size(); ++i) {
        std::string path = "/icons/" + std::to_string(i) + (i % 2 ? ".jpg" : ".png");
        auto picture = disc(96, 96, colours[i]);
        serve(path, i % 2 ? jpeg(*picture) : png(*picture), i % 2 ? "image/jpeg" : "image/png");
        rows->urls.push_back(url(path));
    }
    auto window = makeWindow();
    auto table = std::make_shared<UITableView>(window->bounds());
    table->registerClass<IconCell>("icon");
    table->dataSource = rows;
    table->setDelegate(rows);
    window->rootViewController()->view()->addSubview(table);
    table->reloadData();
    window->layoutIfNeeded();
    ASSERT_TRUE(testsupport::waitFor([&] { return server.journal().size() == colours.size(); }));
    drainWebImageThreads();
    ASSERT_TRUE(testsupport::waitFor([&] {
        for (auto& cell : table->visibleCells())
            if (auto image = std::static_pointer_cast<IconCell>(cell)->icon()->image(); !image || image->size().width != 48)
                return false;
        return true;
    }));
    auto shot = window->renderImage(2);
    if (const char* dir = std::getenv("KORVEL_SHOT_DIR")) window->writePNG(std::string(dir) + "/web-image-icons.png");
    for (size_t i = 0; i < colours.size(); ++i) {
        int top = int(i) * 64 + 8;
        EXPECT_TRUE(near(shot->pixelAt((16 + 3) * 2, (top + 24) * 2), colours[i], 14)) << "row " << i << " edge";
        EXPECT_TRUE(near(shot->pixelAt((16 + 24) * 2, (top + 24) * 2), {255, 255, 255, 255}, 14)) << "row " << i << " disc";
    }
}

}  // namespace
