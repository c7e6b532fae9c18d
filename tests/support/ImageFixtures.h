#pragma once
// Pictures made to order for tests: quadrant images whose corners tell
// orientation, and JPEGs carrying an EXIF orientation tag. Header-only:
// the tests that use it link the graphics library.

#include <memory>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/ImageIO.h"

namespace testsupport {

// A w × h image in four quadrants: `tl`, `tr`, `bl`, `br` (by default red,
// green, blue and white).
inline std::shared_ptr<CGImage> quadrants(int w, int h, bool alpha = false, RGBA8 tl = {255, 0, 0, 255},
                                          RGBA8 tr = {0, 255, 0, 255}, RGBA8 bl = {0, 0, 255, 255},
                                          RGBA8 br = {255, 255, 255, 255}) {
    auto img = CGImage::create(w, h, alpha);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool right = x >= w / 2, bottom = y >= h / 2;
            img->setPixel(x, y, !right && !bottom ? tl : right && !bottom ? tr : !right ? bl : br);
        }
    return img;
}

// A JPEG of the bitmap carrying an EXIF orientation tag.
inline Data jpegWithOrientation(const CGImage& image, int orientation) {
    Data jpeg = *imageio::encodeJPEG(image, 1.0);
    Data tiff = {'I', 'I', 0x2A, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(orientation), 0, 0, 0,
                 0, 0, 0, 0};
    Data payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    size_t length = payload.size() + 2;
    Data segment = {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length & 0xFF)};
    segment.insert(segment.end(), payload.begin(), payload.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

}  // namespace testsupport
