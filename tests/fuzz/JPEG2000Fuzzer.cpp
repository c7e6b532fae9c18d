// JPEG 2000 files (JP2 boxes or bare codestreams) through the image source:
// the image decodes or fails within the pixel budget, at the size its
// header states, and writes back losslessly (see ImageChecks.h). Headers,
// tiles and boxes that lie give no image and no crash. The heap grows by at
// most a small multiple of the bitmap the file states plus a constant
// (OpenJPEG's samples take 4 bytes per component and pixel, the bitmap 4 a
// pixel): a hundred bytes that ask for millions of code-blocks cost no
// gigabytes. The input is the file.

#include "HeapPeak.h"
#include "ImageChecks.h"

namespace {

// The bitmap bytes of the image the file states (0 without one).
uint64_t statedBitmapBytes(const uint8_t* data, size_t size) {
    auto source = imageio::ImageSource::create(data, size);
    Value props = source->propertiesAtIndex(0);
    return uint64_t(props[imageio::kPropertyPixelWidth].intValue()) * uint64_t(props[imageio::kPropertyPixelHeight].intValue()) * 4;
}

constexpr uint64_t kBitmapMultiple = 8, kConstantBytes = uint64_t(64) << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint64_t bitmap = statedBitmapBytes(data, size);
    fuzz::HeapPeak heap;
    fuzz::checkImages(data, size, imageio::Format::JPEG2000);
    if (auto growth = heap.growth()) {
        if (*growth > kBitmapMultiple * bitmap + kConstantBytes)
            std::fprintf(stderr, "heap grew by %llu bytes for a bitmap of %llu\n", (unsigned long long)*growth,
                         (unsigned long long)bitmap);
        FUZZ_CHECK(*growth <= kBitmapMultiple * bitmap + kConstantBytes);
    }
    return 0;
}
