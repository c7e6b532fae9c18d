// The GIF builder: every frame of a small GIF, repeated by the greatest
// common divisor of the delays so that a fixed rate plays each for its own.

#include <algorithm>
#include <cmath>
#include <numeric>

#include "imagecache/UIImageZVWebImage.h"
#include "platform/graphics/ImageSource.h"

namespace ZVWebImage {

namespace {

constexpr double kFloatEpsilon = 1.1920928955078125e-07;
constexpr double kGIFUnit = 0.02;  // seconds: the rate the GIF builder plays at

double frameDelay(const Value& properties) {
    const Value& gif = properties[imageio::kPropertyGIFDictionary];
    double delay = gif[imageio::kPropertyGIFUnclampedDelayTime].doubleValue();
    if (delay <= kFloatEpsilon) delay = gif[imageio::kPropertyGIFDelayTime].doubleValue();
    return delay < 0.02 ? 0.1 : delay;
}

// What one frame takes decoded (every frame has the canvas's size).
uint64_t claimedFrameBytes(imageio::ImageSource& source) {
    const Value properties = source.propertiesAtIndex(0);
    auto side = [&](const char* key) { return uint64_t(std::clamp(properties[key].doubleValue(), 0.0, 65535.0)); };
    return side(imageio::kPropertyPixelWidth) * side(imageio::kPropertyPixelHeight) * 4;
}

// The frame redrawn into a fresh bitmap of its own pixel size.
std::shared_ptr<UIImage> gifFrame(imageio::ImageSource& source, size_t index, double scale) {
    auto bitmap = source.imageAtIndex(index);
    if (!bitmap || bitmap->width() == 0 || bitmap->height() == 0) return nullptr;
    auto ctx = CGContext::bitmapContext(bitmap->width(), bitmap->height(), bitmap->bitmapInfo());
    if (!ctx) return nullptr;
    ctx->drawImage(CGRect(0, 0, bitmap->width(), bitmap->height()), *bitmap);
    return UIImage::imageWithCGImage(ctx->bitmapImage(), scale);
}

}  // namespace

std::shared_ptr<UIImage> ZV_imageWithSmallGIFData(const Data& data, double scale) {
    auto source = imageio::ImageSource::create(data.data(), data.size());
    if (!source) return nullptr;
    const size_t count = source->count();
    if (count <= 1) return UIImage::imageWithData(data, scale);
    const uint64_t frameBytes = claimedFrameBytes(*source);
    if (frameBytes > 0 && count > kSmallGIFMaxDecodedBytes / frameBytes) return nullptr;  // refused before decoding
    std::vector<double> delays(count);
    std::vector<long> units(count);
    long gcd = 0;
    double duration = 0;
    for (size_t i = 0; i < count; ++i) {
        delays[i] = frameDelay(source->propertiesAtIndex(i));
        units[i] = std::max(1L, std::lround(delays[i] / kGIFUnit));
        gcd = i == 0 ? units[i] : std::gcd(gcd, units[i]);
        duration += delays[i];
    }
    std::vector<std::shared_ptr<UIImage>> frames;
    uint64_t decodedBytes = 0;
    for (size_t i = 0; i < count; ++i) {
        auto frame = gifFrame(*source, i, scale);
        if (!frame) return nullptr;
        decodedBytes += uint64_t(frame->CGImage()->width()) * uint64_t(frame->CGImage()->height()) * 4;
        if (decodedBytes > kSmallGIFMaxDecodedBytes) return nullptr;
        frames.insert(frames.end(), size_t(units[i] / gcd), frame);
    }
    return UIImage::animatedImageWithImages(std::move(frames), duration);
}

}  // namespace ZVWebImage
