#include <gtest/gtest.h>

#include <future>
#include <cstdlib>
#include <set>

#include "../platform/ui/UITestSupport.h"
#include "CodingTestSupport.h"
#include "imagecache/ZVAnimatedImageView.h"
#include "imagecache/ZVImage.h"
#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/ui/CALayer.h"
#include "support/TestSupport.h"

namespace {

// A frame that reports where it was destroyed.
struct FrameDeaths {
    std::mutex mutex;
    std::map<size_t, bool> onMain;  // frame index → destroyed on the main thread
};

class TracedFrame : public UIImage {
public:
    TracedFrame(size_t index, std::shared_ptr<FrameDeaths> deaths)
        : UIImage(CGImage::create(4, 4, true), 1, UIImageOrientation::Up), index_(index), deaths_(std::move(deaths)) {
        setDecodedForDisplay(true);  // taken into the buffer as it is
    }
    ~TracedFrame() override {
        if (!deaths_) return;
        std::lock_guard lock(deaths_->mutex);
        deaths_->onMain[index_] = isMainThread();
    }

private:
    size_t index_;
    std::shared_ptr<FrameDeaths> deaths_;
};

// An animated image of made-up frames; frames from `gatedFrom` on wait
// until openGate().
class FakeAnimation : public UIImage, public ZVAnimatedImage {
public:
    FakeAnimation(size_t frames, size_t bytesPerFrame, double delay = 1.0 / 60, size_t gatedFrom = SIZE_MAX)
        : UIImage(CGImage::create(4, 4, true), 1, UIImageOrientation::Up),
          frames_(frames), bytes_(bytesPerFrame), delay_(delay), gatedFrom_(gatedFrom) {}
    size_t animatedImageFrameCount() const override { return frames_; }
    size_t animatedImageLoopCount() const override { return 0; }
    size_t animatedImageBytesPerFrame() const override { return bytes_; }
    double animatedImageDurationAtIndex(size_t) const override { return delay_; }
    std::shared_ptr<UIImage> animatedImageFrameAtIndex(size_t index) const override {
        if (index >= gatedFrom_) opened_.wait();
        return std::make_shared<TracedFrame>(index, deaths);
    }
    void openGate() { gate_.set_value(); }
    std::shared_ptr<FrameDeaths> deaths = std::make_shared<FrameDeaths>();

private:
    size_t frames_, bytes_;
    double delay_;
    size_t gatedFrom_;
    std::promise<void> gate_;
    std::shared_future<void> opened_ = gate_.get_future().share();
};

class AnimatedImageViewTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        savedFactsRoot = device::factsRoot();
        std::filesystem::create_directories(facts.path() / "proc");
        testsupport::writeFile(facts.path() / "proc/meminfo", "MemTotal: 67108864 kB\nMemAvailable: 67108864 kB\n");
        device::setFactsRoot(facts.path());
        ZVAnimatedImageView::setRandomSourceForTesting([] { return 1000u; });
        window = makeWindow();
    }
    void TearDown() override {
        ZVAnimatedImageView::setRandomSourceForTesting(nullptr);
        device::setFactsRoot(savedFactsRoot);
        UITest::TearDown();
    }
    std::shared_ptr<ZVAnimatedImageView> showing(std::shared_ptr<UIImage> image) {
        auto view = ZVAnimatedImageView::create(CGRect(10, 100, 40, 40));
        view->setImage(std::move(image));
        window->rootViewController()->view()->addSubview(view);
        return view;
    }
    // One display-link frame, and the fetch it may have queued.
    void frame(const ZVAnimatedImageView& view) {
        advance(1.0 / 60);
        view.waitUntilFetchesFinished();
    }

    testsupport::TempDir facts;
    std::filesystem::path savedFactsRoot;
    std::shared_ptr<UIWindow> window;
};

Data threeFrameGIF(int loops) {
    auto f = [](uint8_t i) { return codingtest::GIFFrame{0, 0, 2, 2, {i, i, i, i}, -1, 0, 10}; };
    return codingtest::buildGIF(2, 2, {f(0), f(1), f(2)}, loops);
}

