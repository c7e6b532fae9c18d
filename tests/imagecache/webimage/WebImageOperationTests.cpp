#include <atomic>
#include <condition_variable>
#include <mutex>

#include "WebImageTestSupport.h"
#include "imagecache/ZVImageCoder.h"
#include "imagecache/ZVImageCoderHelpers.h"
#include "platform/dispatch/NSOperationQueue.h"
#include "platform/foundation/NSURL.h"
#include "platform/net/NetworkReachability.h"
#include "standin/RawServer.h"
#include "support/SQLiteFiles.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using namespace webimagetest;
using standin::Reply;

namespace {

class WebImageOperationTest : public WebImageTest {
protected:
    // Waits for the cache's background store of `key` to reach the disk.
    std::shared_ptr<const Data> storedBytes(const std::string& key) {
        testsupport::waitFor([&] { return cache->containsImageForKey(key, ZVImageCacheTypeDisk); });
        return cache->getImageDataForKey(key);
    }
    // A path no other test (nor an earlier run of this one) asked for: the
    // failed-URL set lives as long as the process.
    std::string fresh(const std::string& stem) {
        static std::atomic<int> n{0};
        return "/" + stem + "-" + std::to_string(++n);
    }
};

// Decoded for display, so that the memory cache keeps it as it is, at once.
std::shared_ptr<UIImage> uiImage(std::shared_ptr<CGImage> cg) {
    return ZVImageCoder::ZV_imageByDecoded(UIImage::imageWithCGImage(std::move(cg), 2));
}

TEST_F(WebImageOperationTest, MemoryHitMakesNoRequestNorDecodeWork) {
    auto image = uiImage(disc(16, 16));
    cache->setImage(image, nullptr, url("/mem.png"), ZVImageCacheTypeMemory);
    uint32_t queueUses = ZVWebImageOperation::imageQueueUses();
    auto memory = load("/mem.png");
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->image, image);
    EXPECT_EQ(memory->url, url("/mem.png"));
    EXPECT_EQ(memory->from, ZVWebImageSourceMemory);
    EXPECT_EQ(memory->stage, ZVWebImageStageFinished);
    EXPECT_TRUE(memory->onNetworkThread);
    EXPECT_EQ(ZVWebImageOperation::imageQueueUses(), queueUses) << "a memory hit takes no decode queue";
    EXPECT_EQ(server.journal().size(), 0u);
}

// A disk hit is in memory before the completion hears of it.
TEST_F(WebImageOperationTest, DiskHitIsKeptInMemoryBeforeTheCompletion) {
    Data bytes = png(*disc(16, 16));
    std::string key = url("/disk-first.png");
    cache->setImage(nullptr, std::make_shared<const Data>(bytes), key, ZVImageCacheTypeDisk);
    ASSERT_FALSE(cache->containsImageForKey(key, ZVImageCacheTypeMemory));
    std::atomic<int> seenInMemory{-1};
    auto u = *NSURL::URLWithString(key);
    auto op = manager->requestImageWithURL(u, 0, {}, {}, [&](auto image, auto&, auto from, auto stage, auto&) {
        seenInMemory = cache->containsImageForKey(key, ZVImageCacheTypeMemory) && from == ZVWebImageSourceDisk;
    });
    ASSERT_TRUE(testsupport::waitFor([&] { return seenInMemory >= 0; }));
    EXPECT_EQ(seenInMemory, 1);
    EXPECT_EQ(server.journal().size(), 0u);
}

