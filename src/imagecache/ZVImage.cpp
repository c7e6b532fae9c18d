#include "imagecache/ZVImage.h"

#include <cmath>
#include <limits>

#include "imagecache/ZVImageCoder.h"
#include "imagecache/ZVImageDecoder.h"
#include "imagecache/ZVImageScale.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/ImageSource.h"

namespace {

constexpr const char* kScaleKey = "ZVImageScale";
constexpr const char* kDataKey = "ZVImageData";

// The screen's scale first, then the nearer others.
std::vector<double> preferredScales() {
    double s = kMainScreenScale;
    if (s <= 1) return {1, 2, 3};
    if (s <= 2) return {2, 3, 1};
    return {3, 2, 1};
}

std::optional<std::filesystem::path> findNamedResource(const std::string& name, double* scale) {
    std::string base(ZVPathDeletingExtension(name));
    std::string ext(ZVPathExtension(name));
    std::vector<std::string> exts = ext.empty() ? std::vector<std::string>{"", "png", "jpeg", "jpg", "gif", "webp", "apng"}
                                                : std::vector<std::string>{ext};
    for (double s : preferredScales()) {
        bool plain = std::fabs(s - 1) < std::numeric_limits<float>::epsilon() || base.empty() || base.back() == '/';
        std::string resource = plain ? base : base + "@" + strings::formatNumber(s) + "x";
        for (const auto& e : exts) {
            if (auto path = NSBundle::mainBundle().pathForResource(resource, e)) {
                *scale = s;
                return path;
            }
        }
    }
    return std::nullopt;
}

uint64_t saturatingProduct(uint64_t a, uint64_t b) {
    return b != 0 && a > std::numeric_limits<uint64_t>::max() / b ? std::numeric_limits<uint64_t>::max() : a * b;
}

}  // namespace

ZVImage::ZVImage(std::shared_ptr<::CGImage> image, double scale, UIImageOrientation orientation)
    : UIImage(std::move(image), scale, orientation) {}

std::shared_ptr<ZVImage> ZVImage::imageNamed(const std::string& name) {
    if (name.empty() || name.back() == '/') return nullptr;
    double scale = 1;
    auto path = findNamedResource(name, &scale);
    if (!path) return nullptr;
    auto bytes = files::readData(*path);
    if (!bytes || bytes->empty()) return nullptr;
    return imageWithData(*bytes, scale);
}

std::shared_ptr<ZVImage> ZVImage::imageWithContentsOfFile(const std::string& path) {
    auto bytes = files::readData(path);
    if (!bytes) return nullptr;
    return imageWithData(*bytes, ZVImageScaleFromPath(path));
}

std::shared_ptr<ZVImage> ZVImage::imageWithData(const Data& data, double scale) {
    if (data.empty()) return nullptr;
    if (!std::isfinite(scale)) scale = 1;
    if (scale <= 0) scale = kMainScreenScale;
    auto decoder = ZVImageDecoder::decoderWithData(data, scale);
    if (!decoder) return nullptr;
    auto frame = decoder->frameAtIndex(0, true);
    if (!frame || !frame->image) return nullptr;
    const UIImage& first = *frame->image;
    auto image = std::make_shared<ZVImage>(first.CGImage(), decoder->scale(), first.imageOrientation());
    image->type_ = decoder->type();
    if (decoder->frameCount() > 1) {
        const auto& bitmap = first.CGImage();
        image->bytesPerFrame_ = size_t(bitmap->bytesPerRow()) * size_t(bitmap->height());
        image->memorySize_ = saturatingProduct(image->bytesPerFrame_, decoder->frameCount());
        image->decoder_ = std::move(decoder);
    }
    image->setDecodedForDisplay(true);
    return image;
}

Data ZVImage::archivedData() const {
    auto data = animatedImageData();
    Data bytes = data && !data->empty() ? *data : ZVImageCoder::ZV_imageDataRepresentation(*this).value_or(Data());
    return keyedarchive::archive(Value::dict({{kScaleKey, scale()}, {kDataKey, std::move(bytes)}}));
}

