#include "imagecache/webimage/ZVWebImageProgressive.h"

#include <algorithm>

#include "imagecache/UIImageZVWebImage.h"
#include "imagecache/ZVImageDecoder.h"
#include "platform/graphics/ImageSource.h"
#include "platform/ui/UIScreen.h"

namespace {

constexpr size_t kSmallestPiece = 16;
constexpr double kPlainInterval = 0.2, kBlurInterval = 0.4;

bool flagIn(const Value& properties, const char* dictionary, const char* key) {
    const Value& v = properties[dictionary][key];
    return v.boolValue() || v.intValue() != 0;
}

// The image's bottom-right pixel has been drawn (not still fully transparent).
bool lastPixelArrived(const UIImage& image) {
    auto cg = image.CGImage();
    if (!cg || cg->width() == 0 || cg->height() == 0) return false;
    return !cg->hasAlpha() || cg->pixelAt(cg->width() - 1, cg->height() - 1).a != 0;
}

}  // namespace

ZVWebImageProgressive::ZVWebImageProgressive(bool blur) : blur_(blur) {}
ZVWebImageProgressive::~ZVWebImageProgressive() = default;

bool ZVWebImageProgressive::isDue(size_t pieceLength, int64_t expectedSize, double now) const {
    if (ignored_ || pieceLength <= kSmallestPiece) return false;
    if (expectedSize > 0 && double(pieceLength) >= 0.99 * double(expectedSize)) return false;
    return !lastDecodeEnd_ || now - *lastDecodeEnd_ >= (blur_ ? kBlurInterval : kPlainInterval);
}

void ZVWebImageProgressive::giveUp() {
    decoder_.reset();
    ignored_ = true;
}

std::shared_ptr<UIImage> ZVWebImageProgressive::frameImage() {
    auto frame = decoder_->frameAtIndex(0, true);
    return frame ? frame->image : nullptr;
}

std::shared_ptr<UIImage> ZVWebImageProgressive::partialImage(const Data& data, int64_t expectedSize,
                                                             const std::function<bool()>& cancelled) {
    if (!decoder_) decoder_ = std::make_unique<ZVImageDecoder>(UIScreen::mainScreen().scale());
    decoder_->updateData(data, false);
    if (cancelled()) return nullptr;
    auto type = decoder_->type();
    bool known = type != ZVImageType::Unknown && type != ZVImageType::WebP;
    if (!known || (blur_ && type != ZVImageType::JPEG && type != ZVImageType::PNG)) {
        giveUp();
        return nullptr;
    }
    if (decoder_->frameCount() == 0) return nullptr;
    if (!blur_) return frameImage();
    if (!detected_) {
        Value properties = decoder_->framePropertiesAtIndex(0);
        detected_ = type == ZVImageType::JPEG
                        ? flagIn(properties, imageio::kPropertyJFIFDictionary, imageio::kPropertyJFIFIsProgressive)
                        : flagIn(properties, imageio::kPropertyPNGDictionary, imageio::kPropertyPNGInterlaceType);
        if (!detected_) {
            giveUp();
            return nullptr;
        }
    }
    if (type == ZVImageType::JPEG && (!newScanBegun(data) || cancelled())) return nullptr;
    auto image = frameImage();
    if (!image || cancelled() || !lastPixelArrived(*image)) return nullptr;
    return blurred(std::move(image), data.size(), expectedSize);
}

// Searches the bytes that arrived since the last search, with one byte
// before them, so that a marker split between two pieces is found too.
bool ZVWebImageProgressive::newScanBegun(const Data& data) {
    if (data.size() < scannedLength_ + 7) return false;
    size_t from = scannedLength_ > 0 ? scannedLength_ - 1 : 0;
    scannedLength_ = data.size();
    static const uint8_t marker[] = {0xFF, 0xDA};
    return std::search(data.begin() + long(from), data.end(), std::begin(marker), std::end(marker)) != data.end();
}

double ZVWebImageProgressive::blurRadius(size_t received, int64_t expected, unsigned displayCount) {
    if (expected > 0) return 32 * (1 / (3 * double(received) / double(expected) + 0.6) - 0.25);
    return 32.0 / std::max(1u, displayCount);
}

std::shared_ptr<UIImage> ZVWebImageProgressive::blurred(std::shared_ptr<UIImage> image, size_t received,
                                                        int64_t expected) {
    ++displayCount_;
    // Past the expected length the formula would turn negative: no blur left.
    lastRadius_ = std::max(0.0, blurRadius(received, expected, displayCount_));
    return ZVWebImage::ZV_imageByBlurRadius(*image, lastRadius_, nullptr, CGBlendMode::Normal, 1.0, nullptr);
}