// Holds every decode queue (as long decodes would) until released or gone.
class BusyDecodeQueues {
public:
    BusyDecodeQueues() {
        for (unsigned i = 0; i < 16; ++i)
            ZVWebImageOperation::imageQueue()->async([state = state_] {
                std::unique_lock lock(state->mutex);
                state->released.wait_for(lock, 30s, [&] { return state->done; });
            });
    }
    ~BusyDecodeQueues() {
        std::lock_guard lock(state_->mutex);
        state_->done = true;
        state_->released.notify_all();
    }

private:
    struct State {
        std::mutex mutex;  // guards done
        std::condition_variable released;
        bool done = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// A disk lookup runs on the disk level's own queue: a hit comes while every
// decode queue is busy.
TEST_F(WebImageOperationTest, ADiskHitWaitsForNoDecode) {
    std::string key = url("/behind-decodes.png");
    cache->setImage(nullptr, std::make_shared<const Data>(png(*disc(16, 16))), key, ZVImageCacheTypeDisk);
    BusyDecodeQueues busy;
    auto end = load("/behind-decodes.png");
    ASSERT_TRUE(end) << "the lookup waited behind the decodes";
    EXPECT_NE(end->image, nullptr);
    EXPECT_EQ(end->from, ZVWebImageSourceDisk);
}

// A miss the disk level cannot hold goes to the network without asking the
// storage: it comes while the storage is held (here by a removal whose
// progress waits).
TEST_F(WebImageOperationTest, AMissTheDiskCannotHoldWaitsForNoLookup) {
    serve("/not-on-disk.png", png(*disc(16, 16)), "image/png");
    cache->setImage(nullptr, std::make_shared<const Data>(png(*disc(4, 4))), "something", ZVImageCacheTypeDisk);
    struct Hold {
        std::mutex mutex;  // guards both flags
        std::condition_variable changed;
        bool holding = false, loaded = false;
    };
    auto hold = std::make_shared<Hold>();
    cache->diskCache()->removeAllObjectsWithProgressBlock(
        [hold](int64_t, int64_t) {
            std::unique_lock lock(hold->mutex);
            hold->holding = true;
            hold->changed.notify_all();
            hold->changed.wait_for(lock, 20s, [&] { return hold->loaded; });
        },
        nullptr);
    {
        std::unique_lock lock(hold->mutex);
        ASSERT_TRUE(hold->changed.wait_for(lock, 10s, [&] { return hold->holding; }));
    }
    auto end = load("/not-on-disk.png");
    {
        std::lock_guard lock(hold->mutex);
        hold->loaded = true;
        hold->changed.notify_all();
    }
    ASSERT_TRUE(end) << "the miss waited for the storage";
    EXPECT_NE(end->image, nullptr);
    EXPECT_EQ(server.journal().count("/not-on-disk.png"), 1u);
}

// The images of a burst of downloads are in the cache at once, and reach
// its database together, in one transaction, once the burst is over.
TEST_F(WebImageOperationTest, TheStoresOfABurstAreWrittenInOneTransactionAfterIt) {
    ScopedTestClock clock;
    const fs::path manifest = dir.path() / "images" / "manifest.sqlite";
    const fs::path wal = dir.path() / "images" / "manifest.sqlite-wal";
    std::vector<Calls> calls(8);
    for (size_t i = 0; i < calls.size(); ++i) {
        std::string path = "/burst-" + std::to_string(i) + ".png";
        serve(path, png(*disc(16, 16 + int(i))), "image/png");
        request(url(path), 0, calls[i]);
    }
    for (size_t i = 0; i < calls.size(); ++i) {
        auto end = calls[i].waitEnd();
        ASSERT_TRUE(end && end->image) << i;
        EXPECT_TRUE(cache->containsImageForKey(end->url, ZVImageCacheTypeDisk)) << i;
    }
    EXPECT_EQ(testsupport::sqliteRowCount(manifest, "manifest"), 0) << "written before the burst was over";
    const size_t commits = testsupport::sqliteWALCommits(wal);
    clock->advance(1s);
    ASSERT_TRUE(testsupport::waitFor([&] { return testsupport::sqliteRowCount(manifest, "manifest") == 8; }));
    EXPECT_EQ(testsupport::sqliteWALCommits(wal), commits + 1);
}

TEST_F(WebImageOperationTest, DownloadsKeepJPEGAndPNGBytesAndReencodeAStillGIF) {
    Data jpg = jpeg(*disc(32, 24)), pngBytes = png(*disc(32, 24)), gif = stillGIF(32, 24);
    serve("/a.jpg", jpg, "image/jpeg");
    serve("/a.png", pngBytes, "image/png");
    serve("/a.gif", gif, "image/gif");
    for (auto& [path, bytes, kept] : std::vector<std::tuple<std::string, Data, bool>>{
             {"/a.jpg", jpg, true}, {"/a.png", pngBytes, true}, {"/a.gif", gif, false}}) {
        auto end = load(path);
        ASSERT_TRUE(end && end->image) << path;
        EXPECT_EQ(end->from, ZVWebImageSourceNetwork);
        EXPECT_EQ(end->stage, ZVWebImageStageFinished);
        EXPECT_EQ(end->image->size().width * end->image->scale(), 32);
        EXPECT_EQ(server.journal().count(path), 1u);
        auto stored = storedBytes(url(path));
        ASSERT_TRUE(stored) << path;
        EXPECT_EQ(*stored == bytes, kept) << path;
        if (!kept) {
            EXPECT_NE(ZVDetectImageType(*stored), ZVImageType::GIF);
        }
        // The server's Accept header is the manager's.
        EXPECT_EQ(server.journal().entries(path).at(0).request.header("Accept"), "image/*;q=0.8");
    }
}

TEST_F(WebImageOperationTest, TransformReturningAnotherImageStoresItsOwnBytes) {
    Data jpg = jpeg(*disc(32, 32));
    serve("/t.jpg", jpg, "image/jpeg");
    auto replacement = uiImage(disc(8, 8, {200, 30, 30, 255}));
    Calls calls;
    request(url("/t.jpg"), 0, calls, {}, [&](std::shared_ptr<UIImage>, const NSURL&) { return replacement; });
    auto end = calls.waitEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->image, replacement);
    auto stored = storedBytes(url("/t.jpg"));
    ASSERT_TRUE(stored);
    EXPECT_NE(*stored, jpg);
    auto decoded = imageio::decode(*stored);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->image->width(), 8);
}

