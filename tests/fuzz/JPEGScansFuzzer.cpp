// JPEG files of any scans: decoding ends, and a file of more scans than the
// reader takes (counted here by walking its markers as the library does)
// gives no image, whole or cut short. What decodes fits the pixel budget.

#include "FuzzSupport.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/ImageIO.h"

namespace {

// The start-of-scan markers before the end of the image.
int scansIn(const uint8_t* d, size_t n) {
    if (n < 2 || d[0] != 0xFF || d[1] != 0xD8) return 0;
    int scans = 0;
    size_t at = 2;
    while (at + 1 < n) {
        if (d[at] != 0xFF) {
            ++at;
            continue;
        }
        uint8_t marker = d[at + 1];
        if (marker == 0xFF || marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            ++at;
            continue;
        }
        if (marker == 0xD9) break;
        if (at + 3 >= n) break;
        size_t length = size_t(d[at + 2]) << 8 | d[at + 3];
        if (length < 2) break;
        at += 2 + length;
        if (marker != 0xDA) continue;
        ++scans;
        // Entropy-coded data runs to the next marker that is not a stuffed
        // byte or a restart.
        while (at + 1 < n && !(d[at] == 0xFF && d[at + 1] != 0x00 && !(d[at + 1] >= 0xD0 && d[at + 1] <= 0xD7) &&
                               d[at + 1] != 0xFF))
            ++at;
    }
    return scans;
}

void check(const uint8_t* data, size_t size) {
    auto image = imageio::decodeJPEG(data, size);
    if (!image) return;
    FUZZ_CHECK(scansIn(data, size) <= imageio::kMaxJPEGScans);
    FUZZ_CHECK(CGImage::fitsBudget(image->width(), image->height()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check(data, size);
    check(data, size / 2);
    return 0;
}
