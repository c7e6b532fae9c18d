// Loads hostile or heavy replies through web-image operations and prints
// what they cost, so that a test sees it in a process of its own:
//   endless  a body without end, capped at 16 MiB: the failure's code and
//            how far the peak resident memory grew ("code=... grew_kib=...");
//   lying    a Content-Length of 10^12 before a short body: how much heap
//            the response made the operation set aside ("reserved_kib=...");
//   drip N plain|blur
//            N drip-fed 8192 x 8192 progressive JPEGs with partial images,
//            the first scan of each let go and the rest held, and a small
//            PNG asked for while their partial images are made: how many
//            partial images came and from how many downloads, how long the
//            small image took, and how far the peak resident memory and
//            (under AddressSanitizer) the heap grew
//            ("partials=... downloads=... small_ms=... grew_kib=... heap_kib=...",
//            -1 where not measured).

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

#include "HeapPeak.h"
#include "WebImageTestSupport.h"
#include "imagecache/webimage/ZVWebImageManager.h"
#include "imagecache/webimage/ZVWebImageOperation.h"
#include "platform/dispatch/Clock.h"
#include "standin/StandinServer.h"

namespace {

using Steady = std::chrono::steady_clock;


size_t heapBytes() {
    struct mallinfo2 m = mallinfo2();
    return m.hblkhd + m.uordblks;
}

// Waits for `done` under `mutex`, at most `seconds`.
template <class Pred>
bool waitUntil(std::mutex& mutex, std::condition_variable& changed, int seconds, Pred done) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(seconds), done);
}

int runCap(const std::string& mode) {
    standin::HttpServer server("child");
    if (mode == "endless") {
        server.scriptAlways("/x", standin::Reply::endless("image/png"));
    } else {
        auto reply = standin::Reply::held({std::string(1000, 'x')}, "image/png");
        reply.stream.announcedLength = 1000000000000ull;
        server.scriptAlways("/x", reply);
    }
    if (!server.start()) return 3;
    ZVWebImageManager manager(nullptr, nullptr);
    manager.setMaxBodyBytes(16u << 20);

    std::mutex mutex;
    std::condition_variable ended;
    long code = 0;
    bool done = false;
    size_t heapBefore = heapBytes(), reserved = 0;
    long rssBefore = testsupport::ownStatusKiB("VmRSS:");
    auto op = manager.requestImageWithURL(
        *NSURL::URLWithString(server.baseURL() + "/x"), 0,
        [&](int64_t received, int64_t) {
            if (received == 0) reserved = heapBytes() - heapBefore;  // the response has just come
        },
        {},
        [&](std::shared_ptr<UIImage>, const NSURL&, ZVWebImageSource, ZVWebImageStage, const std::optional<Error>& e) {
            std::lock_guard lock(mutex);
            code = e ? e->code : 0;
            done = true;
            ended.notify_all();
        });
    if (mode == "lying") server.releasePieces();
    if (!waitUntil(mutex, ended, 60, [&] { return done; })) return 4;
    if (mode == "endless") std::printf("code=%ld grew_kib=%ld\n", code, testsupport::ownStatusKiB("VmHWM:") - rssBefore);
    else std::printf("code=%ld reserved_kib=%zu\n", code, reserved / 1024);
    return 0;
}

// N drip-fed downloads, each from a server of its own (so that a release
// lets one piece of each go), and what they told.
class Drip {
public:
    Drip(std::vector<std::string> pieces, int count) : pieces_(std::move(pieces)), count_(size_t(count)) {
        received_.assign(count_, -1);
        partials_.assign(count_, 0);
        ended_.assign(count_, false);
        manager_.setTimeout(600);  // a round of blurred partial images may outlast the usual silence
    }

