// Writes the seeds of the fuzz target fuzz_web_image_partials into the
// folder named on the command line (scripts/make-image-seeds): plain and
// interlaced PNGs, baseline and progressive JPEGs and a still GIF, each
// behind the target's option byte (some with decodes that wait while the
// next piece arrives, some with a second download sharing the slot).

#include <algorithm>
#include <filesystem>

#include "WebImageTestSupport.h"
#include "platform/foundation/Files.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    auto folder = std::filesystem::path(argv[1]) / "fuzz_web_image_partials";
    std::filesystem::create_directories(folder);
    auto picture = webimagetest::disc(33, 33);
    struct Seed {
        const char* name;
        uint8_t options;  // blur bit, pieces - 1 in bits 1-3, known length, decodes that wait, two downloads
        Data file;
    } seeds[] = {
        {"png-plain-4", 3 << 1 | 16, webimagetest::png(*picture)},
        {"png-interlaced-blur-6", 1 | 5 << 1 | 16, webimagetest::png(*picture, true)},
        {"jpeg-baseline-blur-4", 1 | 3 << 1, webimagetest::jpeg(*picture)},
        {"jpeg-progressive-blur-8", 1 | 7 << 1 | 16, webimagetest::jpeg(*picture, true)},
        {"gif-still-plain-3", 2 << 1, webimagetest::stillGIF(12, 12)},
        {"png-plain-6-waiting", 5 << 1 | 16 | 32, webimagetest::png(*picture)},
        {"jpeg-progressive-blur-8-waiting", 1 | 7 << 1 | 32, webimagetest::jpeg(*picture, true)},
        {"png-interlaced-blur-6-two", 1 | 5 << 1 | 16 | 64, webimagetest::png(*picture, true)},
        {"jpeg-progressive-plain-8-two-waiting", 7 << 1 | 16 | 32 | 64, webimagetest::jpeg(*picture, true)},
    };
    for (auto& s : seeds) {
        Data bytes(1 + s.file.size(), s.options);
        std::copy(s.file.begin(), s.file.end(), bytes.begin() + 1);
        if (!files::writeAtomically(folder / s.name, bytes)) return 1;
    }
    return 0;
}
