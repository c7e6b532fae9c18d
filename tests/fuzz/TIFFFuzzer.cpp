// TIFF files through the image source: every page libtiff lists decodes or
// fails within the pixel budget, at its stated size, and writes back
// losslessly (see ImageChecks.h). Pages, strips, tiles and directory
// chains that lie give no image and no crash, and the pages listed hold at
// most the frame-work bound's pixels in all (many huge pages sharing one
// strip decode a few, not minutes' worth). The input is the file.

#include "ImageChecks.h"
#include "platform/graphics/ImageReaders.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietPlatformLog();  // a file cut by the work bound says so
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto source = imageio::ImageSource::create(data, size);
    uint64_t pixels = 0;
    for (size_t i = 0; i < source->count(); ++i) {
        Value props = source->propertiesAtIndex(i);
        pixels += uint64_t(props[imageio::kPropertyPixelWidth].intValue()) * uint64_t(props[imageio::kPropertyPixelHeight].intValue());
    }
    FUZZ_CHECK(pixels <= imageio::kMaxFrameWork);
    fuzz::checkImages(data, size, imageio::Format::TIFF);
    return 0;
}