TEST_F(AnimatedImageViewTest, LoopCountStopsOnTheLastFrameAndStartPlaysItAgain) {
    auto gif = ZVImage::imageWithData(threeFrameGIF(2), 1);
    ASSERT_EQ(gif->animatedImageLoopCount(), 2u);
    auto view = showing(gif);
    std::vector<size_t> shown;
    view->currentAnimatedImageIndexDidChange = [&](size_t i) { shown.push_back(i); };
    ASSERT_TRUE(view->isAnimating());
    for (int i = 0; i < 300 && view->isAnimating(); ++i) frame(*view);
    EXPECT_EQ(shown, (std::vector<size_t>{1, 2, 0, 1, 2}));
    EXPECT_EQ(view->currentAnimatedImageIndex(), 2u);

    view->startAnimating();
    for (int i = 0; i < 300 && view->isAnimating(); ++i) frame(*view);
    EXPECT_EQ(shown, (std::vector<size_t>{1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2}));
}

TEST_F(AnimatedImageViewTest, BufferSizeFollowsTheLimitAndTheMemory) {
    auto view = ZVAnimatedImageView::create();
    view->setMaxBufferSize(1);
    view->setImage(std::make_shared<FakeAnimation>(10, 4 << 20));
    EXPECT_EQ(view->maxBufferCount(), 1u);

    auto roomy = ZVAnimatedImageView::create();
    roomy->setImage(std::make_shared<FakeAnimation>(1000, 10 * 1024));
    EXPECT_EQ(roomy->maxBufferCount(), 512u);
}

TEST_F(AnimatedImageViewTest, AMissingFrameHoldsThePreviousAndIsNotSkipped) {
    auto image = std::make_shared<FakeAnimation>(4, 1024, 0.1, 1);
    auto view = showing(image);
    for (int i = 0; i < 40; ++i) advance(1.0 / 60);  // 0.66 s: frame 1 is still decoding
    EXPECT_EQ(view->currentAnimatedImageIndex(), 0u);
    image->openGate();
    view->waitUntilFetchesFinished();
    frame(*view);
    EXPECT_EQ(view->currentAnimatedImageIndex(), 1u);  // not 2 or beyond
    for (int i = 0; i < 3; ++i) frame(*view);
    EXPECT_EQ(view->currentAnimatedImageIndex(), 1u);  // shown for its own time
}

TEST_F(AnimatedImageViewTest, ViewDestroyedWhilePlayingLeavesNoWorkBehind) {
    auto image = std::make_shared<FakeAnimation>(4, 1024, 1.0 / 60, 1);
    auto view = showing(image);
    for (int i = 0; i < 3; ++i) advance(1.0 / 60);  // a fetch waits at the gate
    std::weak_ptr<ZVAnimatedImageView> weak = view;
    view->removeFromSuperview();
    view.reset();
    image->openGate();
    EXPECT_TRUE(testsupport::waitFor([&] { return weak.expired(); }));
    for (int i = 0; i < 3; ++i) advance(1.0 / 60);
}

TEST_F(AnimatedImageViewTest, SpriteSheetsMoveTheContentsRectangleOnly) {
    auto sheet = UIImage::imageWithCGImage(CGImage::create(40, 10, true));
    std::vector<CGRect> rects{{0, 0, 10, 10}, {10, 0, 10, 10}, {20, 0, 10, 10}, {30, 0, 10, 10}};
    auto sprites = ZVSpriteSheetImage::imageWithSpriteSheetImage(*sheet, rects, std::vector<double>(4, 1.0 / 60), 0);
    auto view = showing(sprites);
    EXPECT_EQ(view->layer()->contentsRect(), CGRect(0, 0, 0.25, 1));
    for (int i = 0; i < 4 && view->currentAnimatedImageIndex() != 1; ++i) frame(*view);
    ASSERT_EQ(view->currentAnimatedImageIndex(), 1u);
    EXPECT_EQ(view->layer()->contentsRect(), CGRect(0.25, 0, 0.25, 1));
    view->layer()->displayIfNeeded();
    EXPECT_EQ(view->layer()->contents(), sprites->CGImage());

    view->setImage(sheet);
    EXPECT_EQ(view->layer()->contentsRect(), CGRect(0, 0, 1, 1));
}

