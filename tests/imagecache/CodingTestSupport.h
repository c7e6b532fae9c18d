#pragma once
// Test files for the image-coding tests: patterned bitmaps, animated PNGs
// and GIFs built chunk by chunk or record by record (so that tests can set
// what our encoder never writes, or damage it), and reference compositors
// that play them with a top-left origin, independently of the decoder.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/UIImage.h"

namespace codingtest {

// w × h pixels, each colour depending on (x, y, seed). With alpha, about
// one pixel in five is fully transparent, the rest opaque: compositing such
// pixels is exact, so results compare pixel for pixel.
std::shared_ptr<CGImage> pattern(int w, int h, uint32_t seed, bool alpha);

// Pixels whose straight RGBA differs by more than `tolerance` in any
// component (transparent pixels compare by alpha only); -1 for a size mismatch.
int differingPixels(const CGImage& a, const CGImage& b, int tolerance = 0);

// The image drawn as the toolkit shows it (orientation applied), at scale 1.
std::shared_ptr<CGImage> drawn(const UIImage& image);

// PNG chunks.
struct Chunk {
    std::string type;
    Data body;
};
std::vector<Chunk> chunksOf(const Data& png);
Data pngFile(const std::vector<Chunk>& chunks);  // signature, chunks with CRCs
Data be32(uint32_t v);

// An animated PNG: frames of their own sizes placed on the canvas.
struct APNGFrame {
    std::shared_ptr<CGImage> image;
    uint32_t x = 0, y = 0;  // from the top-left
    uint16_t delayNum = 1, delayDen = 10;
    uint8_t dispose = 0, blend = 0;
};
struct APNG {
    int width = 0, height = 0;
    bool cover = true;                      // frame 0 is also the default image
    std::shared_ptr<CGImage> defaultImage;  // when not the cover
    std::vector<APNGFrame> frames;
    uint32_t loops = 0;
};
Data build(const APNG& spec);
// What each frame should show: the canvas after it, composited by the APNG rules.
std::vector<std::shared_ptr<CGImage>> compose(const APNG& spec);

// A GIF with every frame's place, palette indexes, transparency and disposal.
struct GIFFrame {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> indexes;
    int transparent = -1;
    int disposal = 0;
    int delay = 0;  // centiseconds
    bool interlaced = false;
};
Data buildGIF(int width, int height, const std::vector<GIFFrame>& frames, int loops = -1);
// Frames read with giflib's DGifSlurp and composited through their disposal.
std::vector<std::shared_ptr<CGImage>> slurpAndCompose(const Data& gif);
// The loop count (-1 without a loop extension) and frame delays giflib reads.
struct GIFTiming {
    int loops = -1;
    std::vector<int> delays;  // centiseconds
};
GIFTiming readGIFTiming(const Data& gif);

}  // namespace codingtest
