// Image bytes of a download arriving in pieces, shown as partial images
// (plain, or blurred for progressive JPEG and interlaced PNG) through the
// queueing the operation uses (ZVWebImagePartials): whatever the bytes, a
// partial image is a bitmap within the pixel budget, none comes once
// partial images were given up or the download closed, at most one decode
// is ever in flight, and the blur radius is never negative.
//
// Input: byte 0: bit 0 blurred or plain, bits 1-3 the number of pieces
// (1-8), bit 4 whether the length is known, bit 5 whether a decode runs at
// once or waits while the next piece arrives; the file follows.

#include <functional>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "imagecache/webimage/ZVWebImagePartials.h"
#include "platform/graphics/CGImage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietPlatformLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool blur = data[0] & 1;
    const size_t pieces = 1 + ((data[0] >> 1) & 7);
    const bool waits = data[0] & 32;
    const Data file(data + 1, data + size);
    const int64_t expected = (data[0] & 16) ? int64_t(file.size()) : -1;

    double now = 0;
    std::vector<std::function<void()>> queued;  // the decode queue
    size_t shownCount = 0;
    bool gaveUp = false, closed = false;
    auto bytes = std::make_shared<ZVWebImagePartials::Bytes>();
    std::shared_ptr<ZVWebImagePartials> partials;
    partials = ZVWebImagePartials::create(
        blur, bytes,
        [&](std::function<void()> decode) {
            FUZZ_CHECK(queued.empty());  // one in flight at most
            queued.push_back(std::move(decode));
        },
        [&](std::shared_ptr<UIImage> image) {
            FUZZ_CHECK(!closed && !gaveUp);
            FUZZ_CHECK(image && image->CGImage());
            FUZZ_CHECK(CGImage::fitsBudget(image->CGImage()->width(), image->CGImage()->height()));
            ++shownCount;
        },
        [&] { return now; });
    auto runQueued = [&] {
        auto jobs = std::move(queued);
        queued.clear();
        for (auto& job : jobs) job();
        FUZZ_CHECK(!partials->inFlight());
        if (blur) FUZZ_CHECK(partials->lastRadius() >= 0);
        gaveUp = partials->ignored();
    };

    for (size_t i = 0; i < pieces; ++i) {
        size_t from = file.size() * i / pieces, to = file.size() * (i + 1) / pieces;
        bytes->data.insert(bytes->data.end(), file.begin() + long(from), file.begin() + long(to));
        now += 1;  // a second apart: the interval never holds one back
        partials->pieceArrived(to - from, expected);
        FUZZ_CHECK(!gaveUp || queued.empty());
        if (!waits || i % 2 == 1) runQueued();
    }
    // A decode that was waiting when the download ended shows nothing.
    partials->close();
    closed = true;
    size_t before = shownCount;
    runQueued();
    FUZZ_CHECK(shownCount == before);
    return 0;
}
