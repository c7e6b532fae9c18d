// Partial images over many downloads: they share one decode at a time (the
// slots of ZVWebImagePartials), take turns in the order they asked, and
// leave the final decodes their own queues. A child process measures what
// eight drip-fed 8192 x 8192 progressive downloads cost.

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "WebImageTestSupport.h"
#include "imagecache/webimage/ZVWebImagePartials.h"

using namespace std::chrono_literals;
using namespace webimagetest;
using standin::Reply;

namespace {

// The rows of a partial image that have arrived (their middle pixel is drawn).
int rowsDrawn(const UIImage& image) {
    auto& cg = *image.CGImage();
    int rows = 0;
    for (int y = 0; y < cg.height(); ++y) rows += cg.pixelAt(cg.width() / 2, y).a != 0;
    return rows;
}

// Downloads sharing one slot: one whose partial image is due while
// another's decode holds the slot waits in line, once, however many of its
// pieces come; it decodes when the slot passes to it, reading every byte
// so far; they take turns in the order they asked, and one that closed
// while in line passes the slot straight on.
TEST(WebImagePartials, DownloadsSharingOneSlotTakeTurnsInTheOrderTheyAsked) {
    Data file = png(*noisy(129, 129));
    const size_t sixth = file.size() / 6;
    auto slots = std::make_shared<ZVWebImagePartials::Slots>(1);
    std::vector<std::function<void()>> queued;
    struct Download {
        std::shared_ptr<ZVWebImagePartials::Bytes> bytes = std::make_shared<ZVWebImagePartials::Bytes>();
        std::shared_ptr<ZVWebImagePartials> partials;
        std::vector<std::shared_ptr<UIImage>> shown;
    };
    std::vector<Download> downloads(3);
    std::vector<int> showOrder;
    double now = 1;
    for (int k = 0; k < 3; ++k)
        downloads[size_t(k)].partials = ZVWebImagePartials::create(
            false, downloads[size_t(k)].bytes, slots,
            [&](std::function<void()> decode) {
                EXPECT_TRUE(queued.empty()) << "two decodes in flight";
                queued.push_back(std::move(decode));
            },
            [&, k](std::shared_ptr<UIImage> image) {
                downloads[size_t(k)].shown.push_back(std::move(image));
                showOrder.push_back(k);
            },
            [&] { return now; });
    auto arrive = [&](int k) {
        auto& d = downloads[size_t(k)];
        size_t from = d.bytes->data.size();
        d.bytes->data.insert(d.bytes->data.end(), file.begin() + long(from), file.begin() + long(from + sixth));
        d.partials->pieceArrived(sixth, int64_t(file.size()));
    };
    auto runOne = [&] {
        ASSERT_EQ(queued.size(), 1u);
        auto job = std::move(queued.front());
        queued.clear();
        job();
    };
    Download &a = downloads[0], &b = downloads[1], &c = downloads[2];

    arrive(0);
    arrive(1);
    arrive(2);
    arrive(1);
    EXPECT_EQ(queued.size(), 1u) << "the first to ask decodes; the others wait";
    EXPECT_EQ(slots->waiting(), 2u) << "a download waits in line once";
    EXPECT_TRUE(b.partials->inFlight());
    runOne();  // a's decode; the slot passes to b
    ASSERT_EQ(a.shown.size(), 1u);
    c.partials->close();
    runOne();  // b's, with both its pieces
    ASSERT_EQ(b.shown.size(), 1u);
    EXPECT_GT(rowsDrawn(*b.shown[0]), rowsDrawn(*a.shown[0])) << "b read the bytes that came while it waited";
    runOne();  // c's turn: closed, it shows nothing and gives the slot back
    EXPECT_TRUE(queued.empty());
    EXPECT_TRUE(c.shown.empty());
    EXPECT_EQ(showOrder, (std::vector<int>{0, 1}));
    EXPECT_EQ(slots->taken(), 0u);
    EXPECT_FALSE(c.partials->inFlight());

    now = 2;
    arrive(0);
    EXPECT_EQ(queued.size(), 1u) << "a free slot is taken at once";
    runOne();
    EXPECT_EQ(a.shown.size(), 2u);
    EXPECT_EQ(slots->taken(), 0u);
}

// What the partial images of several downloads told, as they came.
struct Watch {
    std::mutex mutex;  // guards everything below
    std::condition_variable changed;
    int inside = 0, mostInside = 0;  // partial-image calls under way
    std::vector<int> partials;       // per download
    std::vector<int64_t> received;   // per download, -1 before the response
    bool holding = false, letGo = false;

    int partialCount() {
        int n = 0;
        for (int p : partials) n += p;
        return n;
    }
    // The first partial image is held until the test lets it go, as a long
    // decode would hold its queue.
    void partialImage(std::unique_lock<std::mutex>& lock, size_t download) {
        mostInside = std::max(mostInside, ++inside);
        ++partials[download];
        changed.notify_all();
        if (!holding) {
            holding = true;
            changed.wait_for(lock, 20s, [&] { return letGo; });
        }
        --inside;
    }
    template <class Pred>
    bool waitFor(Pred done, std::chrono::seconds timeout = 30s) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, done);
    }
};

class WebImagePartialsAcrossDownloads : public WebImageTest {
protected:
    ScopedTestClock clock;
};

