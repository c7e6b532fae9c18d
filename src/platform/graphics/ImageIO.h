#pragma once
// Image files to and from bitmaps: PNG (libpng), JPEG (libjpeg), GIF
// (giflib), TIFF (libtiff), JPEG 2000 (OpenJPEG), and BMP, ICO and ICNS
// read by our own code. This is the one place
// where bytes become pixels: ImageSource.h reads files frame by frame and
// ImageDestination.h writes them; the functions here are the single-image
// shortcuts. Decoders produce CGImage bitmaps in the display layout and
// check every claimed size against CGImage's pixel budget before
// allocating. Failures give nullopt/nullptr, never throw.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"

namespace imageio {

// WebP is recognised, never decoded.
enum class Format { Unknown, PNG, JPEG, GIF, BMP, ICO, ICNS, TIFF, JPEG2000, WebP };

// The format the first bytes announce (Unknown until enough bytes are there).
Format sniff(const uint8_t* bytes, size_t size);

struct Decoded {
    std::shared_ptr<CGImage> image;
    // The EXIF orientation tag of a JPEG (1...8), 1 when absent.
    int exifOrientation = 1;
    Format format = Format::Unknown;
};

// The first image of any readable format (a GIF's first frame, an icon's
// first entry). With a least size, for drawing at that many pixels or
// fewer: possibly reduced, as ImageSource::reducedImageAtIndex.
std::optional<Decoded> decode(const uint8_t* bytes, size_t size, int leastWidth = 0, int leastHeight = 0);
inline std::optional<Decoded> decode(const Data& d) { return decode(d.data(), d.size()); }

std::shared_ptr<CGImage> decodePNG(const uint8_t* bytes, size_t size);
// A file whose scans would cost more than a bounded amount of work gives
// nothing: past kMaxJPEGScans scans, or past kMaxJPEGScanBlocks blocks read
// over all its scans (a progressive file may repeat one scan thousands of
// times, each a pass over the whole image).
inline constexpr int kMaxJPEGScans = 500;
inline constexpr uint64_t kMaxJPEGScanBlocks = uint64_t(64) << 20;
std::shared_ptr<CGImage> decodeJPEG(const uint8_t* bytes, size_t size, int* exifOrientation = nullptr);
// The first frame over the logical screen.
std::shared_ptr<CGImage> decodeGIF(const uint8_t* bytes, size_t size);

// What a JPEG's header says, read without decoding; nullopt until the
// header has arrived whole (or when it is damaged).
struct JPEGHeader {
    int width = 0, height = 0;
    bool progressive = false;
    int exifOrientation = 1;
};
std::optional<JPEGHeader> readJPEGHeader(const uint8_t* bytes, size_t size);

// 8-bit, not interlaced, never a palette: RGBA with alpha, RGB without,
// unless `alwaysRGBA` (the frames of an animated PNG share one layout).
std::optional<Data> encodePNG(const CGImage& image, bool alwaysRGBA = false);
// quality 0...1 (clamped). Transparent pixels come out over black.
std::optional<Data> encodeJPEG(const CGImage& image, double quality);

// The EXIF orientation in a JPEG's APP1 segment payload ("Exif\0\0" + TIFF), or 1.
int exifOrientationFromApp1(const uint8_t* payload, size_t size);

}  // namespace imageio
