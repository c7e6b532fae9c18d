// The EXIF reader of JPEG files: any APP1 payload gives an orientation
// from 1 to 8, and the same payload inside a JPEG gives the decoder the
// same orientation (offsets near 4 GiB once wrapped round to read far past
// the segment).

#include "FuzzSupport.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/ImageIO.h"

namespace {

const Data& smallJPEG() {
    static const Data jpeg = [] {
        auto image = CGImage::create(4, 3, false);
        return *imageio::encodeJPEG(*image, 0.5);
    }();
    return jpeg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int orientation = imageio::exifOrientationFromApp1(data, size);
    FUZZ_CHECK(orientation >= 1 && orientation <= 8);
    if (size > 0xFFFF - 2) return 0;
    Data jpeg = smallJPEG();
    Data segment = {0xFF, 0xE1, uint8_t((size + 2) >> 8), uint8_t(size + 2)};
    segment.insert(segment.end(), data, data + size);
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    auto decoded = imageio::decode(jpeg);
    FUZZ_CHECK(decoded.has_value());
    FUZZ_CHECK(decoded->exifOrientation == orientation);
    return 0;
}