TEST_F(WebImagePartialsAcrossDownloads, EightDripFedDownloadsDecodeOneAtATimeInTurnAndASmallImagePassesThem) {
    const size_t count = 8;
    auto pieces = scanPieces(jpeg(*disc(240, 240), true));
    ASSERT_GE(pieces.size(), 5u);
    serve("/small.png", png(*disc(8, 8)), "image/png");
    // A server each, so that a release lets one piece of each go.
    std::vector<std::unique_ptr<standin::HttpServer>> drips;

    auto watch = std::make_shared<Watch>();
    watch->partials.assign(count, 0);
    watch->received.assign(count, -1);
    std::vector<Calls> calls(count);
    for (size_t k = 0; k < count; ++k) {
        drips.push_back(std::make_unique<standin::HttpServer>("drip"));
        ASSERT_TRUE(drips[k]->start());
        drips[k]->scriptAlways("/big.jpg", Reply::held(pieces, "image/jpeg"));
        auto record = calls[k].handler();
        manager->requestImageWithURL(
            *NSURL::URLWithString(drips[k]->baseURL() + "/big.jpg"), ZVWebImageOptionProgressiveDisplay,
            [watch, k](int64_t received, int64_t) {
                std::lock_guard lock(watch->mutex);
                watch->received[k] = received;
                watch->changed.notify_all();
            },
            {},
            [watch, k, record](std::shared_ptr<UIImage> image, const NSURL& u, ZVWebImageSource from,
                               ZVWebImageStage stage, const std::optional<Error>& error) {
                std::unique_lock lock(watch->mutex);
                if (stage == ZVWebImageStageIntermediate) watch->partialImage(lock, k);
                lock.unlock();
                record(std::move(image), u, from, stage, error);
            });
    }
    auto everyDownloadHas = [&](int64_t bytes) {
        return watch->waitFor([&] {
            return std::all_of(watch->received.begin(), watch->received.end(), [&](int64_t r) { return r >= bytes; });
        });
    };
    ASSERT_TRUE(everyDownloadHas(0)) << "every response came";

    // One scan each: a partial image is due for all eight at once.
    clock->advance(1s);
    for (auto& d : drips) d->releasePieces();
    ASSERT_TRUE(watch->waitFor([&] { return watch->holding; }));
    ASSERT_TRUE(everyDownloadHas(int64_t(pieces[0].size())));
    drainNetworkThread();  // every piece has been told to its partials
    for (unsigned i = 0; i < 16; ++i) ZVWebImageOperation::imageQueue()->sync([] {});

    auto asked = std::chrono::steady_clock::now();
    Calls small;
    request(url("/small.png"), 0, small);
    auto smallEnd = small.waitEnd(30s);
    auto took = std::chrono::steady_clock::now() - asked;
    ASSERT_TRUE(smallEnd);
    EXPECT_NE(smallEnd->image, nullptr);
    EXPECT_LT(took, 1s) << std::chrono::duration<double>(took).count() << " s behind the partial images";
    {
        std::lock_guard lock(watch->mutex);
        EXPECT_EQ(watch->partialCount(), 1) << "the other seven wait while one decodes";
        watch->letGo = true;
        watch->changed.notify_all();
    }
    // Their turns come without another byte.
    EXPECT_TRUE(watch->waitFor([&] {
        return std::all_of(watch->partials.begin(), watch->partials.end(), [](int p) { return p >= 1; });
    })) << "each download had its turn";
    {
        std::lock_guard lock(watch->mutex);
        EXPECT_EQ(watch->mostInside, 1);
    }

    for (auto& d : drips) d->releasePieces(int(pieces.size()));
    for (auto& c : calls) {
        auto end = c.waitEnd(30s);
        ASSERT_TRUE(end);
        EXPECT_NE(end->image, nullptr);
    }
}

// Eight drip-fed 8192 x 8192 progressive downloads, plain and blurred, in a
// process of their own: what their partial images cost at the peak stays
// near one partial decode's bitmaps (a 256 MiB bitmap, the decoder's
// coefficients, the blur's copies), every download still has its partial
// image, and a small image asked for meanwhile comes at once. The heap is
// measured under AddressSanitizer, where the blurred run is left out (its
// unoptimised blur takes a minute a picture); ThreadSanitizer measures
// nothing.
TEST(WebImagePartialsCost, EightDripFedHugeProgressiveDownloadsCostOnePartialDecodeAtATime) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "memory is not measured under ThreadSanitizer";
#endif
    const long bitmapKiB = 8192L * 8192 * 4 / 1024;
    struct Mode {
        const char* name;
        long boundKiB;
    } modes[] = {{"plain", 3 * bitmapKiB}, {"blur", 5 * bitmapKiB}};
    for (auto& mode : modes) {
        if (!testsupport::kMeasuresMemory && std::string(mode.name) == "blur") continue;
        auto run = testsupport::runProgram({testsupport::built(WEBIMAGE_CHILD), "drip", "8", mode.name});
        ASSERT_EQ(run.status, 0) << mode.name << ": " << run.err;
        EXPECT_EQ(testsupport::printedNumber(run.out, "downloads"), 8) << mode.name << ": " << run.out;
        long smallMs = testsupport::printedNumber(run.out, "small_ms");
        EXPECT_GE(smallMs, 0) << mode.name << ": " << run.out;
        EXPECT_LT(smallMs, 1000) << mode.name << ": " << run.out;
        long grew = testsupport::printedNumber(run.out, testsupport::kMeasuresMemory ? "grew_kib" : "heap_kib");
        EXPECT_GE(grew, 0) << mode.name << ": " << run.out;
        EXPECT_LT(grew, mode.boundKiB) << mode.name << ": " << run.out;
    }
}

}  // namespace
