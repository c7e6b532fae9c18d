#include "imagecache/ZVImageDecoder.h"

std::shared_ptr<ZVImageFrame> ZVImageFrame::frameWithImage(std::shared_ptr<UIImage> image) {
    auto frame = std::make_shared<ZVImageFrame>();
    frame->image = std::move(image);
    return frame;
}

std::shared_ptr<ZVImageFrame> ZVImageFrame::copy() const { return std::make_shared<ZVImageFrame>(*this); }

// The decoder's own frame record.
struct ZVImageDecoder::Frame : ZVImageFrame {
    bool hasAlpha = true;
    bool isFullSize = false;  // covers the whole canvas
    // The earliest frame the canvas must be rebuilt from to draw this one.
    size_t blendFromIndex = 0;
    std::shared_ptr<ZVImageFrame> copy() const override { return std::make_shared<Frame>(*this); }
    CGRect rect() const { return CGRect(double(offsetX), double(offsetY), double(width), double(height)); }
};

ZVImageDecoder::ZVImageDecoder() : ZVImageDecoder(kMainScreenScale) {}

ZVImageDecoder::ZVImageDecoder(double scale)
    : scale_(scale > 0 ? scale : 1), frames_(std::make_shared<const FrameTable>()) {}

ZVImageDecoder::~ZVImageDecoder() = default;

std::shared_ptr<ZVImageDecoder> ZVImageDecoder::decoderWithData(const Data& data, double scale) {
    if (data.empty()) return nullptr;
    auto decoder = std::make_shared<ZVImageDecoder>(scale);
    decoder->updateData(data, true);
    return decoder->frameCount() > 0 ? decoder : nullptr;
}

bool ZVImageDecoder::updateData(const Data& data, bool final) {
    std::lock_guard lock(mutex_);
    if (finalized_) return false;
    if (data_ && data.size() < data_->size()) return false;
    ZVImageType type = ZVDetectImageType(data);
    // Latched even when the data is refused below.
    finalized_ = final;
    if (sourceTypeDetected_ && type != type_) return false;
    data_ = std::make_shared<const Data>(data);
    if (!sourceTypeDetected_) {
        if (data.size() <= 16) return true;
        type_ = type;
        sourceTypeDetected_ = true;
    }
    updateSource();
    return true;
}

void ZVImageDecoder::updateSource() {
    switch (type_.load()) {
        case ZVImageType::PNG: updateSourceAPNG(); break;
        case ZVImageType::WebP: ZVLogWebPUnavailable("-[ZVImageDecoder _updateSourceWebP]", 1841); break;
        default: updateSourceImageIO(); break;
    }
}

void ZVImageDecoder::publishFrames(std::shared_ptr<const FrameTable> frames) {
    std::lock_guard lock(framesMutex_);
    frames_ = std::move(frames);
}

std::shared_ptr<const ZVImageDecoder::FrameTable> ZVImageDecoder::frames() const {
    std::lock_guard lock(framesMutex_);
    return frames_;
}

void ZVImageDecoder::updateSourceImageIO() {
    loopCount_ = 0, width_ = 0, height_ = 0, frameCount_ = 0;
    orientation_ = UIImageOrientation::Up;
    publishFrames(std::make_shared<const FrameTable>());
    if (!source_) source_ = imageio::ImageSource::createIncremental();
    source_->update(data_, finalized_);
    size_t count = source_->count();
    if (count == 0) return;
    // While data arrives only the first frame is shown; a PNG's animation
    // is the APNG reader's business.
    if (!finalized_ || type_ == ZVImageType::PNG) count = 1;
    const bool gif = type_ == ZVImageType::GIF;
    if (finalized_ && gif) {
        if (auto loop = source_->properties()[imageio::kPropertyGIFDictionary][imageio::kPropertyGIFLoopCount].getInteger())
            loopCount_ = size_t(std::max<int64_t>(*loop, 0));
    }
    auto table = std::make_shared<FrameTable>(count);
    for (size_t i = 0; i < count; ++i) {
        Frame& f = (*table)[i];
        f.index = i, f.blendFromIndex = i, f.isFullSize = true;
        Value props = source_->propertiesAtIndex(i);
        f.width = size_t(std::max<int64_t>(props[imageio::kPropertyPixelWidth].intValue(), 0));
        f.height = size_t(std::max<int64_t>(props[imageio::kPropertyPixelHeight].intValue(), 0));
        if (gif) {
            const Value& g = props[imageio::kPropertyGIFDictionary];
            auto unclamped = g[imageio::kPropertyGIFUnclampedDelayTime].getNumber();
            f.duration = unclamped ? *unclamped : g[imageio::kPropertyGIFDelayTime].doubleValue();
        }
        if (i == 0 && width_ + height_ == 0) {
            width_ = f.width, height_ = f.height;
            orientation_ = UIImageOrientationFromEXIF(int(props[imageio::kPropertyOrientation].intValue()));
        }
    }
    frameCount_ = count;
    publishFrames(std::move(table));
}