// What the caller hears of each way a load can fail, and how many requests
// reached the server.
TEST_F(WebImageOperationTest, EveryFailureIsOneFinalCallWithItsCode) {
    testsupport::TempDir files;
    testsupport::writeFile(files / "secret.txt", "not for servers");
    std::string fileURL = NSURL::fileURLWithPath((files / "secret.txt").string()).absoluteString();
    server.scriptAlways("/304", Reply::text("", "image/png", 304));
    server.scriptAlways("/404", Reply::text("gone", "text/plain", 404));
    server.scriptAlways("/204", Reply::text("", "image/png", 204));
    server.scriptAlways("/html", Reply::text("<html><body>hello</body></html>", "text/html"));
    // A PNG header claiming 40000 × 40000 pixels, beyond the pixel budget.
    Data huge = png(*disc(4, 4));
    huge[16] = 0, huge[17] = 0, huge[18] = 0x9C, huge[19] = 0x40, huge[20] = 0, huge[21] = 0, huge[22] = 0x9C, huge[23] = 0x40;
    serve("/huge.png", huge, "image/png");
    server.scriptAlways("/cut", Reply::cut(text(png(*disc(64, 64))), 40, "image/png"));
    server.scriptAlways("/lie", Reply::lyingLength(text(png(*disc(8, 8))), 1000000000000, "image/png"));
    server.on("GET", "/to-file", standin::redirectTo(fileURL));
    server.scriptAlways("/endless", Reply::endless("image/png"));
    standin::HttpServer gone("gone");
    ASSERT_TRUE(gone.start());
    std::string refused = gone.baseURL() + "/x.png";
    gone.stop();
    manager->setMaxBodyBytes(16u << 20);

    const std::string decodeFail = "Web image decode fail.";
    struct Case {
        std::string url;
        ZVWebImageSource from;
        std::string domain;
        long code;
        size_t requests;
    } cases[] = {
        {url("/304"), ZVWebImageSourceNone, NSURLErrorDomain, 304, 1},
        {url("/404"), ZVWebImageSourceNone, NSURLErrorDomain, 404, 1},
        {url("/204"), ZVWebImageSourceNetwork, ZVImageErrorDomain, -1, 1},
        {url("/html"), ZVWebImageSourceNetwork, ZVImageErrorDomain, -1, 1},
        {url("/huge.png"), ZVWebImageSourceNetwork, ZVImageErrorDomain, -1, 1},
        {url("/cut"), ZVWebImageSourceNone, NSURLErrorDomain, NSURLErrorNetworkConnectionLost, 1},
        {url("/lie"), ZVWebImageSourceNone, NSURLErrorDomain, NSURLErrorNetworkConnectionLost, 1},
        {url("/to-file"), ZVWebImageSourceNone, NSURLErrorDomain, NSURLErrorUnsupportedURL, 1},
        {url("/endless"), ZVWebImageSourceNone, NSURLErrorDomain, NSURLErrorDataLengthExceedsMaximum, 1},
        {refused, ZVWebImageSourceNone, NSURLErrorDomain, NSURLErrorCannotConnectToHost, 0},
        {fileURL + ".missing", ZVWebImageSourceNone, NSURLErrorDomain, NSURLErrorFileDoesNotExist, 0},
    };
    for (auto& k : cases) {
        Calls calls;
        request(k.url, 0, calls);
        auto end = calls.waitEnd(30s);
        ASSERT_TRUE(end) << k.url;
        EXPECT_EQ(end->image, nullptr) << k.url;
        EXPECT_EQ(end->stage, ZVWebImageStageFinished) << k.url;
        EXPECT_EQ(end->from, k.from) << k.url;
        ASSERT_TRUE(end->error) << k.url;
        EXPECT_EQ(end->error->domain, k.domain) << k.url;
        EXPECT_EQ(end->error->code, k.code) << k.url << ": " << end->error->localizedDescription();
        if (k.domain == ZVImageErrorDomain) {
            EXPECT_EQ(end->error->localizedDescription(), decodeFail);
        }
        EXPECT_EQ(calls.all().size(), 1u) << k.url;
        std::string path = NSURL::URLWithString(k.url)->path();
        EXPECT_EQ(server.journal().count(path), k.requests) << k.url;
    }
    // A status failure carries nothing but its code.
    EXPECT_TRUE(load("/404")->error->userInfo.empty());
}

