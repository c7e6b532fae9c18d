#pragma once
// One or more images (bitmaps, encoded data or files) with their durations
// written as one file of a chosen type: JPEG, JPEG 2000, TIFF, BMP, ICO,
// ICNS, GIF and single-image PNG through imageio's destinations (every type
// but GIF takes the first image only), animated PNG through our own
// writer. Every frame of an animated PNG is 8-bit RGBA, not interlaced and
// without a palette, so frames of any kind may follow each other. JPEG
// 2000 at quality 1 is lossless; TIFF always is.
//
// WebP is refused at creation (logged once). An encoder is used by one
// thread at a time.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "imagecache/ZVImageCoderHelpers.h"
#include "platform/graphics/UIImage.h"

class ZVImageDecoder;

class ZVImageEncoder {
public:
    // nullptr (and a log line) for Unknown, values above 9 and WebP.
    static std::unique_ptr<ZVImageEncoder> create(ZVImageType type);

    ZVImageType type() const { return type_; }
    size_t loopCount() const { return loopCount_; }  // GIF and APNG; 0 = forever
    void setLoopCount(size_t n) { loopCount_ = n; }
    // Kept for callers; no writer reads it.
    bool lossless() const { return lossless_; }
    void setLossless(bool v) { lossless_ = v; }
    double quality() const { return quality_; }
    void setQuality(double q);  // clamped to 0...1

    // Durations below 0 are stored as 0.
    void addImage(const std::shared_ptr<UIImage>& image, double duration);  // only with a bitmap
    void addImageWithData(const Data& data, double duration);               // only non-empty data
    // A plain path or a file URL ("file:///..."); other URLs are refused.
    void addImageWithFile(const std::string& path, double duration);

    std::optional<Data> encode() const;
    // Written through files::writeAtomically: a failure keeps the old file.
    bool encodeToFile(const std::filesystem::path& path) const;

    static std::optional<Data> encodeImage(const std::shared_ptr<UIImage>& image, ZVImageType type, double quality);
    // Every frame of the decoder, decoded for display, with its duration.
    static std::optional<Data> encodeImageWithDecoder(ZVImageDecoder* decoder, ZVImageType type, double quality);

private:
    explicit ZVImageEncoder(ZVImageType type);
    using Item = std::variant<std::shared_ptr<UIImage>, Data, std::filesystem::path>;

    std::optional<Data> encodeWithPlatform() const;
    std::optional<Data> encodeAPNG() const;
    std::shared_ptr<CGImage> platformImage(size_t index) const;
    std::shared_ptr<CGImage> frameImage(size_t index) const;

    ZVImageType type_;
    size_t loopCount_ = 0;
    bool lossless_ = false;
    double quality_ = 1;
    std::vector<Item> images_;
    std::vector<double> durations_;
};

// An APNG delay for `duration` seconds as a numerator and denominator of at
// most 255 each: 255/1 from 255 s up, 1/255 at 1/255 s and below, else the
// closest continued-fraction convergent (at most eight terms); 1/100 when
// a term would be zero.
std::pair<uint16_t, uint16_t> ZVPNGDelayToFraction(double duration);
