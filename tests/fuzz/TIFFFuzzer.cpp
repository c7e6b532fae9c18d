// TIFF files through the image source: every page libtiff lists decodes or
// fails within the pixel budget, at its stated size, and writes back
// losslessly (see ImageChecks.h). Pages, strips, tiles and directory
// chains that lie give no image and no crash. The input is the file.

#include "ImageChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::checkImages(data, size, imageio::Format::TIFF);
    return 0;
}