std::shared_ptr<ZVImage> ZVImage::imageWithArchivedData(const Data& archive) {
    auto root = keyedarchive::unarchive(archive);
    if (!root) return nullptr;
    const Data* bytes = (*root)[kDataKey].getData();
    if (!bytes || bytes->empty()) return nullptr;
    return imageWithData(*bytes, (*root)[kScaleKey].doubleValue());
}

std::shared_ptr<const Data> ZVImage::animatedImageData() const { return decoder_ ? decoder_->data() : nullptr; }

size_t ZVImage::animatedImageFrameCount() const { return decoder_ ? decoder_->frameCount() : 0; }

size_t ZVImage::animatedImageLoopCount() const { return decoder_ ? decoder_->loopCount() : 0; }

bool ZVImage::preloadAllAnimatedImageFrames() const {
    std::lock_guard lock(preloadMutex_);
    return preload_;
}

void ZVImage::setPreloadAllAnimatedImageFrames(bool preload) {
    {
        std::lock_guard lock(preloadMutex_);
        if (preload == preload_) return;
        preload_ = preload;
    }
    std::optional<std::vector<std::shared_ptr<UIImage>>> frames;
    if (preload && decoder_ && decoder_->frameCount() > 0) {
        frames.emplace();
        for (size_t i = 0; i < decoder_->frameCount(); ++i) {
            auto frame = decoder_->frameAtIndex(i, true);
            frames->push_back(frame ? frame->image : nullptr);
        }
    }
    std::lock_guard lock(preloadMutex_);
    // A call that turned preloading off meanwhile wins.
    if (preload_ == preload) preloaded_ = std::move(frames);
}

std::shared_ptr<UIImage> ZVImage::animatedImageFrameAtIndex(size_t index) const {
    if (index >= animatedImageFrameCount()) return nullptr;
    {
        std::lock_guard lock(preloadMutex_);
        if (preloaded_ && index < preloaded_->size()) return (*preloaded_)[index];
    }
    auto frame = decoder_->frameAtIndex(index, true);
    return frame ? frame->image : nullptr;
}

double ZVImage::animatedImageDurationAtIndex(size_t index) const {
    if (!decoder_ || index >= decoder_->frameCount()) return 0;
    return imageio::frameDisplayDelay(decoder_->frameDurationAtIndex(index));
}

// ---- ZVFrameImage

namespace {

// A frame from a file or data: decoded, turned upright and made ready for display.
std::shared_ptr<UIImage> decodedFrame(const Data& bytes, double scale) {
    auto image = UIImage::imageWithData(bytes, 1);
    if (!image) return nullptr;
    const auto& bitmap = image->CGImage();
    auto upright = ZVCopyCGImageWithOrientation(bitmap, image->imageOrientation(), bitmap->bitmapInfo());
    if (!upright) return nullptr;
    return ZVImageCoder::ZV_imageByDecoded(std::make_shared<UIImage>(upright, scale, UIImageOrientation::Up));
}

std::shared_ptr<UIImage> frameFromPath(const std::string& path) {
    auto bytes = files::readData(path);
    return bytes ? decodedFrame(*bytes, ZVImageScaleFromPath(path)) : nullptr;
}

}  // namespace

ZVFrameImage::ZVFrameImage(std::shared_ptr<::CGImage> image, double scale)
    : UIImage(std::move(image), scale, UIImageOrientation::Up) {}

std::shared_ptr<ZVFrameImage> ZVFrameImage::imageWithImagePaths(const std::vector<std::string>& paths,
                                                                const std::vector<double>& durations,
                                                                size_t loopCount) {
    if (paths.empty() || paths.size() != durations.size()) return nullptr;
    auto first = frameFromPath(paths.front());
    if (!first) return nullptr;
    auto image = std::make_shared<ZVFrameImage>(first->CGImage(), first->scale());
    image->paths_ = paths, image->durations_ = durations, image->loopCount_ = loopCount;
    image->oneFrameBytes_ = size_t(first->CGImage()->bytesPerRow()) * size_t(first->CGImage()->height());
    return image;
}

