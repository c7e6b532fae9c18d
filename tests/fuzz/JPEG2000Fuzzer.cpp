// JPEG 2000 files (JP2 boxes or bare codestreams) through the image source:
// the image decodes or fails within the pixel budget, at the size its
// header states, and writes back losslessly (see ImageChecks.h). Headers,
// tiles and boxes that lie give no image and no crash. The heap grows by at
// most what the stated image needs: OpenJPEG's samples (4 bytes per
// codestream component and pixel) three times over (the image, a tile's
// copy, and room), the bookkeeping our reading judged (JPEG2000Header.h),
// and our bitmap twice, plus 64 MiB: a hundred bytes that ask for millions
// of code-blocks, openly or hidden where OpenJPEG reads them, cost no
// gigabytes; nor does a palette of many columns wherever it stands, which
// OpenJPEG is never let apply (JPEG2000Boxes.h). fuzz_jp2_walk checks that
// what is judged is what OpenJPEG reads. The input is the file.

#include "HeapPeak.h"
#include "ImageChecks.h"
#include "platform/graphics/JPEG2000Header.h"

namespace {

constexpr uint64_t kConstantBytes = uint64_t(64) << 20;

// The most the heap may grow for the file: nothing beyond the constant
// without a header our reading accepts.
uint64_t heapBound(const uint8_t* data, size_t size) {
    auto header = imageio::jpeg2000::readHeader(data, size);
    if (!header) return kConstantBytes;
    const uint64_t bitmap = uint64_t(header->width) * header->height * 4;
    return 3 * bitmap * uint64_t(header->styles.size()) + header->bookkeepingBytes + 2 * bitmap + kConstantBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint64_t bound = heapBound(data, size);
    fuzz::HeapPeak heap;
    fuzz::checkImages(data, size, imageio::Format::JPEG2000);
    if (auto growth = heap.growth(); growth && *growth > bound) {
        std::fprintf(stderr, "heap grew by %llu bytes, more than %llu\n", (unsigned long long)*growth,
                     (unsigned long long)bound);
        FUZZ_CHECK(*growth <= bound);
    }
    return 0;
}
