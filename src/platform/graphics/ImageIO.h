#pragma once
// Image files to and from bitmaps: PNG (libpng), JPEG (libjpeg) and GIF
// (giflib, first frame). Decoders produce CGImage bitmaps in the display
// layout; encoders read them. Failures give nullopt/nullptr, never throw.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"

namespace imageio {

enum class Format { Unknown, PNG, JPEG, GIF };

Format sniff(const uint8_t* bytes, size_t size);

struct Decoded {
    std::shared_ptr<CGImage> image;
    // The EXIF orientation tag of a JPEG (1...8), 1 when absent.
    int exifOrientation = 1;
    Format format = Format::Unknown;
};

std::optional<Decoded> decode(const uint8_t* bytes, size_t size);
inline std::optional<Decoded> decode(const Data& d) { return decode(d.data(), d.size()); }

std::shared_ptr<CGImage> decodePNG(const uint8_t* bytes, size_t size);
std::shared_ptr<CGImage> decodeJPEG(const uint8_t* bytes, size_t size, int* exifOrientation = nullptr);
std::shared_ptr<CGImage> decodeGIF(const uint8_t* bytes, size_t size);

std::optional<Data> encodePNG(const CGImage& image);
// quality 0...1 (clamped). Transparent pixels come out over black.
std::optional<Data> encodeJPEG(const CGImage& image, double quality);

// The EXIF orientation in a JPEG's APP1 segment payload ("Exif\0\0" + TIFF), or 1.
int exifOrientationFromApp1(const uint8_t* payload, size_t size);

}  // namespace imageio