namespace {

ZVImageDisposeMethod disposeOf(uint8_t op) {
    return op == 1 ? ZVImageDisposeMethod::Background : op == 2 ? ZVImageDisposeMethod::Previous : ZVImageDisposeMethod::None;
}

}  // namespace

void ZVImageDecoder::updateSourceAPNG() {
    apng_.reset();
    updateSourceImageIO();
    if (frameCount_ == 0 || !finalized_) return;
    auto info = ZVPNGInfoCreate(data_->data(), data_->size());
    if (!info || info->frames.empty() || (info->frames.size() == 1 && info->firstFrameIsCover)) return;
    // Later frames are cut out of the data: the source is no longer needed.
    source_.reset();
    const size_t canvasW = info->header.width, canvasH = info->header.height;
    auto table = std::make_shared<FrameTable>(info->frames.size());
    size_t lastBlend = 0;
    bool blending = false;
    for (size_t i = 0; i < table->size(); ++i) {
        const ZVPNGFrameControl& fc = info->frames[i].frameControl;
        Frame& f = (*table)[i];
        f.index = i;
        f.duration = double(fc.delayNumerator) / (fc.delayDenominator == 0 ? 100 : fc.delayDenominator);
        f.width = fc.width, f.height = fc.height, f.offsetX = fc.xOffset;
        // The file counts from the top; our canvas from the bottom.
        f.offsetY = canvasH - fc.yOffset - fc.height;
        f.isFullSize = fc.width == canvasW && fc.height == canvasH && fc.xOffset == 0 && fc.yOffset == 0;
        f.dispose = disposeOf(fc.disposeOp);
        f.blend = fc.blendOp == 1 ? ZVImageBlendOperation::Over : ZVImageBlendOperation::None;
        if (f.blend == ZVImageBlendOperation::None && f.isFullSize) {
            f.blendFromIndex = i;
            if (f.dispose != ZVImageDisposeMethod::Previous) lastBlend = i;
        } else if (f.dispose == ZVImageDisposeMethod::Background && f.isFullSize) {
            f.blendFromIndex = lastBlend;
            lastBlend = i + 1;
        } else {
            f.blendFromIndex = lastBlend;
        }
        blending = blending || f.blendFromIndex != i;
    }
    width_ = canvasW, height_ = canvasH;
    frameCount_ = table->size();
    loopCount_ = info->loopCount;
    needsBlend_ = blending;
    apng_ = std::move(info);
    publishFrames(std::move(table));
}

double ZVImageDecoder::frameDurationAtIndex(size_t index) const {
    auto table = frames();
    return index < table->size() ? (*table)[index].duration : 0;
}

std::shared_ptr<const Data> ZVImageDecoder::data() const {
    std::lock_guard lock(mutex_);
    return data_;
}

Value ZVImageDecoder::framePropertiesAtIndex(size_t index) {
    std::lock_guard lock(mutex_);
    return source_ ? source_->propertiesAtIndex(index) : Value();
}

Value ZVImageDecoder::imageProperties() {
    std::lock_guard lock(mutex_);
    return source_ ? source_->properties() : Value();
}

void ZVImageDecoder::setCanvasDrawObserver(std::function<void(size_t)> observer) {
    std::lock_guard lock(mutex_);
    drawObserver_ = std::move(observer);
}

// An APNG frame on its own, at its own size.
std::shared_ptr<CGImage> ZVImageDecoder::newFrameImage(size_t index) {
    auto png = ZVPNGInfoFrameData(data_->data(), data_->size(), *apng_, index);
    return png ? imageio::decodePNG(png->data(), png->size()) : nullptr;
}

std::shared_ptr<CGImage> ZVImageDecoder::newUnblendedImage(size_t index, bool extendToCanvas, bool* decoded) {
    *decoded = false;
    auto table = frames();
    if ((!finalized_ && index > 0) || index >= table->size()) return nullptr;
    const int W = int(width_), H = int(height_);
    if (source_) {
        auto image = source_->imageAtIndex(index);
        if (!image || !extendToCanvas) return image;
        // The source decodes straight into the display layout: a canvas-size
        // image is ready as it is.
        if (image->width() == W && image->height() == H) {
            *decoded = true;
            return image;
        }
        auto ctx = CGContext::bitmapContext(W, H, kBitmapInfoPremultipliedFirst);
        if (!ctx) return image;
        ctx->drawImage(CGRect(0, H - image->height(), image->width(), image->height()), *image);
        *decoded = true;
        return ctx->bitmapImage();
    }
    if (!apng_) return nullptr;
    auto image = newFrameImage(index);
    if (!image || !extendToCanvas) return image;
    auto ctx = CGContext::bitmapContext(W, H, kBitmapInfoPremultipliedFirst);
    if (!ctx) return image;
    ctx->drawImage((*table)[index].rect(), *image);
    *decoded = true;
    return ctx->bitmapImage();
}