TEST_F(WebImageOperationTest, FailedURLsAreSkippedUnlessTheFailureMayPass) {
    std::string missing = fresh("missing"), slow = fresh("slow");
    server.scriptAlways(missing, Reply::text("gone", "text/plain", 404));
    auto first = load(missing, ZVWebImageOptionSkipFailedURLs);
    ASSERT_TRUE(first && first->error);
    EXPECT_EQ(first->error->code, 404);
    auto again = load(missing, ZVWebImageOptionSkipFailedURLs);
    ASSERT_TRUE(again && again->error);
    EXPECT_EQ(again->error->code, NSURLErrorFileDoesNotExist);
    EXPECT_EQ(again->error->localizedDescription(), "Failed to load URL, blacklisted.");
    EXPECT_EQ(server.journal().count(missing), 1u) << "the second failure made no request";
    // Without the option the URL is asked for again.
    EXPECT_EQ(load(missing)->error->code, 404);
    EXPECT_EQ(server.journal().count(missing), 2u);

    // A time-out says nothing about the URL: it is tried again.
    manager->setTimeout(0.3);
    server.script(slow, Reply::hang());
    auto timedOut = load(slow, ZVWebImageOptionSkipFailedURLs);
    ASSERT_TRUE(timedOut && timedOut->error);
    EXPECT_EQ(timedOut->error->code, NSURLErrorTimedOut);
    serve(slow, png(*disc(8, 8)), "image/png");
    auto retried = load(slow, ZVWebImageOptionSkipFailedURLs);
    ASSERT_TRUE(retried);
    EXPECT_NE(retried->image, nullptr);
    EXPECT_EQ(server.journal().count(slow), 2u);
}

// The time-out is a silence limit: a reply that keeps dripping would never
// meet it. The whole load has a deadline too (a multiple of the time-out),
// and meeting it is a time-out like any other (tried again next time).
TEST_F(WebImageOperationTest, AReplyThatDripsFailsAtItsDeadlineAsTimedOut) {
    manager->setTimeout(0.3);
    std::string path = fresh("drip");
    server.scriptAlways(path, Reply::paced(std::string(1 << 20, 'x'), 64, 100ms, "image/png"));
    Calls calls;
    auto op = request(url(path), ZVWebImageOptionSkipFailedURLs, calls);
    auto end = calls.waitEnd(20s);
    if (!end) op->cancel();
    ASSERT_TRUE(end && end->error) << "still loading: the silence limit alone never ends a drip";
    EXPECT_EQ(end->error->code, NSURLErrorTimedOut);
    EXPECT_FALSE(ZVWebImageOperation::ZVWebImageBlacklistContains(url(path)));
}

TEST_F(WebImageOperationTest, RedirectsAmongHTTPAreFollowed) {
    serve("/final.png", png(*disc(12, 12)), "image/png");
    server.on("GET", "/hop2", standin::redirectTo(url("/final.png"), 301));
    server.on("GET", "/hop1", standin::redirectTo(url("/hop2"), 302));
    auto end = load("/hop1");
    ASSERT_TRUE(end);
    EXPECT_NE(end->image, nullptr);
    EXPECT_EQ(server.journal().count("/final.png"), 1u);
}

TEST_F(WebImageOperationTest, SelfSignedHTTPSFailsUnlessItsCAIsConfigured) {
    standin::HttpServer tls("tls", true);
    ASSERT_TRUE(tls.start());
    tls.scriptAlways("/s.png", Reply::text(text(png(*disc(8, 8))), "image/png"));
    Calls refused;
    request(tls.baseURL() + "/s.png", 0, refused);
    auto end = refused.waitEnd();
    ASSERT_TRUE(end && end->error);
    EXPECT_EQ(end->error->code, NSURLErrorServerCertificateUntrusted);
    manager->setExtraCAFile(tls.caFile());
    Calls trusted;
    request(tls.baseURL() + "/s.png", 0, trusted);
    end = trusted.waitEnd();
    ASSERT_TRUE(end);
    EXPECT_NE(end->image, nullptr);
}