std::shared_ptr<ZVFrameImage> ZVFrameImage::imageWithImagePaths(const std::vector<std::string>& paths,
                                                                double oneFrameDuration, size_t loopCount) {
    return imageWithImagePaths(paths, std::vector<double>(paths.size(), oneFrameDuration), loopCount);
}

std::shared_ptr<ZVFrameImage> ZVFrameImage::imageWithImageDataArray(const std::vector<Data>& datas,
                                                                    const std::vector<double>& durations,
                                                                    size_t loopCount) {
    if (datas.empty() || datas.size() != durations.size()) return nullptr;
    auto first = decodedFrame(datas.front(), kMainScreenScale);
    if (!first) return nullptr;
    auto image = std::make_shared<ZVFrameImage>(first->CGImage(), first->scale());
    image->datas_ = datas, image->durations_ = durations, image->loopCount_ = loopCount;
    image->oneFrameBytes_ = size_t(first->CGImage()->bytesPerRow()) * size_t(first->CGImage()->height());
    return image;
}

std::shared_ptr<ZVFrameImage> ZVFrameImage::imageWithImageDataArray(const std::vector<Data>& datas,
                                                                    double oneFrameDuration, size_t loopCount) {
    return imageWithImageDataArray(datas, std::vector<double>(datas.size(), oneFrameDuration), loopCount);
}

size_t ZVFrameImage::animatedImageFrameCount() const {
    return !paths_.empty() ? paths_.size() : !datas_.empty() ? datas_.size() : 1;
}

std::shared_ptr<UIImage> ZVFrameImage::animatedImageFrameAtIndex(size_t index) const {
    if (!paths_.empty()) return index < paths_.size() ? frameFromPath(paths_[index]) : nullptr;
    return index < datas_.size() ? decodedFrame(datas_[index], kMainScreenScale) : nullptr;
}

double ZVFrameImage::animatedImageDurationAtIndex(size_t index) const {
    return index < durations_.size() ? durations_[index] : 0;
}

// ---- ZVSpriteSheetImage

ZVSpriteSheetImage::ZVSpriteSheetImage(std::shared_ptr<::CGImage> image, double scale, UIImageOrientation orientation)
    : UIImage(std::move(image), scale, orientation) {}

std::shared_ptr<ZVSpriteSheetImage> ZVSpriteSheetImage::imageWithSpriteSheetImage(
    const UIImage& sheet, const std::vector<CGRect>& rects, const std::vector<double>& durations, size_t loopCount) {
    if (!sheet.CGImage() || rects.empty() || durations.empty() || rects.size() != durations.size()) return nullptr;
    auto image = std::make_shared<ZVSpriteSheetImage>(sheet.CGImage(), sheet.scale(), sheet.imageOrientation());
    image->rects_ = rects, image->durations_ = durations, image->loopCount_ = loopCount;
    return image;
}

CGRect ZVSpriteSheetImage::contentsRectForCALayerAtIndex(size_t index) const {
    const CGRect unit(0, 0, 1, 1);
    CGSize s = size();
    if (index >= rects_.size() || !(s.width > 0.01) || !(s.height > 0.01)) return unit;
    const CGRect& r = rects_[index];
    CGRect scaled(r.minX() / s.width, r.minY() / s.height, r.width() / s.width, r.height() / s.height);
    CGRect clipped = scaled.intersection(unit);
    return clipped.isEmpty() ? unit : clipped;
}

std::shared_ptr<UIImage> ZVSpriteSheetImage::animatedImageFrameAtIndex(size_t) const {
    return std::const_pointer_cast<ZVSpriteSheetImage>(shared_from_this());
}

double ZVSpriteSheetImage::animatedImageDurationAtIndex(size_t index) const {
    return index < durations_.size() ? durations_[index] : 0;
}

std::optional<CGRect> ZVSpriteSheetImage::animatedImageContentsRectAtIndex(size_t index) const {
    return index < rects_.size() ? rects_[index] : CGRect();
}