TEST_F(AnimatedImageViewTest, WindowRuleAndIndexJumps) {
    auto view = showing(std::make_shared<FakeAnimation>(5, 1024));
    EXPECT_TRUE(view->isAnimating());
    view->removeFromSuperview();
    EXPECT_FALSE(view->isAnimating());
    window->rootViewController()->view()->addSubview(view);
    EXPECT_TRUE(view->isAnimating());

    std::vector<size_t> shown;
    view->currentAnimatedImageIndexDidChange = [&](size_t i) { shown.push_back(i); };
    view->setCurrentAnimatedImageIndex(view->currentAnimatedImageIndex());
    view->setCurrentAnimatedImageIndex(5);
    EXPECT_TRUE(shown.empty());
    view->setCurrentAnimatedImageIndex(3);
    EXPECT_EQ(shown, std::vector<size_t>{3});
    EXPECT_EQ(view->currentAnimatedImageIndex(), 3u);
}

TEST_F(AnimatedImageViewTest, MemoryWarningBacksOffAndTheBackgroundPrunes) {
    auto view = showing(std::make_shared<FakeAnimation>(40, 1024));
    for (int i = 0; i < 12; ++i) frame(*view);
    int32_t grown = view->bufferGrowthCounter();
    ASSERT_GT(grown, 2);
    ASSERT_GT(view->bufferedFrameIndexes().size(), 1u);

    auto next = [&] { return std::vector<size_t>{(view->currentAnimatedImageIndex() + 1) % 40}; };
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidEnterBackgroundNotification);
    EXPECT_EQ(view->bufferedFrameIndexes(), next());
    EXPECT_EQ(view->bufferGrowthCounter(), grown);

    for (int i = 0; i < 6; ++i) frame(*view);
    NSNotificationCenter::defaultCenter().postNotificationName(UIApplicationDidReceiveMemoryWarningNotification);
    view->waitUntilFetchesFinished();
    EXPECT_EQ(view->bufferGrowthCounter(), -60 - int32_t(1000 % 120));
    EXPECT_EQ(view->bufferedFrameIndexes(), next());
}

TEST_F(AnimatedImageViewTest, OldBuffersAreFreedOffTheMainThread) {
    auto image = std::make_shared<FakeAnimation>(40, 1024);
    auto deaths = image->deaths;
    auto view = showing(image);
    for (int i = 0; i < 10; ++i) frame(*view);
    auto buffered = view->bufferedFrameIndexes();
    ASSERT_FALSE(buffered.empty());
    view->setImage(nullptr);
    image.reset();
    ASSERT_TRUE(testsupport::waitFor([&] {
        std::lock_guard lock(deaths->mutex);
        return std::all_of(buffered.begin(), buffered.end(), [&](size_t i) { return deaths->onMain.count(i) > 0; });
    }));
    std::lock_guard lock(deaths->mutex);
    for (size_t i : buffered) EXPECT_FALSE(deaths->onMain[i]) << "frame " << i;
}

TEST_F(AnimatedImageViewTest, ArchiveRoundTrip) {
    auto view = ZVAnimatedImageView::create();
    view->setRunloopMode("custom");
    view->setAutoPlayAnimatedImage(false);
    view->setImage(ZVImage::imageWithData(threeFrameGIF(0), 1));
    auto copy = ZVAnimatedImageView::initWithArchivedData(view->archivedData());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->runloopMode(), "custom");
    EXPECT_FALSE(copy->autoPlayAnimatedImage());
    auto image = std::dynamic_pointer_cast<ZVImage>(copy->image());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->animatedImageFrameCount(), 3u);
    EXPECT_EQ(ZVAnimatedImageView::initWithArchivedData(Data{1, 2, 3}), nullptr);
}

