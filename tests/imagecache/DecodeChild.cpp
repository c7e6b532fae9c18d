// Decodes the file named on the command line through the image decoder
// (every frame, for display) and prints the frame count and the process's
// peak resident memory, so a test can see what a hostile file costs.

#include <sys/resource.h>

#include <cstdio>

#include "imagecache/ZVImageDecoder.h"
#include "platform/foundation/Files.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    auto bytes = files::readData(argv[1]);
    if (!bytes) return 2;
    size_t frames = 0, images = 0;
    if (auto decoder = ZVImageDecoder::decoderWithData(*bytes, 1)) {
        frames = decoder->frameCount();
        for (size_t i = 0; i < frames; ++i) images += decoder->frameAtIndex(i, true) != nullptr;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("frames=%zu images=%zu peak_kib=%ld\n", frames, images, usage.ru_maxrss);
    return 0;
}
