#pragma once
// Reading image files frame by frame, over complete data or over data that
// is still arriving (the platform's image source).
//
// Formats: PNG (first image; animation is the caller's business), JPEG
// (EXIF orientation reported, not applied), GIF (every frame composited
// through its disposal onto the logical screen), BMP (plain and bit-field,
// either row order), ICO and CUR (PNG or DIB entries, each at its own
// size), ICNS (PNG payloads), TIFF (every page, at its own size; the
// Orientation tag reported, not applied), JPEG 2000 (JP2 files and bare
// codestreams of at most 4 components after the palette, 16 bits and 4096
// tiles, within the pixel budget as every format, and whose decoder's
// bookkeeping stays within its bound: see JPEG2000Header.h). WebP is
// recognised but not read: no images.
//
// Data that is still arriving gives what has arrived: a PNG the rows read
// so far, a JPEG its decodable prefix, a GIF the frames whose records have
// begun, a TIFF the pages whose directories have arrived, a JPEG 2000 its
// image once its main header is there (its pixels only when the rest can be
// decoded). Every size a file claims is checked against CGImage's pixel budget
// before anything is allocated; a file beyond it has no images. GIF frames
// and TIFF pages are listed while their pixels summed stay within the
// frame-work bound (2^30: an 8192 x 8192 TIFF page, or an 8000 x 8000 GIF
// screen, 16 times).
//
// Not thread-safe: one thread at a time (the image decoder holds its lock).

#include <cstdint>
#include <memory>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/ImageIO.h"

namespace imageio {

// Property keys, as the platform names them.
inline constexpr const char* kPropertyPixelWidth = "PixelWidth";
inline constexpr const char* kPropertyPixelHeight = "PixelHeight";
inline constexpr const char* kPropertyHasAlpha = "HasAlpha";
inline constexpr const char* kPropertyOrientation = "Orientation";  // EXIF value 1...8
inline constexpr const char* kPropertyGIFDictionary = "{GIF}";
inline constexpr const char* kPropertyGIFLoopCount = "LoopCount";
inline constexpr const char* kPropertyGIFDelayTime = "DelayTime";
inline constexpr const char* kPropertyGIFUnclampedDelayTime = "UnclampedDelayTime";
inline constexpr const char* kPropertyGIFCanvasPixelWidth = "CanvasPixelWidth";
inline constexpr const char* kPropertyGIFCanvasPixelHeight = "CanvasPixelHeight";
inline constexpr const char* kPropertyJFIFDictionary = "{JFIF}";
inline constexpr const char* kPropertyJFIFIsProgressive = "IsProgressive";
inline constexpr const char* kPropertyPNGDictionary = "{PNG}";
inline constexpr const char* kPropertyPNGInterlaceType = "InterlaceType";

// The shown time of an animation frame whose stored delay is `raw`
// seconds: very short delays (under 0.011 s, which old encoders wrote for
// "as fast as possible") play as 0.1 s, as browsers do. A GIF frame's
// DelayTime is this; its UnclampedDelayTime is `raw`.
double frameDisplayDelay(double raw);

enum class SourceStatus {
    UnknownType,      // no data yet, or not an image we recognise
    UnsupportedType,  // recognised (WebP) but not read
    ReadingHeader,    // too little data to know the size
    Incomplete,       // images known, more data expected
    Complete,
    InvalidData,      // damaged, or sizes beyond the pixel budget
};

class FormatReader;

class ImageSource {
public:
    // Over complete data.
    static std::unique_ptr<ImageSource> create(std::shared_ptr<const Data> data);
    // Over complete bytes the caller keeps alive for the source's life.
    static std::unique_ptr<ImageSource> create(const uint8_t* bytes, size_t size);
    // Empty until update() is called with the data received so far.
    static std::unique_ptr<ImageSource> createIncremental();

    ~ImageSource();
    ImageSource(const ImageSource&) = delete;
    ImageSource& operator=(const ImageSource&) = delete;

    // The whole data received so far (each call holds all earlier bytes);
    // `final` when no more will come. Ignored once final data was given.
    void update(std::shared_ptr<const Data> data, bool final);

    Format type() const { return type_; }
    SourceStatus status() const;
    size_t count() const;
    // Container properties (a dictionary; null when there are none).
    Value properties() const;
    // One image's properties (null at or beyond count()).
    Value propertiesAtIndex(size_t index) const;
    // A new bitmap of the image (the caller may keep and change it); nullptr
    // at or beyond count() or when it cannot be decoded.
    std::shared_ptr<CGImage> imageAtIndex(size_t index);
    // The same for drawing at leastWidth x leastHeight pixels or less (a
    // thumbnail): where the format decodes a smaller size cheaply (a JPEG
    // 2000 stops at a lower resolution level) the bitmap may be smaller
    // than the image, never below that size on either side, at the same
    // aspect; other formats decode whole. The caller scales it.
    std::shared_ptr<CGImage> reducedImageAtIndex(size_t index, int leastWidth, int leastHeight);

private:
    ImageSource() = default;
    void read(const uint8_t* bytes, size_t size, bool final);

    std::shared_ptr<const Data> data_;
    bool final_ = false;
    Format type_ = Format::Unknown;
    std::unique_ptr<FormatReader> reader_;
};

}  // namespace imageio
