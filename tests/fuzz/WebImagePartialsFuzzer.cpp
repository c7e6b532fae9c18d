// Image bytes of a download arriving in pieces, shown as partial images
// (plain, or blurred for progressive JPEG and interlaced PNG): whatever the
// bytes, a partial image is a bitmap within the pixel budget, none comes
// once partial images were given up, and the blur radius is never negative.
//
// Input: byte 0: bit 0 blurred or plain, bits 1-3 the number of pieces
// (1-8), bit 4 whether the length is known; the file follows.

#include "FuzzSupport.h"
#include "imagecache/webimage/ZVWebImageProgressive.h"
#include "platform/graphics/CGImage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietPlatformLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool blur = data[0] & 1;
    const size_t pieces = 1 + ((data[0] >> 1) & 7);
    const Data file(data + 1, data + size);
    const int64_t expected = (data[0] & 16) ? int64_t(file.size()) : -1;

    ZVWebImageProgressive partials(blur);
    Data received;
    bool gaveUp = false;
    for (size_t i = 0; i < pieces; ++i) {
        size_t from = file.size() * i / pieces, to = file.size() * (i + 1) / pieces;
        received.insert(received.end(), file.begin() + long(from), file.begin() + long(to));
        double now = double(i + 1);  // a second apart: the interval never holds one back
        if (!partials.isDue(to - from, expected, now)) {
            FUZZ_CHECK(!gaveUp || partials.ignored());
            continue;
        }
        FUZZ_CHECK(!gaveUp);
        auto image = partials.partialImage(received, expected, [] { return false; });
        if (image) {
            FUZZ_CHECK(image->CGImage());
            FUZZ_CHECK(CGImage::fitsBudget(image->CGImage()->width(), image->CGImage()->height()));
            FUZZ_CHECK(partials.lastRadius() >= 0);
            partials.shown(now);
        }
        gaveUp = partials.ignored();
        FUZZ_CHECK(!(gaveUp && image));
    }
    return 0;
}