TEST_F(WebImageOperationTest, OfflineFailsAsNotConnected) {
    ScopedTestReachability reachability;
    reachability->setOffline();
    standin::HttpServer gone("gone");
    ASSERT_TRUE(gone.start());
    std::string refused = gone.baseURL() + "/x.png";
    gone.stop();
    Calls calls;
    request(refused, ZVWebImageOptionSkipFailedURLs, calls);
    auto end = calls.waitEnd();
    ASSERT_TRUE(end && end->error);
    EXPECT_EQ(end->error->code, NSURLErrorNotConnectedToInternet);
    EXPECT_FALSE(ZVWebImageOperation::ZVWebImageBlacklistContains(refused)) << "offline says nothing about the URL";
}

TEST_F(WebImageOperationTest, CancelBeforeStartIsOneStageZeroCallAndNothingElse) {
    auto image = uiImage(disc(8, 8));
    cache->setImage(image, nullptr, url("/early.png"), ZVImageCacheTypeMemory);
    manager->queue()->setSuspended(true);
    uint32_t queueUses = ZVWebImageOperation::imageQueueUses();
    Calls calls;
    auto op = request(url("/early.png"), 0, calls);
    op->cancel();
    manager->queue()->setSuspended(false);
    auto end = calls.waitEnd();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->stage, ZVWebImageStageCancelled);
    EXPECT_EQ(end->image, nullptr) << "the memory cache was not read";
    EXPECT_FALSE(end->error);
    ASSERT_TRUE(testsupport::waitFor([&] { return op->isFinished(); }));
    EXPECT_EQ(calls.all().size(), 1u);
    EXPECT_EQ(server.journal().size(), 0u);
    EXPECT_EQ(ZVWebImageOperation::imageQueueUses(), queueUses);
    EXPECT_EQ(op->description().find("cancelled:YES") != std::string::npos, true) << op->description();
}

// Cancels racing every way an operation ends: one final call each time,
// never a finished call after a cancelled one. (Also run under
// ThreadSanitizer by scripts/test-threads.)
TEST_F(WebImageOperationTest, CancelRacingTheEndLeavesOneFinalCall) {
    serve("/race.png", png(*disc(8, 8)), "image/png");
    cache->setImage(uiImage(disc(8, 8)), nullptr, url("/race-mem.png"), ZVImageCacheTypeMemory);
    auto unqueued = makeManager(false);
    for (int round = 0; round < 1000; ++round) {
        auto& m = round % 2 ? unqueued : manager;
        std::string path = round % 10 == 0 ? "/race.png" : "/race-mem.png";
        Calls calls;
        auto op = m->requestImageWithURL(*NSURL::URLWithString(url(path)),
                                         round % 20 == 0 ? ZVWebImageOptions(ZVWebImageOptionReloadIgnoringImageCache) : 0, {}, {},
                                         calls.handler());
        ASSERT_TRUE(op);
        op->cancel();
        ASSERT_TRUE(calls.blockUntilEnd()) << "round " << round;
        op->waitUntilFinished();
        drainWebImageThreads();  // anything still on its way arrives now
        auto all = calls.all();
        ASSERT_EQ(calls.endCount(), 1u) << "round " << round;
        ASSERT_NE(all.back().stage, ZVWebImageStageIntermediate) << "round " << round;
    }
}

}  // namespace

namespace {

long valueAfter(const std::string& text, const std::string& key) {
    auto at = text.find(key + "=");
    return at == std::string::npos ? -1 : std::stol(text.substr(at + key.size() + 1));
}

TEST(WebImageCaps, AnEndlessBodyStopsAtTheCapAndALyingLengthReservesLittle) {
    auto endless = testsupport::runProgram({testsupport::built(WEBIMAGE_CHILD), "endless"});
    ASSERT_EQ(endless.status, 0) << endless.err;
    EXPECT_EQ(valueAfter(endless.out, "code"), NSURLErrorDataLengthExceedsMaximum) << endless.out;
    auto lying = testsupport::runProgram({testsupport::built(WEBIMAGE_CHILD), "lying"});
    ASSERT_EQ(lying.status, 0) << lying.err;
    EXPECT_EQ(valueAfter(lying.out, "code"), NSURLErrorNetworkConnectionLost) << lying.out;
    if (testsupport::kMeasuresMemory) {
        EXPECT_LT(valueAfter(endless.out, "grew_kib"), 2 * 16 * 1024) << "under twice the 16 MiB cap";
        EXPECT_LE(valueAfter(lying.out, "reserved_kib"), 8 * 1024 + 256) << "at most 8 MiB for a length that is a hint";
    }
}

}  // namespace
