#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "WebImageTestSupport.h"
#include "imagecache/webimage/ZVWebImagePartials.h"
#include "imagecache/webimage/ZVWebImageProgressive.h"

using namespace std::chrono_literals;
using namespace webimagetest;
using standin::Reply;

namespace {

class WebImageProgressiveTest : public WebImageTest {
protected:
    // Serves `file` in pieces cut at `cuts`, each held until the clock has
    // moved `step` seconds; returns every call, the final one last.
    std::vector<Call> play(const Data& file, std::vector<size_t> cuts, ZVWebImageOptions options, double step,
                           const std::string& type = "image/png") {
        std::vector<std::string> pieces;
        cuts.push_back(file.size());
        size_t from = 0;
        for (size_t cut : cuts) {
            pieces.push_back(std::string(file.begin() + long(from), file.begin() + long(cut)));
            from = cut;
        }
        std::string path = "/p" + std::to_string(++served_);
        server.script(path, Reply::held(pieces, type));
        auto received = std::make_shared<std::atomic<int64_t>>(0);
        Calls calls;
        operation = request(url(path), options, calls, [received](int64_t r, int64_t) { *received = r; });
        size_t total = 0;
        for (auto& piece : pieces) {
            clock->advance(std::chrono::nanoseconds(int64_t(step * 1e9)));
            server.releasePieces();
            total += piece.size();
            EXPECT_TRUE(testsupport::waitFor([&] { return *received == int64_t(total); }));
            drainWebImageThreads();  // its partial image, if any, is made at this clock time
        }
        EXPECT_TRUE(calls.waitEnd());
        return calls.all();
    }

    static std::vector<size_t> even(size_t size, int pieces) {
        std::vector<size_t> cuts;
        for (int i = 1; i < pieces; ++i) cuts.push_back(size * size_t(i) / size_t(pieces));
        return cuts;
    }
    static std::vector<Call> partialsOf(const std::vector<Call>& calls) {
        std::vector<Call> out;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                     [](auto& c) { return c.stage == ZVWebImageStageIntermediate; });
        return out;
    }
    // The steepest step of brightness along the middle row: a sharper picture has a steeper one.
    static int sharpness(const UIImage& image) {
        auto& cg = *image.CGImage();
        int y = cg.height() / 2, best = 0;
        for (int x = 1; x < cg.width(); ++x) best = std::max(best, std::abs(int(cg.pixelAt(x, y).g) - int(cg.pixelAt(x - 1, y).g)));
        return best;
    }

    ScopedTestClock clock;
    std::shared_ptr<ZVWebImageOperation> operation;
    int served_ = 0;
};

TEST_F(WebImageProgressiveTest, NoPartialImageFromOnePieceOfAtLeastNinetyNinePercent) {
    auto calls = play(png(*disc(16, 16)), {}, ZVWebImageOptionProgressiveDisplay, 1);
    EXPECT_TRUE(partialsOf(calls).empty());
    EXPECT_NE(calls.back().image, nullptr);
}

TEST_F(WebImageProgressiveTest, PlainPartialImagesComeAtMostEveryFifthOfASecond) {
    Data file = png(*noisy(200, 200));
    auto calls = play(file, even(file.size(), 10), ZVWebImageOptionProgressiveDisplay, 0.1);
    auto partials = partialsOf(calls);
    ASSERT_GE(partials.size(), 3u);
    EXPECT_LE(partials.size(), 5u);
    for (size_t i = 0; i < partials.size(); ++i) {
        EXPECT_EQ(partials[i].from, ZVWebImageSourceNetwork);
        EXPECT_NE(partials[i].image, nullptr);
        if (i > 0) {
            EXPECT_GE(partials[i].at - partials[i - 1].at, 200ms);
        }
    }
    EXPECT_EQ(calls.back().stage, ZVWebImageStageFinished);
    EXPECT_NE(calls.back().image, nullptr);
}

TEST_F(WebImageProgressiveTest, BaselineJPEGWithBlurGivesUpOnPartialImages) {
    Data file = jpeg(*noisy(160, 160));
    auto calls = play(file, even(file.size(), 6), ZVWebImageOptionProgressiveBlurDisplay, 0.5, "image/jpeg");
    EXPECT_TRUE(partialsOf(calls).empty());
    EXPECT_TRUE(operation->progressiveIgnored());
    EXPECT_NE(calls.back().image, nullptr);
}

