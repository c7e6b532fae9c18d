#pragma once
// Shared set-up of the web-image tests: pictures written by the image
// libraries themselves (interlaced PNG, progressive JPEG), a recorder of
// what an operation or a setter tells, and a stand-in server with a fresh
// manager and cache per test.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "imagecache/ZVImageCache.h"
#include "imagecache/webimage/ZVWebImageManager.h"
#include "imagecache/webimage/ZVWebImageOperation.h"
#include "platform/dispatch/Clock.h"
#include "platform/graphics/CGImage.h"
#include "standin/StandinServer.h"
#include "support/TestSupport.h"

namespace webimagetest {

// A w × h opaque picture of `colour` with a white disc in the middle.
std::shared_ptr<CGImage> disc(int w, int h, RGBA8 colour = {40, 90, 200, 255});
Data png(const CGImage& image, bool interlaced = false);
Data jpeg(const CGImage& image, bool progressive = false);
// A w x h JPEG whose rows `row` writes (w R, G, B triples each), for
// pictures too large to hold as a bitmap first.
Data jpegOfRows(int w, int h, bool progressive, const std::function<void(int y, uint8_t* rgb)>& row);
// A GIF of one frame.
Data stillGIF(int w, int h);
// disc() with noise in its red channel, so that its PNG is large enough to
// come in many pieces.
std::shared_ptr<CGImage> noisy(int w, int h);
// Where each scan of a progressive JPEG starts (its start-of-scan markers).
std::vector<size_t> scanStarts(const Data& jpg);
// A progressive JPEG cut where each scan after the first starts: the first
// piece holds the headers and the first scan.
std::vector<std::string> scanPieces(const Data& jpg);
std::string text(const Data& d);

// Returns once what the network thread and every decode queue held when
// called has run (and what that posted to the network thread).
void drainWebImageThreads();
// Returns once what the network thread held when called has run.
void drainNetworkThread();

struct Call {
    std::shared_ptr<UIImage> image;
    std::string url;
    ZVWebImageSource from = ZVWebImageSourceNone;
    ZVWebImageStage stage = ZVWebImageStageCancelled;
    std::optional<Error> error;
    bool onNetworkThread = false;
    Clock::Monotonic at;  // on the installed clock
};

// Every completion call of one request, in order (thread-safe; the
// handler keeps what it records alive after the Calls object is gone).
class Calls {
public:
    ZVWebImageCompletionHandler handler();
    std::vector<Call> all() const;
    std::vector<Call> partials() const;
    // The final call (stage 0 or 1), waited for with the main loop running.
    std::optional<Call> waitEnd(std::chrono::milliseconds timeout = std::chrono::seconds(15));
    // The same without running the main loop (for calls that come on the network thread).
    bool blockUntilEnd(std::chrono::milliseconds timeout = std::chrono::seconds(15));
    size_t endCount() const;

private:
    struct State {
        std::mutex mutex;  // guards calls
        std::condition_variable changed;
        std::vector<Call> calls;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// A stand-in server, and a manager with a fresh cache and a queue.
class WebImageEnvironment {
public:
    void setUpEnvironment();
    void tearDownEnvironment();
    // A manager of this test's cache, with a queue unless `queued` is false.
    std::shared_ptr<ZVWebImageManager> makeManager(bool queued = true);
    std::string url(const std::string& path) const { return server.baseURL() + path; }
    // Serves `bytes` at `path` for every request.
    void serve(const std::string& path, const Data& bytes, const std::string& type);
    std::shared_ptr<ZVWebImageOperation> request(const std::string& urlText, ZVWebImageOptions options, Calls& calls,
                                                 ZVWebImageProgressHandler progress = {},
                                                 ZVWebImageTransformHandler transform = {});
    std::optional<Call> load(const std::string& path, ZVWebImageOptions options = 0);

    testsupport::TempDir dir;
    standin::HttpServer server{"webimage"};
    std::shared_ptr<ZVImageCache> cache;
    std::shared_ptr<ZVWebImageManager> manager;
};

class WebImageTest : public ::testing::Test, public WebImageEnvironment {
protected:
    void SetUp() override { setUpEnvironment(); }
    void TearDown() override { tearDownEnvironment(); }
};

}  // namespace webimagetest
