#pragma once
// Writing image files (the platform's image destination): PNG and JPEG
// (one image), GIF (every image added, with delays and a loop count), BMP
// (one image; 32-bit with alpha, else 24-bit), ICO and ICNS (every image,
// stored as PNG data), TIFF (every image a page; lossless), JPEG 2000 (one
// image; lossless at quality 1). An ICNS entry must be square with a side of 16, 32,
// 64, 128, 256, 512 or 1024 pixels.
//
// Properties use the platform's keys: per image
// kDestinationLossyCompressionQuality (0...1; JPEG, and JPEG 2000 where it
// defaults to 1) and the GIF dictionary's
// DelayTime (seconds); for the file the GIF dictionary's LoopCount. A GIF
// frame is quantised to at most 256 colours (giflib's median cut); pixels
// under half alpha become its transparent index.

#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/ImageIO.h"

namespace imageio {

inline constexpr const char* kDestinationLossyCompressionQuality = "kCGImageDestinationLossyCompressionQuality";

class ImageDestination {
public:
    // nullptr for a format that cannot be written (WebP, Unknown) or a count of 0.
    static std::unique_ptr<ImageDestination> create(Format format, size_t count);

    void setProperties(const Value& properties) { properties_ = properties; }
    // Images beyond the count given at creation are ignored.
    void addImage(std::shared_ptr<const CGImage> image, const Value& properties = Value());
    // The file, or nullopt when no image was added or encoding failed.
    std::optional<Data> finalize();

private:
    ImageDestination(Format format, size_t count) : format_(format), count_(count) {}
    struct Item {
        std::shared_ptr<const CGImage> image;
        Value properties;
    };
    Format format_;
    size_t count_;
    Value properties_;
    std::vector<Item> items_;
};

// The single-format writers behind ImageDestination.
struct GIFFrame {
    std::shared_ptr<const CGImage> image;
    double delay = 0;  // seconds
};
std::optional<Data> encodeGIF(const std::vector<GIFFrame>& frames, std::optional<int> loopCount);
std::optional<Data> encodeBMP(const CGImage& image);
std::optional<Data> encodeICO(const std::vector<std::shared_ptr<const CGImage>>& images);
std::optional<Data> encodeICNS(const std::vector<std::shared_ptr<const CGImage>>& images);
std::optional<Data> encodeTIFF(const std::vector<std::shared_ptr<const CGImage>>& pages);
// quality 0...1; 1 is lossless.
std::optional<Data> encodeJPEG2000(const CGImage& image, double quality);

}  // namespace imageio
