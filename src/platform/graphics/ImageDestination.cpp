#include "platform/graphics/ImageDestination.h"

#include "platform/graphics/ImageSource.h"

namespace imageio {

std::unique_ptr<ImageDestination> ImageDestination::create(Format format, size_t count) {
    switch (format) {
        case Format::PNG:
        case Format::JPEG:
        case Format::GIF:
        case Format::BMP:
        case Format::ICO:
        case Format::ICNS:
        case Format::TIFF:
        case Format::JPEG2000: break;
        default: return nullptr;
    }
    if (count == 0) return nullptr;
    return std::unique_ptr<ImageDestination>(new ImageDestination(format, count));
}

void ImageDestination::addImage(std::shared_ptr<const CGImage> image, const Value& properties) {
    if (!image || items_.size() >= count_) return;
    items_.push_back({std::move(image), properties});
}

std::optional<Data> ImageDestination::finalize() {
    if (items_.empty()) return std::nullopt;
    const CGImage& first = *items_.front().image;
    std::vector<std::shared_ptr<const CGImage>> images;
    for (auto& item : items_) images.push_back(item.image);
    switch (format_) {
        case Format::PNG: return encodePNG(first);
        case Format::JPEG: {
            // Without a stated quality, the platform's usual high setting.
            double quality = items_.front().properties[kDestinationLossyCompressionQuality].getNumber().value_or(0.9);
            return encodeJPEG(first, quality);
        }
        case Format::GIF: {
            std::vector<GIFFrame> frames;
            for (auto& item : items_)
                frames.push_back({item.image, item.properties[kPropertyGIFDictionary][kPropertyGIFDelayTime].doubleValue()});
            std::optional<int> loop;
            if (auto n = properties_[kPropertyGIFDictionary][kPropertyGIFLoopCount].getInteger()) loop = int(*n);
            return encodeGIF(frames, loop);
        }
        case Format::BMP: return encodeBMP(first);
        case Format::ICO: return encodeICO(images);
        case Format::ICNS: return encodeICNS(images);
        case Format::TIFF: return encodeTIFF(images);
        case Format::JPEG2000:
            return encodeJPEG2000(first, items_.front().properties[kDestinationLossyCompressionQuality].getNumber().value_or(1));
        default: return std::nullopt;
    }
}

}  // namespace imageio