TEST_F(WebImageProgressiveTest, ProgressiveJPEGBlursLessWithEachScan) {
    Data file = jpeg(*disc(160, 160), true);
    auto starts = scanStarts(file);
    ASSERT_GE(starts.size(), 5u);
    std::vector<size_t> cuts(starts.begin() + 1, starts.end());
    auto calls = play(file, cuts, ZVWebImageOptionProgressiveBlurDisplay, 0.5, "image/jpeg");
    auto partials = partialsOf(calls);
    ASSERT_GE(partials.size(), 3u);
    EXPECT_FALSE(operation->progressiveIgnored());
    for (size_t i = 1; i < partials.size(); ++i)
        EXPECT_GE(sharpness(*partials[i].image), sharpness(*partials[i - 1].image)) << "partial " << i;
    EXPECT_GT(sharpness(*partials.back().image), sharpness(*partials.front().image));
    EXPECT_GT(sharpness(*calls.back().image), sharpness(*partials.back().image)) << "the final image is sharp";

    // A scan's marker split between two pieces (FF at the end of one, DA
    // starting the next) is found all the same.
    std::vector<size_t> splitMarkers;
    for (size_t i = 1; i < starts.size(); ++i) splitMarkers.push_back(starts[i] + 1);
    auto split = partialsOf(play(file, splitMarkers, ZVWebImageOptionProgressiveBlurDisplay, 0.5, "image/jpeg"));
    EXPECT_GE(split.size(), partials.size() - 1);
}

TEST_F(WebImageProgressiveTest, InterlacedPNGBlursLessAsPassesArriveUnlessItsLastPixelIsStillClear) {
    // 129 × 129: the bottom-right pixel comes with the first interlace pass.
    Data file = png(*noisy(129, 129), true);
    auto partials = partialsOf(play(file, even(file.size(), 6), ZVWebImageOptionProgressiveBlurDisplay, 0.5));
    ASSERT_GE(partials.size(), 3u);
    for (size_t i = 1; i < partials.size(); ++i)
        EXPECT_GE(sharpness(*partials[i].image), sharpness(*partials[i - 1].image)) << "partial " << i;

    // The same picture with a transparent bottom-right pixel: every partial is held back.
    auto opaque = noisy(129, 129), clear = CGImage::create(129, 129, true);
    for (int y = 0; y < 129; ++y)
        for (int x = 0; x < 129; ++x) clear->setPixel(x, y, opaque->pixelAt(x, y));
    clear->setPixel(128, 128, {0, 0, 0, 0});
    Data clearFile = png(*clear, true);
    auto calls = play(clearFile, even(clearFile.size(), 6), ZVWebImageOptionProgressiveBlurDisplay, 0.5);
    EXPECT_TRUE(partialsOf(calls).empty());
    EXPECT_FALSE(operation->progressiveIgnored());
    EXPECT_NE(calls.back().image, nullptr);

    // A plain (not interlaced) PNG has no blurred partial images.
    Data plain = png(*noisy(129, 129));
    EXPECT_TRUE(partialsOf(play(plain, even(plain.size(), 6), ZVWebImageOptionProgressiveBlurDisplay, 0.5)).empty());
    EXPECT_TRUE(operation->progressiveIgnored());
}

// The queueing of partial images, with a decode queue and a clock of our
// own: one decode in flight at a time, a waiting one takes the bytes that
// came meanwhile, the interval counts from the end of the last decode, and
// nothing is shown once the download closed.
TEST(WebImagePartials, OneDecodeInFlightTakesTheNewestBytesAndTheIntervalCountsFromItsEnd) {
    Data file = png(*noisy(129, 129), true);
    const int64_t size = int64_t(file.size());
    auto bytes = std::make_shared<ZVWebImagePartials::Bytes>();
    std::vector<std::function<void()>> queued;
    std::vector<std::shared_ptr<UIImage>> shown;
    double now = 0;
    auto partials = ZVWebImagePartials::create(
        true, bytes, std::make_shared<ZVWebImagePartials::Slots>(1),
        [&](std::function<void()> decode) { queued.push_back(std::move(decode)); },
        [&](std::shared_ptr<UIImage> image) { shown.push_back(std::move(image)); }, [&] { return now; });
    size_t received = 0;
    auto arrive = [&](size_t length) {
        bytes->data.insert(bytes->data.end(), file.begin() + long(received), file.begin() + long(received + length));
        received += length;
        partials->pieceArrived(length, size);
    };
    auto runQueued = [&] {
        auto jobs = std::move(queued);
        queued.clear();
        for (auto& job : jobs) job();
    };
    const size_t sixth = file.size() / 6;

    arrive(sixth);
    EXPECT_EQ(queued.size(), 1u);
    size_t askedWith = received;
    arrive(sixth);
    EXPECT_EQ(queued.size(), 1u) << "no second decode while one waits";
    EXPECT_TRUE(partials->inFlight());
    now = 5;  // the decode ends five seconds on
    runQueued();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(partials->inFlight());
    EXPECT_LT(partials->lastRadius(), ZVWebImageProgressive::blurRadius(askedWith, size, 1))
        << "the waiting decode took the bytes that came after it was asked for";

    now = 5.3;  // 0.3 s after the decode ended, 5.3 s after it was asked for
    arrive(sixth);
    EXPECT_TRUE(queued.empty());
    now = 5.5;
    arrive(sixth);
    EXPECT_EQ(queued.size(), 1u);
    partials->close();
    runQueued();
    EXPECT_EQ(shown.size(), 1u) << "nothing is shown once the download closed";
}

