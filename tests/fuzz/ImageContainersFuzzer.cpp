// BMP, ICO/CUR and ICNS files read by our own code: every image the source
// lists decodes (or fails) without reading outside the data, at the size
// its properties state, within the pixel budget.

#include "ImageChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The container is chosen by the first byte, so that every input reaches one.
    static const char* magics[] = {"BM", "\0\0\1\0", "\0\0\2\0", "icns"};
    static const size_t lengths[] = {2, 4, 4, 4};
    if (size < 1) return 0;
    size_t kind = data[0] % 4;
    Data file(magics[kind], magics[kind] + lengths[kind]);
    file.insert(file.end(), data + 1, data + size);
    auto source = imageio::ImageSource::create(file.data(), file.size());
    FUZZ_CHECK(source->type() != imageio::Format::Unknown);
    for (size_t i = 0; i < source->count() && i < 16; ++i) fuzz::checkedImage(*source, i);
    FUZZ_CHECK(!source->imageAtIndex(source->count()));
    return 0;
}