TEST_F(AnimatedImageViewTest, RendersShowTheFrameOfTheirTime) {
    auto solid = [](RGBA8 c) {
        auto b = CGImage::create(20, 20, true);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) b->setPixel(x, y, c);
        return b;
    };
    codingtest::APNG spec;
    spec.width = spec.height = 20;
    spec.frames = {{solid({255, 0, 0, 255})}, {solid({0, 0, 255, 255})}};
    auto apng = ZVImage::imageWithData(codingtest::build(spec), 1);
    ASSERT_EQ(apng->animatedImageFrameCount(), 2u);
    auto view = showing(apng);

    testsupport::TempDir shots;
    const char* keep = std::getenv("ZV_ANIMATED_VIEW_SHOTS");  // a folder to keep the renders in, to look at
    auto render = [&](const char* name) {
        auto path = (keep ? std::filesystem::path(keep) : shots.path()) / name;
        EXPECT_TRUE(window->writePNG(path.string()));
        return UIImage::imageWithContentsOfFile(path)->CGImage()->pixelAt(60, 240);  // the view's middle at scale 2
    };
    RGBA8 first = render("animated-view-t0.png");
    for (int i = 0; i < 12 && view->currentAnimatedImageIndex() != 1; ++i) frame(*view);
    RGBA8 second = render("animated-view-t1.png");
    EXPECT_EQ(first, (RGBA8{255, 0, 0, 255}));
    EXPECT_EQ(second, (RGBA8{0, 0, 255, 255}));
}

}  // namespace

namespace {

// Image arrays play as the platform's own animation; highlighted, the view
// shows its highlighted animation images (type 4) instead, and back again.
TEST_F(AnimatedImageViewTest, HighlightedAnimationImagesSwitchWithHighlighted) {
    auto still = [](RGBA8 c) {
        auto b = CGImage::create(4, 4, false);
        b->setPixel(0, 0, c);
        return UIImage::imageWithCGImage(b);
    };
    std::vector<std::shared_ptr<UIImage>> plain{still({255, 0, 0, 255}), still({0, 255, 0, 255})};
    std::vector<std::shared_ptr<UIImage>> lit{still({0, 0, 255, 255}), still({255, 255, 0, 255}), still({0, 255, 255, 255})};
    auto view = showing(nullptr);
    view->animationDuration = 0.3;
    view->setAnimationImages(plain);
    view->setHighlightedAnimationImages(lit);
    EXPECT_EQ(view->highlightedAnimationImages(), lit);
    ASSERT_TRUE(view->isAnimating());  // in a window: plays by itself
    auto shown = [&](int frames) {  // the images shown over that many tenths of a second
        std::vector<std::shared_ptr<UIImage>> seen;
        for (int i = 0; i < frames; ++i, advance(0.1)) seen.push_back(view->displayedImage());
        return seen;
    };
    EXPECT_EQ(shown(2), (std::vector<std::shared_ptr<UIImage>>{plain[0], plain[0]}));  // 0.15 s each
    view->setHighlighted(true);
    EXPECT_TRUE(view->isAnimating());
    EXPECT_EQ(shown(3), lit);  // 0.1 s each, from the first
    view->setHighlighted(false);
    EXPECT_EQ(view->displayedImage(), plain[0]);

    // Highlighted without highlighted animation images: the highlighted
    // image (type 2) rather than the array; stopping leaves the still image.
    auto highlightedStill = still({9, 9, 9, 255});
    view->setHighlightedAnimationImages({});
    view->setHighlightedImage(highlightedStill);
    view->setHighlighted(true);
    EXPECT_EQ(view->displayedImage(), highlightedStill);
    view->setHighlighted(false);
    EXPECT_TRUE(view->isAnimating());
    view->stopAnimating();
    EXPECT_FALSE(view->isAnimating());
    EXPECT_EQ(view->displayedImage(), nullptr);
}

}  // namespace
