// Image bytes of a download arriving in pieces, shown as partial images
// (plain, or blurred for progressive JPEG and interlaced PNG) through the
// queueing the operation uses (ZVWebImagePartials): whatever the bytes, a
// partial image is a bitmap within the pixel budget, none comes once
// partial images were given up or the download closed, at most one decode
// is ever in flight, over two downloads sharing one slot too, a download
// in line for the slot gets it once the other's decode ended, every slot
// is given back, and the blur radius is never negative.
//
// Input: byte 0: bit 0 blurred or plain, bits 1-3 the number of pieces
// (1-8), bit 4 whether the length is known, bit 5 whether a decode runs at
// once or waits while the next piece arrives, bit 6 whether a second
// download of the same file, one piece behind, shares the slot; the file
// follows.

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "imagecache/webimage/ZVWebImagePartials.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/ImageSource.h"

namespace {

// One download: its bytes so far and its partial images.
struct Download {
    std::shared_ptr<ZVWebImagePartials::Bytes> bytes = std::make_shared<ZVWebImagePartials::Bytes>();
    std::shared_ptr<ZVWebImagePartials> partials;
    size_t shownCount = 0;
    bool gaveUp = false, closed = false;

    void arrive(const Data& file, size_t from, size_t to, int64_t expected) {
        if (closed) return;
        bytes->data.insert(bytes->data.end(), file.begin() + long(from), file.begin() + long(to));
        partials->pieceArrived(to - from, expected);
    }
};

// The pixels of the file's first image, as its header states them.
uint64_t statedPixels(const Data& file) {
    auto source = imageio::ImageSource::create(file.data(), file.size());
    Value props = source->propertiesAtIndex(0);
    return uint64_t(std::max<int64_t>(0, props[imageio::kPropertyPixelWidth].intValue())) *
           uint64_t(std::max<int64_t>(0, props[imageio::kPropertyPixelHeight].intValue()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietPlatformLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    bool blur = data[0] & 1;
    size_t pieces = 1 + ((data[0] >> 1) & 7);
    const bool waits = data[0] & 32;
    size_t downloadCount = (data[0] & 64) ? 2 : 1;
    const Data file(data + 1, data + size);
    // Big canvases cost time, not coverage: a few hundred bytes stating a
    // picture at the pixel budget take seconds a decode, which the decoders'
    // own targets check. The blur's cost is linear in the pixels whatever
    // the bytes, but under the fuzzer's instrumentation it takes about a
    // second a million pixels a pass, three passes a partial image: a file
    // stating more than 65,536 pixels is shown plain, and one stating
    // millions comes in two pieces at most, for one download.
    const uint64_t pixels = statedPixels(file);
    if (pixels > (uint64_t(1) << 16)) blur = false;
    if (pixels > (uint64_t(1) << 22)) {
        pieces = std::min<size_t>(pieces, 2);
        downloadCount = 1;
    }
    const int64_t expected = (data[0] & 16) ? int64_t(file.size()) : -1;

    double now = 0;
    std::vector<std::function<void()>> queued;  // the decode queue
    auto slots = std::make_shared<ZVWebImagePartials::Slots>(1);
    std::vector<Download> downloads(downloadCount);
    for (auto& d : downloads)
        d.partials = ZVWebImagePartials::create(
            blur, d.bytes, slots,
            [&](std::function<void()> decode) {
                FUZZ_CHECK(queued.empty());  // one in flight at most, over both downloads
                queued.push_back(std::move(decode));
            },
            [&d](std::shared_ptr<UIImage> image) {
                FUZZ_CHECK(!d.closed && !d.gaveUp);
                FUZZ_CHECK(image && image->CGImage());
                FUZZ_CHECK(CGImage::fitsBudget(image->CGImage()->width(), image->CGImage()->height()));
                ++d.shownCount;
            },
            [&] { return now; });
    // Runs the queue dry: a decode that ends passes the slot to the download in line.
    auto runQueued = [&] {
        while (!queued.empty()) {
            auto jobs = std::move(queued);
            queued.clear();
            for (auto& job : jobs) job();
        }
        FUZZ_CHECK(slots->taken() == 0 && slots->waiting() == 0);
        for (auto& d : downloads) {
            FUZZ_CHECK(!d.partials->inFlight());
            if (blur) FUZZ_CHECK(d.partials->lastRadius() >= 0);
            d.gaveUp = d.partials->ignored();
        }
    };
    auto cut = [&](size_t i) { return file.size() * i / pieces; };

    for (size_t i = 0; i <= pieces; ++i) {
        now += 1;  // a second apart: the interval never holds one back
        if (i < pieces) downloads[0].arrive(file, cut(i), cut(i + 1), expected);
        if (downloadCount == 2 && i > 0) downloads[1].arrive(file, cut(i - 1), cut(i), expected);
        for (auto& d : downloads) FUZZ_CHECK(!d.gaveUp || !d.partials->inFlight());
        // The first download has all its bytes: it ends, and a decode of
        // its that was waiting shows nothing.
        if (i + 1 == pieces) {
            downloads[0].partials->close();
            downloads[0].closed = true;
        }
        if (!waits || i % 2 == 1) runQueued();
    }
    downloads.back().partials->close();
    downloads.back().closed = true;
    std::vector<size_t> before;
    for (auto& d : downloads) before.push_back(d.shownCount);
    runQueued();
    for (size_t k = 0; k < downloads.size(); ++k) FUZZ_CHECK(downloads[k].shownCount == before[k]);
    return 0;
}