// A partial image that takes long to make holds up no other image. Here its
// handler holds the thread it is called on (as a long decode and blur of a
// large picture would) until a small image asked for meanwhile has come:
// the small image must come while it waits, and within a second.
TEST_F(WebImageProgressiveTest, ASmallImageBesideADripFedProgressiveDownloadArrivesAtOnce) {
    auto pieces = scanPieces(jpeg(*disc(480, 480), true));
    ASSERT_GE(pieces.size(), 5u);
    server.script("/big.jpg", Reply::held(pieces, "image/jpeg"));
    serve("/small.png", png(*disc(8, 8)), "image/png");

    struct Meeting {
        std::mutex mutex;  // guards the three flags
        std::condition_variable changed;
        bool partialStarted = false, smallArrived = false, smallCameDuringPartial = false;
    };
    auto meeting = std::make_shared<Meeting>();
    Calls bigCalls;
    auto recordBig = bigCalls.handler();
    auto bigOp = manager->requestImageWithURL(
        *NSURL::URLWithString(url("/big.jpg")), ZVWebImageOptionProgressiveBlurDisplay, {}, {},
        [meeting, recordBig](std::shared_ptr<UIImage> image, const NSURL& u, ZVWebImageSource from, ZVWebImageStage stage,
                             const std::optional<Error>& error) {
            std::unique_lock lock(meeting->mutex);
            if (stage == ZVWebImageStageIntermediate && !meeting->partialStarted) {
                meeting->partialStarted = true;
                meeting->changed.notify_all();
                meeting->smallCameDuringPartial =
                    meeting->changed.wait_for(lock, 20s, [&] { return meeting->smallArrived; });
            }
            lock.unlock();
            recordBig(std::move(image), u, from, stage, error);
        });
    // Half the scans: a partial image is due, and no piece is the whole file.
    clock->advance(1s);
    server.releasePieces(int(pieces.size() / 2));
    ASSERT_TRUE(testsupport::waitFor([&] {
        std::lock_guard lock(meeting->mutex);
        return meeting->partialStarted;
    }));

    auto asked = std::chrono::steady_clock::now();
    Calls smallCalls;
    auto recordSmall = smallCalls.handler();
    manager->requestImageWithURL(*NSURL::URLWithString(url("/small.png")), 0, {}, {},
                                 [meeting, recordSmall](std::shared_ptr<UIImage> image, const NSURL& u,
                                                        ZVWebImageSource from, ZVWebImageStage stage,
                                                        const std::optional<Error>& error) {
                                     recordSmall(std::move(image), u, from, stage, error);
                                     std::lock_guard lock(meeting->mutex);
                                     meeting->smallArrived = true;
                                     meeting->changed.notify_all();
                                 });
    auto small = smallCalls.waitEnd(30s);
    auto took = std::chrono::steady_clock::now() - asked;
    ASSERT_TRUE(small);
    EXPECT_NE(small->image, nullptr);
    EXPECT_LT(took, 1s) << std::chrono::duration<double>(took).count() << " s";

    server.releasePieces(int(pieces.size()));
    auto end = bigCalls.waitEnd(30s);
    ASSERT_TRUE(end);
    EXPECT_NE(end->image, nullptr);
    std::lock_guard lock(meeting->mutex);
    EXPECT_TRUE(meeting->smallCameDuringPartial) << "the small image waited for the partial image";
}

}  // namespace