    bool start(ZVWebImageOptions options) {
        for (size_t k = 0; k < count_; ++k) {
            servers_.push_back(std::make_unique<standin::HttpServer>("child"));
            if (!servers_[k]->start()) return false;
            servers_[k]->scriptAlways("/big.jpg", standin::Reply::held(pieces_, "image/jpeg"));
            operations_.push_back(request(servers_[k]->baseURL() + "/big.jpg", options, k));
        }
        return allReceived(0);
    }
    // One more scan of each download, once every one has it.
    bool releaseScan() {
        for (auto& server : servers_) server->releasePieces();
        return allReceived(++released_);
    }
    bool waitForPartials(int each) {
        return waitUntil(mutex_, changed_, 600, [&] { return partialCount() >= each * int(count_); });
    }
    bool cancelAll() {
        for (auto& op : operations_) op->cancel();
        return waitUntil(mutex_, changed_, 60, [&] { return std::count(ended_.begin(), ended_.end(), false) == 0; });
    }
    // How many partial images came, and from how many downloads.
    std::pair<int, int> partials() {
        std::lock_guard lock(mutex_);
        return {partialCount(), int(std::count_if(partials_.begin(), partials_.end(), [](int p) { return p > 0; }))};
    }

private:
    std::shared_ptr<ZVWebImageOperation> request(const std::string& url, ZVWebImageOptions options, size_t k) {
        return manager_.requestImageWithURL(
            *NSURL::URLWithString(url), options,
            [this, k](int64_t received, int64_t) {
                std::lock_guard lock(mutex_);
                received_[k] = received;
                changed_.notify_all();
            },
            {},
            [this, k](std::shared_ptr<UIImage>, const NSURL&, ZVWebImageSource, ZVWebImageStage stage,
                      const std::optional<Error>&) {
                std::lock_guard lock(mutex_);
                if (stage == ZVWebImageStageIntermediate) ++partials_[k];
                else ended_[k] = true;
                changed_.notify_all();
            });
    }
    bool allReceived(size_t pieceCount) {
        int64_t bytes = 0;
        for (size_t i = 0; i < pieceCount; ++i) bytes += int64_t(pieces_[i].size());
        return waitUntil(mutex_, changed_, 120, [&] {
            return std::all_of(received_.begin(), received_.end(), [&](int64_t r) { return r >= bytes; });
        });
    }
    int partialCount() const { return std::accumulate(partials_.begin(), partials_.end(), 0); }

    const std::vector<std::string> pieces_;
    const size_t count_;
    size_t released_ = 0;
    std::vector<std::unique_ptr<standin::HttpServer>> servers_;
    ZVWebImageManager manager_{nullptr, nullptr};
    std::vector<std::shared_ptr<ZVWebImageOperation>> operations_;  // held: one released while it runs is cancelled
    std::mutex mutex_;  // guards the four below
    std::condition_variable changed_;
    std::vector<int64_t> received_;  // bytes, -1 before the response
    std::vector<int> partials_;
    std::vector<bool> ended_;
};

// Milliseconds a small PNG takes to come, asked for now; -1 when it does not.
long smallImageMs() {
    standin::HttpServer server("child");
    if (!server.start()) return -1;
    server.scriptAlways("/small.png", standin::Reply::text(
                                          webimagetest::text(webimagetest::png(*webimagetest::disc(8, 8))), "image/png"));
    ZVWebImageManager manager(nullptr, nullptr);
    std::mutex mutex;
    std::condition_variable changed;
    bool arrived = false;
    auto asked = Steady::now();
    auto op = manager.requestImageWithURL(*NSURL::URLWithString(server.baseURL() + "/small.png"), 0, {}, {},
                                          [&](std::shared_ptr<UIImage> image, const NSURL&, ZVWebImageSource,
                                              ZVWebImageStage, const std::optional<Error>&) {
                                              std::lock_guard lock(mutex);
                                              arrived = image != nullptr;
                                              changed.notify_all();
                                          });
    if (!waitUntil(mutex, changed, 120, [&] { return arrived; })) return -1;
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - asked).count());
}

// 8192 x 8192 of soft bands, made row by row: no bitmap of it is ever held.
Data hugeProgressiveJPEG() {
    return webimagetest::jpegOfRows(8192, 8192, true, [](int y, uint8_t* rgb) {
        for (int x = 0; x < 8192; ++x, rgb += 3)
            rgb[0] = uint8_t(x / 32), rgb[1] = uint8_t(y / 32), rgb[2] = uint8_t((x + y) / 64);
    });
}

int runDrip(int count, bool blur) {
    auto pieces = webimagetest::scanPieces(hugeProgressiveJPEG());
    if (pieces.size() < 6) return 5;
    // What making the picture cost is no part of the measure.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    long rssBefore = testsupport::ownStatusKiB("VmRSS:");
    fuzz::HeapPeak heap;
    // The drip's own time: a partial image is due at every scan.
    ScopedTestClock clock;
    clock->advance(std::chrono::seconds(1));

    Drip drip(std::move(pieces), count);
    if (!drip.start(blur ? ZVWebImageOptionProgressiveBlurDisplay : ZVWebImageOptionProgressiveDisplay)) return 6;
    // The first scan of each: a partial image of each is due at once. The
    // small image is asked for while they are being made.
    if (!drip.releaseScan()) return 7;
    long smallMs = smallImageMs();
    if (!drip.waitForPartials(1) || !drip.cancelAll()) return 8;

    auto [partials, downloads] = drip.partials();
    auto heapGrowth = heap.growth();
    std::printf("partials=%d downloads=%d small_ms=%ld grew_kib=%ld heap_kib=%lld\n", partials, downloads, smallMs,
                testsupport::ownStatusKiB("VmHWM:") - rssBefore, heapGrowth ? (long long)(*heapGrowth / 1024) : -1LL);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "endless" || mode == "lying") return runCap(mode);
    if (mode == "drip" && argc == 4) return runDrip(std::atoi(argv[2]), std::string(argv[3]) == "blur");
    return 2;
}
