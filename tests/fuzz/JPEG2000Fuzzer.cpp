// JPEG 2000 files (JP2 boxes or bare codestreams) through the image source:
// the image decodes or fails within the pixel budget, at the size its
// header states, and writes back losslessly (see ImageChecks.h). Headers,
// tiles and boxes that lie give no image and no crash. The input is the file.

#include "ImageChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::checkImages(data, size, imageio::Format::JPEG2000);
    return 0;
}