std::shared_ptr<UIImage> ZVImageDecoder::platformImage(std::shared_ptr<CGImage> image, bool decoded) const {
    auto ui = UIImage::imageWithCGImage(std::move(image), scale_, orientation_);
    if (ui) ui->setDecodedForDisplay(decoded);
    return ui;
}

std::shared_ptr<ZVImageFrame> ZVImageDecoder::frameAtIndex(size_t index, bool decodeForDisplay) {
    std::lock_guard lock(mutex_);
    auto table = frames();
    if (index >= table->size()) return nullptr;
    const Frame& record = (*table)[index];
    auto frame = std::static_pointer_cast<ZVImageFrame>(record.copy());
    // Icon frames keep their own sizes.
    bool extend = decodeForDisplay && type_ != ZVImageType::ICO;
    if (needsBlend_) return blendedFrame(frame, record, *table, extend);
    bool decoded = false;
    auto image = newUnblendedImage(index, extend, &decoded);
    if (!image) return nullptr;
    if (decodeForDisplay && !decoded) {
        if (auto copy = ZVCopyDecodedCGImage(image, true)) image = copy, decoded = true;
    }
    frame->image = platformImage(image, decoded);
    return frame;
}

std::shared_ptr<ZVImageFrame> ZVImageDecoder::blendedFrame(std::shared_ptr<ZVImageFrame> frame, const Frame& record,
                                                           const FrameTable& table, bool extend) {
    const CGRect whole(0, 0, double(width_), double(height_));
    if (!canvas_) {
        canvas_ = CGContext::bitmapContext(int(width_), int(height_), kBitmapInfoPremultipliedFirst);
        canvasShows_ = kNone;
    }
    if (!canvas_) return nullptr;
    std::shared_ptr<CGImage> image;
    if (canvasShows_ != kNone && canvasShows_ + 1 == record.index) {
        image = blendedImage(record);
    } else {
        canvas_->clearRect(whole);
        canvasShows_ = kNone;
        // From the frame's blendFromIndex (itself when it stands alone). The
        // frame's own disposal applies as in order, so that the next frame
        // finds the same canvas whichever way this one was reached.
        for (size_t i = record.blendFromIndex; i < record.index; ++i) blendOntoCanvas(table[i]);
        image = blendedImage(record);
    }
    canvasShows_ = record.index;
    if (!image) return nullptr;
    frame->image = platformImage(image, true);
    if (extend) {
        frame->width = width_, frame->height = height_, frame->offsetX = 0, frame->offsetY = 0;
        frame->dispose = ZVImageDisposeMethod::None, frame->blend = ZVImageBlendOperation::None;
    }
    return frame;
}

// Draws the frame at its rectangle: over the canvas, or replacing it.
void ZVImageDecoder::drawFrame(const Frame& f) {
    auto image = newFrameImage(f.index);
    if (!image) return;
    if (drawObserver_) drawObserver_(f.index);
    if (f.blend == ZVImageBlendOperation::None) canvas_->clearRect(f.rect());
    canvas_->drawImage(f.rect(), *image);
}

// An earlier frame's lasting effect on the canvas.
void ZVImageDecoder::blendOntoCanvas(const Frame& f) {
    if (f.dispose == ZVImageDisposeMethod::Previous) return;
    if (f.dispose == ZVImageDisposeMethod::Background) canvas_->clearRect(f.rect());
    else drawFrame(f);
}

// The frame drawn, the result taken, then the frame's disposal applied.
std::shared_ptr<CGImage> ZVImageDecoder::blendedImage(const Frame& f) {
    if (f.dispose == ZVImageDisposeMethod::Previous) {
        auto before = canvas_->makeImage();
        drawFrame(f);
        auto image = canvas_->makeImage();
        const CGRect whole(0, 0, double(width_), double(height_));
        canvas_->clearRect(whole);
        if (before) canvas_->drawImage(whole, *before);
        return image;
    }
    drawFrame(f);
    auto image = canvas_->makeImage();
    if (f.dispose == ZVImageDisposeMethod::Background) canvas_->clearRect(f.rect());
    return image;
}
