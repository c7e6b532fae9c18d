#pragma once
// What every image-coding class of the toolkit shares: the container type
// of image bytes, its type identifier, the one colour space, decoded and
// upright copies of bitmaps, and encoding one image. Stateless, safe on
// any thread.
//
// Bitmaps are CGImages in the display layout (CGImage.h); bitmap infos
// name the 32-bit layouts of PixelLayout.h. Failures give nullptr/nullopt.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/ImageIO.h"
#include "platform/graphics/PixelLayout.h"
#include "platform/graphics/UIImage.h"

// Container types; the values are stored and must not change.
enum class ZVImageType : uint32_t {
    Unknown = 0,
    JPEG = 1,
    JPEG2000 = 2,
    TIFF = 3,
    BMP = 4,
    ICO = 5,  // cursor files too
    ICNS = 6,
    GIF = 7,
    PNG = 8,  // animated PNG too
    WebP = 9,
};

// Our bitmaps have one colour space, device RGB; this is it, made once.
class ZVColorSpace {
public:
    const char* name() const { return "DeviceRGB"; }
    int numberOfComponents() const { return 3; }
};
const ZVColorSpace& ZVSharedDeviceRGBColorSpace();

// From the first bytes: fewer than 16 bytes are Unknown; TIFF, ICO (and
// cursors), ICNS, GIF, PNG and WebP by their four-byte magic; BMP by "BA",
// "BM", "IC", "PI", "CI" or "CP"; JPEG 2000 by its codestream or file box;
// JPEG by FF D8 FF.
ZVImageType ZVDetectImageType(const uint8_t* bytes, size_t size);
inline ZVImageType ZVDetectImageType(const Data& data) { return ZVDetectImageType(data.data(), data.size()); }

// "public.jpeg", "public.png", ...; nullopt for Unknown, WebP and values out of range.
std::optional<std::string> ZVUTTypeForImageType(ZVImageType type);

// WebP coding is not part of this system.
inline bool ZVWebPAvailable() { return false; }

// With `decodeForDisplay`, the image drawn into a new display-layout
// bitmap (premultiplied with alpha, skip-first without); otherwise a copy
// of its pixels as they are.
std::shared_ptr<CGImage> ZVCopyDecodedCGImage(const std::shared_ptr<CGImage>& image, bool decodeForDisplay);

// The image's pixels in `bitmapInfo`'s 32-bit layout (alpha info 1 to 6;
// default, 32-bit big or 32-bit little byte order); nullopt otherwise.
std::optional<PixelBuffer> ZVDecodeCGImageTo32BitBuffer(const CGImage* image, uint32_t bitmapInfo);

// The image warped by `transform` into a bitmap of `destSize` (rounded)
// pixels. The transform maps source to destination in the platform's y-up
// pixel space; each destination pixel takes the nearest source pixel,
// uncovered ones stay transparent. The result has alpha when
// `destBitmapInfo` has.
std::shared_ptr<CGImage> ZVCopyAffineTransformedCGImage(const std::shared_ptr<CGImage>& image,
                                                        const CGAffineTransform& transform, CGSize destSize,
                                                        uint32_t destBitmapInfo);

// The image turned upright from `orientation` (the same image when up);
// sides swap for the left and right orientations.
std::shared_ptr<CGImage> ZVCopyCGImageWithOrientation(const std::shared_ptr<CGImage>& image,
                                                      UIImageOrientation orientation, uint32_t destBitmapInfo);

// One image as a file of `type` (any but Unknown and WebP) with `quality`
// clamped to 0...1 (JPEG; JPEG 2000, lossless at 1); nullopt for other
// types or when encoding fails.
std::optional<Data> ZVCreateEncodedImageData(const std::shared_ptr<CGImage>& image, ZVImageType type,
                                             double quality);

// The release callback of data providers over malloc'ed pixels: frees them.
void ZVFreeDataCallback(void* info, const void* data, size_t size);

// The image format of a container type (Unknown for WebP and Unknown).
imageio::Format ZVImageFormatForType(ZVImageType type);

// Logs, once per process, that WebP is neither decoded nor encoded here.
void ZVLogWebPUnavailable(const char* function, int line);
