// Decodes the file named on the command line through the image decoder
// (every frame, for display) and prints the frame count, the process's
// peak resident memory and its processor time, so a test can see what a
// hostile file costs. With a size after the file, it loads the file as the
// page's thumbnails do instead (for drawing into that many pixels square)
// and prints the bitmap's size.

#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "imagecache/ZVImageDecoder.h"
#include "platform/foundation/Files.h"
#include "platform/graphics/UIImage.h"

namespace {

long milliseconds(const timeval& t) { return long(t.tv_sec) * 1000 + long(t.tv_usec) / 1000; }

void decodeFrames(const Data& bytes) {
    size_t frames = 0, images = 0;
    if (auto decoder = ZVImageDecoder::decoderWithData(bytes, 1)) {
        frames = decoder->frameCount();
        for (size_t i = 0; i < frames; ++i) images += decoder->frameAtIndex(i, true) != nullptr;
    }
    std::printf("frames=%zu images=%zu ", frames, images);
}

void loadForThumbnail(const Data& bytes, int pixels) {
    auto image = UIImage::imageWithData(bytes, 1, pixels);
    if (!image) std::printf("bitmap=none ");
    else std::printf("bitmap=%dx%d ", image->CGImage()->width(), image->CGImage()->height());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) return 2;
    auto bytes = files::readData(argv[1]);
    if (!bytes) return 2;
    if (argc == 3) loadForThumbnail(*bytes, std::stoi(argv[2]));
    else decodeFrames(*bytes);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak_kib=%ld cpu_ms=%ld\n", usage.ru_maxrss, milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime));
    return 0;
}
