// The GIF builder on any bytes: null, a still image, or an animation whose
// frames are all of one size at the scale asked for, each distinct frame
// counted once against the 64 MiB cap, and whose duration is the sum of
// delays of at least 0.02 s each.

#include <set>

#include "FuzzSupport.h"
#include "imagecache/UIImageZVWebImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (fuzz::quietPlatformLog(), true);
    (void)quiet;
    auto image = ZVWebImage::ZV_imageWithSmallGIFData(Data(data, data + size), 2);
    if (!image || image->images().empty()) return 0;
    const auto& frames = image->images();
    FUZZ_CHECK(frames.size() >= 2);
    FUZZ_CHECK(image->duration() >= 0.02 * 2 - 1e-9);
    std::set<const UIImage*> distinct;
    uint64_t decoded = 0;
    for (const auto& frame : frames) {
        FUZZ_CHECK(frame && frame->CGImage());
        FUZZ_CHECK(frame->scale() == 2);
        FUZZ_CHECK(frame->CGImage()->width() == frames[0]->CGImage()->width());
        FUZZ_CHECK(frame->CGImage()->height() == frames[0]->CGImage()->height());
        if (distinct.insert(frame.get()).second) decoded += frame->CGImage()->byteCount();
    }
    FUZZ_CHECK(decoded <= ZVWebImage::kSmallGIFMaxDecodedBytes + distinct.size() * 64);
    return 0;
}
