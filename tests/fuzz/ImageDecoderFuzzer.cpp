// Image data of any format arriving in pieces: the decoder is fed a prefix
// of a length the input chooses, then the whole as final, then asked for
// every frame in order and in an order the input chooses, for display or
// not. It never shows more than one frame before the data is final, the
// frame count only settles at final, and frames for display cover the
// canvas (icons keep their own sizes).
//
// Input: byte 0 chooses display or not and the order, bytes 1-2 the prefix
// length (a fraction of the file); the file follows.

#include "FuzzSupport.h"
#include "imagecache/ZVImageDecoder.h"

namespace {

void checkFrame(ZVImageDecoder& decoder, size_t index, bool display) {
    auto frame = decoder.frameAtIndex(index, display);
    if (!frame) return;
    FUZZ_CHECK(frame->image && frame->image->CGImage());
    const auto& bitmap = *frame->image->CGImage();
    if (display && decoder.type() != ZVImageType::ICO) {
        FUZZ_CHECK(size_t(bitmap.width()) == decoder.width() && size_t(bitmap.height()) == decoder.height());
        FUZZ_CHECK(frame->image->isDecodedForDisplay());
    }
    FUZZ_CHECK(decoder.frameDurationAtIndex(index) >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietPlatformLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t flags = data[0];
    const size_t fraction = size_t(data[1]) << 8 | data[2];
    Data file(data + 3, data + size);
    Data prefix(file.begin(), file.begin() + long(file.size() * fraction / 65536));

    ZVImageDecoder decoder(1);
    decoder.updateData(prefix, false);
    FUZZ_CHECK(decoder.frameCount() <= 1);
    if (decoder.frameCount() == 1) checkFrame(decoder, 0, flags & 1);
    FUZZ_CHECK(!decoder.frameAtIndex(1, true));
    decoder.updateData(file, true);
    FUZZ_CHECK(decoder.isFinalized());
    const size_t frames = decoder.frameCount();
    FUZZ_CHECK(!decoder.updateData(file, true) && decoder.frameCount() == frames);
    // Huge canvases cost time, not coverage: their sizes were checked already.
    const size_t playable = decoder.width() * decoder.height() > (size_t(1) << 22) ? std::min<size_t>(frames, 1) : frames;
    for (size_t i = 0; i < playable && i < 64; ++i) checkFrame(decoder, i, flags & 2);
    // Jumps back and forth redraw from where each frame depends.
    for (size_t k = 0, i = flags; playable > 0 && k < 8; ++k, i = i * 31 + 7)
        checkFrame(decoder, i % std::min<size_t>(playable, 64), (i >> 3) & 1);
    FUZZ_CHECK(!decoder.frameAtIndex(frames, true));
    (void)decoder.framePropertiesAtIndex(0);
    (void)decoder.imageProperties();
    return 0;
}
